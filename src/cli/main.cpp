// tessaly-cli: the sales-list conversion without a window, and what the reader sees in a workbook.
#include <cstring>
#include <iostream>

#include "cli/ConvertCommand.h"
#include "cli/DumpCommand.h"

namespace {

const char* kUsage =
    "usage: tessaly-cli convert WORKBOOK -o OUT.xml [options]\n"
    "       tessaly-cli dump WORKBOOK [--sheet N] [--stats]\n"
    "  tessaly-cli convert --help and tessaly-cli dump --help tell more.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "dump") == 0) return tessaly::cli::RunDump(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0)
        return tessaly::cli::RunConvert(argc - 1, argv + 1, std::cout, std::cerr);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    std::cerr << kUsage;
    return 64;
}
