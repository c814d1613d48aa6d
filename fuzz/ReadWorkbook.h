#pragma once
// What both fuzz targets do with their bytes: the workbook component reads them as a stream (a
// ZIP goes to the .xlsx reader, anything else to the .xls reader), then every stored cell of
// every sheet is read back as an application would. A cell the reader stored must read back
// without failing; a damaged file must end in a clear error.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "core/Stream.h"
#include "document/XLSDocument.h"
#include "workbook/XLSCellWalk.h"

namespace tessaly::fuzz {

inline int ReadWorkbookAndEveryCell(const uint8_t* data, size_t size) {
    TMemoryStream stream{std::span<const uint8_t>(data, size)};
    TXLSDocument document;
    try {
        document.LoadWorkbookStream(stream, true);
    } catch (const std::exception&) {
        return 0;   // a clear error is a fine answer to a damaged file
    }
    size_t sink = 0;
    for (int i = 0; i < document.SheetCount(); ++i) {
        TXLSWorksheet& sheet = document.SheetAt(i);
        sheet.RecalcUsedArea();
        TXLSCellWalker walker(sheet.Data().Cells());
        int32_t col, row;
        while (walker.Next(col, row)) {
            const TXLSCellKind kind = sheet.CellKind(col, row);
            sink += sheet.CellText(col, row).size();
            if (kind == xckNumber || kind == xckNumberFormula) sink += sheet.CellNumber(col, row) > 0;
        }
    }
    return sink == static_cast<size_t>(-1);
}

} // namespace tessaly::fuzz
