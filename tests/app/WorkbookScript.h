#pragma once
// A workbook made in memory: readers for the workbook component that, instead of reading a
// file, fill sheet 0 with the scripted cells (or fail with a reader's error).

#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/Utf.h"
#include "document/XLSDocument.h"

namespace tessaly::test {

// One cell value of a scripted row: nothing, text or a number.
struct CellValue {
    enum Kind { None, Text, Number } kind = None;
    std::string text;
    double number = 0;
    CellValue() = default;
    CellValue(const char* t) : kind(Text), text(t) {}
    CellValue(double n) : kind(Number), number(n) {}
    CellValue(int n) : kind(Number), number(n) {}
};

class WorkbookScript {
public:
    enum Kind { Text, Number, FormulaNumber, FormulaText, Boolean, Error, Blank };
    struct Cell {
        int col;
        int row;
        Kind kind;
        std::string text;
        double number;
    };

    WorkbookScript& Add(int col, int row, Kind kind, std::string text = {}, double number = 0) {
        cells.push_back({col, row, kind, std::move(text), number});
        return *this;
    }
    // Values from column `firstCol` on; CellValue() leaves a column without a cell.
    WorkbookScript& Row(int row, const std::vector<CellValue>& values, int firstCol = 0) {
        for (size_t i = 0; i < values.size(); ++i) {
            const int col = firstCol + static_cast<int>(i);
            if (values[i].kind == CellValue::Text) Add(col, row, Text, values[i].text);
            if (values[i].kind == CellValue::Number) Add(col, row, Number, {}, values[i].number);
        }
        return *this;
    }
    // The template's heading row.
    WorkbookScript& Headings(int row = 0) {
        return Row(row, {"商品名称", "规格型号", "计量单位", "数量", "单价", "金额", "税率", "税收分类编码",
                         "企业自编码", "是否使用优惠政策", "零税率标识", "优惠政策说明", "差额税计算扣除额"});
    }

    void Fill(TWbManager& workbook) const {
        if (!failure.empty()) throw Exception(failure);
        TWbDataWorksheet& sheet = workbook.Worksheets().AddWorksheetData(-1);
        sheet.Name = u"销货清单";
        TXLSCellStore& store = sheet.Cells();
        for (const Cell& c : cells) {
            switch (c.kind) {
                case Text: store.StoreText(c.col, c.row, Utf8ToUtf16(c.text), 0); break;
                case Number: store.StoreNumber(c.col, c.row, c.number, 0); break;
                case Boolean: store.StoreBoolean(c.col, c.row, c.number != 0, 0); break;
                case Error: store.StoreError(c.col, c.row, 7, 0); break;
                case Blank: store.StoreBlank(c.col, c.row, 0); break;
                case FormulaNumber:
                case FormulaText: {
                    TXLSFormulaHelper& f = store.FormulaHelper();
                    f.Col = c.col;
                    f.Row = c.row;
                    f.SetFormulaText(u"A1&\"\"");
                    if (c.kind == FormulaNumber) f.SetNumberResult(c.number);
                    else f.SetTextResult(Utf8ToUtf16(c.text));
                    store.StoreFormula();
                    break;
                }
            }
        }
    }

    TXLSReaders Readers() const {
        TXLSReaders readers;
        const WorkbookScript script = *this;
        readers.ReadXlsx = [script](TWbManager& wb, TStream&) { script.Fill(wb); };
        readers.ReadBiffStream = [script](TWbManager& wb, TStream&) {
            script.Fill(wb);
            return TBiffReadResult{};
        };
        readers.ReadBiffFile = [script](TWbManager& wb, const std::string&) {
            script.Fill(wb);
            return TBiffReadResult{};
        };
        return readers;
    }

    std::vector<Cell> cells;
    std::string failure;   // a reader error instead of cells
};

} // namespace tessaly::test
