// libFuzzer target for the whole .xlsx road: bytes in, the workbook component reads them (a ZIP
// goes to the .xlsx reader), then every stored cell of every sheet is read back as an
// application would. Parts from 16 KiB on are scanned on the second thread, so both roads of
// the tokenizer are exercised.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "core/Stream.h"
#include "document/XLSDocument.h"
#include "workbook/XLSCellWalk.h"
#include "xlsx/XmlTokenizer.h"

using namespace tessaly;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetScanAheadMinimum(16 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::span<const uint8_t>(data, size));
    TXLSDocument document;
    try {
        document.LoadWorkbookStream(stream, true);
    } catch (const std::exception&) {
        return 0;   // a clear error is a correct answer to a damaged file
    }
    for (int i = 0; i < document.SheetCount(); ++i) {
        TXLSWorksheet& sheet = document.SheetAt(i);
        sheet.RecalcUsedArea();
        TXLSCellWalker walker(sheet.Data().Cells());
        int32_t col, row;
        while (walker.Next(col, row)) {
            const TXLSCellKind kind = sheet.CellKind(col, row);
            if (kind == xckNumber || kind == xckNumberFormula) (void)sheet.CellNumber(col, row);
            else (void)sheet.CellText(col, row);
        }
    }
    return 0;
}
