#pragma once
// `tessaly-cli convert`: the window's import and export without a window, driving the same
// TmainForm handlers.

#include <ostream>

#include "document/XLSDocument.h"

namespace tessaly::cli {

// argv[0] is "convert". Messages go to `out`, a workbook that cannot be read and usage errors to
// `err`. Returns the exit status: 0 written, 1 export refused or failed, 2 workbook not read,
// 64 usage error.
int RunConvert(int argc, char** argv, std::ostream& out, std::ostream& err,
               const TXLSReaders& readers = TXLSReaders::Default());

extern const char* const kConvertUsage;

} // namespace tessaly::cli
