#include "workbook/XLSCellBlocks.h"

namespace tessaly::cellcode {

void ThrowInvalidTag() { throw Exception("Invalid XLate code"); }

void ThrowDamagedRow() { throw Exception("Cell store row data is damaged"); }

} // namespace tessaly::cellcode
