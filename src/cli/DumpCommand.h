#pragma once
// `tessaly-cli dump`: what the reader sees in a workbook, as JSON Lines.

namespace tessaly::cli {

// argv[0] is "dump". Returns the process exit status.
int RunDump(int argc, char** argv);

} // namespace tessaly::cli
