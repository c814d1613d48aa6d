#include "cli/DumpCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/Json.h"
#include "core/Utf.h"
#include "document/XLSDocument.h"
#include "workbook/XLSCellWalk.h"

namespace tessaly::cli {

namespace {

constexpr const char* kKindNames[] = {"none",   "blank",         "boolean",       "error",          "string",
                                      "number", "numberformula", "stringformula", "booleanformula", "errorformula"};

const char* kUsage =
    "usage: tessaly-cli dump WORKBOOK [--sheet N] [--stats]\n"
    "  Prints what the reader sees, as JSON Lines (UTF-8). Per sheet first\n"
    "    {\"sheet\":i,\"name\":...,\"used\":[firstRow,lastRow,firstCol,lastCol]}\n"
    "  then one line per stored cell, in row-major order:\n"
    "    {\"sheet\":i,\"row\":r,\"col\":c,\"kind\":...,\"text\":...,\"number\":x}\n"
    "  (\"number\" only for the kinds number and numberformula).\n"
    "  --sheet N  only sheet N (0-based)\n"
    "  --stats    per sheet one line {\"sheet\":i,\"name\":...,\"cells\":n,\"number_sum\":x,\"text_units\":y}\n"
    "             instead of the cells: every cell is still read as number or text\n";

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool IsNumeric(TXLSCellKind kind) { return kind == xckNumber || kind == xckNumberFormula; }

void DumpSheet(TXLSWorksheet& sheet, int index, bool stats) {
    const std::string head = "{\"sheet\":" + std::to_string(index) + ",\"name\":" + JsonQuote(sheet.Name());
    TXLSCellWalker walker(sheet.Data().Cells());
    int32_t col, row;
    if (stats) {
        long cells = 0;
        double numberSum = 0;
        unsigned long long textUnits = 0;
        std::u16string text;   // one buffer for every cell's text
        while (walker.Next(col, row)) {
            const TXLSCellKind kind = sheet.CellKind(col, row);
            ++cells;
            if (IsNumeric(kind)) {
                numberSum += sheet.CellNumber(col, row);
            } else {
                text.clear();
                sheet.AppendCellText(col, row, text);
                textUnits += text.size();
            }
        }
        std::printf("%s,\"cells\":%ld,\"number_sum\":%s,\"text_units\":%llu}\n", head.c_str(), cells,
                    JsonNumber(numberSum).c_str(), textUnits);
        return;
    }
    sheet.RecalcUsedArea();
    std::printf("%s,\"used\":[%d,%d,%d,%d]}\n", head.c_str(), sheet.FirstUsedRow(), sheet.LastUsedRow(),
                sheet.FirstUsedCol(), sheet.LastUsedCol());
    std::string line;
    while (walker.Next(col, row)) {
        const TXLSCellKind kind = sheet.CellKind(col, row);
        line = "{\"sheet\":" + std::to_string(index) + ",\"row\":" + std::to_string(row) +
               ",\"col\":" + std::to_string(col) + ",\"kind\":\"" + kKindNames[kind] +
               "\",\"text\":" + JsonQuote(sheet.CellText(col, row));
        if (IsNumeric(kind)) line += ",\"number\":" + JsonNumber(sheet.CellNumber(col, row));
        line += "}\n";
        std::fputs(line.c_str(), stdout);
    }
}

} // namespace

int RunDump(int argc, char** argv) {
    std::string fileName;
    long onlySheet = -1;
    bool stats = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--stats") {
            stats = true;
        } else if (arg == "--sheet" && i + 1 < argc) {
            char* end = nullptr;
            onlySheet = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || onlySheet < 0) {
                std::fputs(kUsage, stderr);
                return 64;
            }
        } else if (!arg.empty() && arg[0] != '-' && fileName.empty()) {
            fileName = arg;
        } else {
            std::fputs(kUsage, stderr);
            return 64;
        }
    }
    if (fileName.empty()) {
        std::fputs(kUsage, stderr);
        return 64;
    }

    TXLSDocument document;
    try {
        document.SetFilename(fileName);
        document.LoadWorkbook();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    if (onlySheet >= document.SheetCount()) {
        std::fprintf(stderr, "the workbook has %d sheets\n", document.SheetCount());
        return 64;
    }
    try {
        for (int i = 0; i < document.SheetCount(); ++i)
            if (onlySheet < 0 || i == onlySheet) DumpSheet(document.SheetAt(i), i, stats);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

} // namespace tessaly::cli
