// libFuzzer target for the .xls road: compound documents and bare BIFF files.
#include "ReadWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tessaly::fuzz::ReadWorkbookAndEveryCell(data, size);
}
