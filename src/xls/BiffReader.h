#pragma once
// Entry points of the BIFF (.xls) reader.

#include <string>
#include <vector>

#include "workbook/Types.h"

namespace tessaly {

class TStream;
class TWbManager;
class TXLSStream;

struct TBiffReadResult {
    TExcelVersion FileVersion = xvNone;   // the BIFF generation found
    std::u16string UsedPassword;          // the default password that opened an encrypted file
    std::vector<std::string> Notes;       // things read in a way worth telling (unknown code page)
};

struct TBiffReadOptions {
    // The password of an encrypted workbook; empty: the default passwords are tried.
    std::u16string Password;
};

// Reads the workbook file (a compound document, or a bare BIFF2-BIFF4 file) into the cleared
// workbook data. Failures are exceptions.
TBiffReadResult ReadBiffWorkbookFile(TWbManager& workbook, const std::string& fileName);
// The same for a compound document held in a stream (not owned).
TBiffReadResult ReadBiffWorkbookStream(TWbManager& workbook, TStream& stream);
// Reads an opened workbook stream to its end.
TBiffReadResult ReadBiffWorkbook(TWbManager& workbook, TXLSStream& stream, const TBiffReadOptions& options);

} // namespace tessaly
