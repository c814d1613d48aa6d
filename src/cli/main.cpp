// tessaly-cli: the sales-list conversion without a window.
#include <cstdio>
#include <cstring>

#include "cli/DumpCommand.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "dump") == 0) return tessaly::cli::RunDump(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0) {
        std::printf("tessaly-cli: would convert %s into an XML invoice file; import and export are "
                    "still being built.\n", argc >= 3 ? argv[2] : "(no workbook)");
        return 0;
    }
    std::fprintf(stderr, "usage: tessaly-cli convert WORKBOOK -o OUT.xml\n       tessaly-cli dump WORKBOOK [--sheet N] [--stats]\n");
    return 64;
}
