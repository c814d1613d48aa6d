#pragma once
// Entry point of the Office Open XML reader.

namespace tessaly {

class TStream;
class TWbManager;

// Reads the .xlsx package held in `stream` (not owned) into the cleared workbook data.
// Failures are exceptions; what was stored before a failure stays in the workbook data.
void ReadXlsxWorkbook(TWbManager& workbook, TStream& stream);

} // namespace tessaly
