#pragma once
// The BIFF reader: turns the record stream of an .xls workbook into the workbook model. It
// reads every record in file order, follows the substreams (workbook globals, then one per
// sheet), creates a worksheet per worksheet entry of the sheet list and hands each record to
// the handler for its identifier. Records that only display or saving would need are skipped.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "workbook/Types.h"
#include "workbook/WbManager.h"
#include "xls/BiffErrors.h"
#include "xls/BiffReader.h"
#include "xls/BiffStream.h"

namespace tessaly {

class TBiffReader {
public:
    TBiffReader(TWbManager& workbook, TXLSStream& stream, const TBiffReadOptions& options);
    // Reads the opened stream to its end; failures are exceptions.
    TBiffReadResult Read();

private:
    enum class TFontLayout { Biff2, Biff34, Biff58 };
    struct TRecord {
        uint16_t Id = 0;
        uint16_t Length = 0;
        const uint8_t* Data = nullptr;
    };
    struct TSharedFormula {
        TXLSCellArea Range;
        std::vector<uint8_t> Tokens;
    };
    struct TArrayAnchor {
        bool Valid = false;
        TXLSCellArea Range;
        uint16_t Options = 0;
        std::vector<uint8_t> Tokens;
        std::vector<uint8_t> Extra;
    };

    // The record loop (BiffReader.cpp).
    void SetVersion(TExcelVersion version);
    void ReadWorkbook();
    bool Dispatch(uint16_t id, uint16_t length);   // false: reading ends
    TRecord View(uint16_t id, uint16_t length);
    void Skip(uint16_t length) { stream_.SkipData(length); }
    bool ReadBof(uint16_t id, uint16_t length);
    bool ReadEof();
    void ReadBoundSheet(const TRecord& r);
    void ReadCodePage(const TRecord& r);
    void ReadFilePass(const TRecord& r);
    void ReadXct(const TRecord& r);
    void ReadDrawingGroup(uint16_t length);
    void SkipChartSubstream();
    void ReadFont(const TRecord& r, TFontLayout layout);
    int32_t ModelFont(uint16_t fileIndex) const;
    int32_t ModelFormat(uint16_t id);
    void ReadFormat(const TRecord& r);
    void ReadXf(const TRecord& r);
    std::u16string Text8(const uint8_t* bytes, size_t count) const;

    // Shared strings (BiffSST.cpp).
    void ReadSst(uint16_t length);
    uint16_t NextSstContinue();
    void ReadSstBytes(uint8_t* out, size_t count);
    void SkipSstBytes(uint64_t count);
    void ReadSstString();

    // Cells (BiffCells.cpp).
    uint16_t Style(uint16_t xf) const { return xf < xfLimit_ ? static_cast<uint16_t>(xf + 1) : 0; }
    bool DispatchCell(const TRecord& r);
    void ReadMulBlank(const TRecord& r);
    void ReadMulRk(const TRecord& r);
    void ReadBoolErr(const TRecord& r, size_t valueAt, uint16_t style);
    void ReadLabelSst(const TRecord& r);
    void ReadLabel(const TRecord& r, bool rich);
    void ReadRow(const TRecord& r);
    void ReadDimensions(const TRecord& r);
    void ReadFormula(const TRecord& r);
    void ReadFormulaOld(const TRecord& r);   // BIFF2-4 layouts
    bool ReadStringResult(std::u16string& text);
    void StageBody(const uint8_t* tokens, size_t tokenLength, const uint8_t* extra, size_t extraLength);
    void StoreSpecialResult(const uint8_t* result, bool sharedMayFollow);
    void ReadBareWorksheet();

    TWbManager& workbook_;
    TXLSStream& stream_;
    TBiffReadOptions options_;
    TExcelVersion version_ = xvNone;
    TXLSErrorManager errors_;
    TBiffReadResult result_;

    TXLSCellStore* cells_ = nullptr;   // the worksheet of the current substream
    int32_t sheetListIndex_ = -1;
    int32_t worksheetIndex_ = -1;
    std::vector<std::pair<std::u16string, uint8_t>> sheetNames_;   // name, visibility
    bool inWorksheet_ = false;
    bool skipCustomView_ = false;
    uint32_t recordCount_ = 0;
    unsigned codePage_ = 1252;

    // Style sheet: model indexes of the file's fonts and number formats, and the XF limit.
    std::vector<int32_t> fonts_;
    std::vector<std::pair<uint16_t, int32_t>> formats_;   // file id, model index
    uint16_t formatRecords_ = 0;
    uint32_t xfLimit_ = 0;             // XF records read: a cell's XF index must be below it

    // Shared strings.
    uint32_t sstRemaining_ = 0;
    int64_t sstStrings_ = 0;
    std::u16string sstChars_;
    std::vector<uint8_t> sstBytes_;
    std::vector<TWbFontRun> sstRuns_;

    // Formulas of the current substream.
    std::vector<TSharedFormula> sharedFormulas_;
    TArrayAnchor arrayAnchor_;
    std::vector<uint8_t> formula_;     // the FORMULA record being read
    std::vector<uint8_t> body_;        // compiled body handed to the store
    std::vector<uint8_t> scratch_;
};

} // namespace tessaly
