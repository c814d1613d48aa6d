#pragma once
// The workbook component: holds the in-memory workbook and reads a file into it, choosing the
// reader by the file name's extension and the file's first bytes.

#include <functional>
#include <string>

#include "workbook/XLSSheetData.h"
#include "xls/BiffReader.h"

namespace tessaly {

class TStream;

// The readers the component dispatches to; tests replace them to observe the dispatch.
struct TXLSReaders {
    std::function<void(TWbManager&, TStream&)> ReadXlsx;
    std::function<TBiffReadResult(TWbManager&, const std::string&)> ReadBiffFile;
    std::function<TBiffReadResult(TWbManager&, TStream&)> ReadBiffStream;

    static TXLSReaders Default();
};

class TXLSDocument : public TXLSWorkbook {
public:
    TXLSDocument();
    explicit TXLSDocument(TXLSReaders readers);

    static std::string ComponentVersion() { return "2.0.1"; }

    // The file to read: a path in UTF-8. Setting it reads nothing.
    void SetFilename(const std::string& fileName) { filename_ = fileName; }
    const std::string& Filename() const { return filename_; }

    void LoadWorkbook() { LoadWorkbookFile(filename_); }
    // A name ending in .xls or .xlm (any case) is read as BIFF; any other file is read as .xlsx
    // when it starts with a ZIP local header, as BIFF otherwise.
    void LoadWorkbookFile(const std::string& fileName);
    void LoadWorkbookStream(TStream& stream, bool detect);

    // The default password that opened the last encrypted workbook (empty when none).
    const std::u16string& UsedPassword() const { return usedPassword_; }

private:
    void BeginRead(TExcelVersion version);
    void EndBiffRead(const TBiffReadResult& result);

    TXLSReaders readers_;
    std::string filename_;
    std::u16string usedPassword_;
};

} // namespace tessaly
