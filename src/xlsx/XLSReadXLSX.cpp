#include "xlsx/XLSReadXLSX.h"

#include "core/Exception.h"

namespace tessaly {

void ReadXlsxWorkbook(TWbManager&, TStream&) {
    throw Exception("Reading .xlsx workbooks is not supported yet");
}

} // namespace tessaly
