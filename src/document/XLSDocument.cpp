#include "document/XLSDocument.h"

#include <cstring>

#include "core/Stream.h"
#include "xlsx/XLSReadXLSX.h"

namespace tessaly {

namespace {

std::string LowerExtension(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    const size_t slash = fileName.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

bool StartsWithZipHeader(TStream& stream) {
    const int64_t position = stream.Position();
    uint8_t signature[4] = {};
    const size_t n = stream.Read(signature, sizeof signature);
    stream.Seek(position, SeekOrigin::Begin);
    static const uint8_t kLocalHeader[4] = {0x50, 0x4B, 0x03, 0x04};
    return n == 4 && std::memcmp(signature, kLocalHeader, 4) == 0;
}

} // namespace

TXLSReaders TXLSReaders::Default() {
    TXLSReaders readers;
    readers.ReadXlsx = ReadXlsxWorkbook;
    readers.ReadBiffFile = ReadBiffWorkbookFile;
    readers.ReadBiffStream = ReadBiffWorkbookStream;
    return readers;
}

TXLSDocument::TXLSDocument() : TXLSDocument(TXLSReaders::Default()) {}

TXLSDocument::TXLSDocument(TXLSReaders readers) : readers_(std::move(readers)) {}

void TXLSDocument::LoadWorkbookFile(const std::string& fileName) {
    filename_ = fileName;
    const std::string extension = LowerExtension(fileName);
    if (extension == ".xls" || extension == ".xlm") {
        usedPassword_.clear();
        BeginRead(xvExcel97);
        const TBiffReadResult result = readers_.ReadBiffFile(Manager(), fileName);
        EndBiffRead(result);
        return;
    }
    Version = xvExcel2007;
    TFileStream stream(fileName);
    LoadWorkbookStream(stream, true);
}

void TXLSDocument::LoadWorkbookStream(TStream& stream, bool detect) {
    usedPassword_.clear();
    if (!detect || StartsWithZipHeader(stream)) {
        BeginRead(xvExcel2007);
        readers_.ReadXlsx(Manager(), stream);
        AfterRead();
    } else {
        BeginRead(xvExcel97);
        const TBiffReadResult result = readers_.ReadBiffStream(Manager(), stream);
        EndBiffRead(result);
    }
}

// Every read starts from an empty workbook without sheets: until a read completes, SheetAt(0)
// fails, so a failed read never looks like an empty workbook.
void TXLSDocument::BeginRead(TExcelVersion version) {
    Version = version;
    ClearWorkbook(0);
    Manager().FileVersion = version;
    Manager().BeginLoad();
}

void TXLSDocument::EndBiffRead(const TBiffReadResult& result) {
    usedPassword_ = result.UsedPassword;
    if (result.FileVersion != xvNone) Version = result.FileVersion;   // BIFF5 and older too
    AfterRead();
}

} // namespace tessaly
