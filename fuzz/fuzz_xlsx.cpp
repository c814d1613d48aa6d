// libFuzzer target for the .xlsx road. Parts from 16 KiB on are scanned (and inflated) on other
// threads, so both roads of the tokenizer are exercised.
#include "ReadWorkbook.h"
#include "xlsx/XmlTokenizer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tessaly::SetScanAheadMinimum(16 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tessaly::fuzz::ReadWorkbookAndEveryCell(data, size);
}
