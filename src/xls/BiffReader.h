#pragma once
// Entry points of the BIFF (.xls) reader.

#include <string>

#include "workbook/Types.h"

namespace tessaly {

class TStream;
class TWbManager;

struct TBiffReadResult {
    TExcelVersion FileVersion = xvNone;   // the BIFF generation found
    std::u16string UsedPassword;          // the default password that opened an encrypted file
};

// Reads the workbook file (a compound document, or a bare BIFF2-BIFF4 file) into the cleared
// workbook data. Failures are exceptions.
TBiffReadResult ReadBiffWorkbookFile(TWbManager& workbook, const std::string& fileName);
// The same for a compound document held in a stream (not owned).
TBiffReadResult ReadBiffWorkbookStream(TWbManager& workbook, TStream& stream);

} // namespace tessaly
