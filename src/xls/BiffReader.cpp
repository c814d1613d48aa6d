#include "xls/BiffReader.h"

#include "core/Exception.h"

namespace tessaly {

TBiffReadResult ReadBiffWorkbookFile(TWbManager&, const std::string&) {
    throw Exception("Reading .xls workbooks is not supported yet");
}

TBiffReadResult ReadBiffWorkbookStream(TWbManager&, TStream&) {
    throw Exception("Reading .xls workbooks is not supported yet");
}

} // namespace tessaly
