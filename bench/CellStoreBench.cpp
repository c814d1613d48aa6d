// The cell store on sales-list-shaped sheets: storing rows left to right as the readers do, and
// reading them back as the sales-list import does (CellKind, then CellText or CellNumber).
//
// Counters: cells_per_s (stored or read), bytes_per_cell (encoded row vectors, row heads
// included, the shared strings' own text excluded).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "workbook/XLSCellWalk.h"
#include "workbook/XLSSheetData.h"

namespace tessaly {
namespace {

constexpr int kColumns = 13;
constexpr int kStrings = 5500;

// One sales-list line, columns A..M: goods name, type and model, unit (shared strings), quantity
// (small integer), unit price and amount (two decimals), tax rate, tax code, own code and
// preferential mark (shared strings), zero-rate mark, policy text, deduction (mostly blank).
struct SalesLine {
    uint32_t name, model, unit, taxCode, ownCode, preferential;
    int quantity;
    double price, amount, rate;
    bool hasOwnCode, blanks, deduction;

    explicit SalesLine(uint32_t r) {
        name = (r * 7919u) % 5000u;
        model = 5000 + r % 300;
        unit = 5300 + r % 12;
        taxCode = 5320 + r % 40;
        ownCode = 5360 + r % 100;
        preferential = 5460 + r % 2;
        quantity = 1 + static_cast<int>(r % 50);
        const int priceCents = 100 + static_cast<int>((r * 37u) % 99900u);
        price = priceCents / 100.0;
        amount = static_cast<double>(static_cast<int64_t>(priceCents) * quantity) / 100.0;
        static const double kRates[] = {0.13, 0.13, 0.13, 0.09, 0.06};
        rate = kRates[r % 5];
        hasOwnCode = r % 3 != 0;
        blanks = r % 4 != 0;
        deduction = r % 10 == 0;
    }
};

void StoreLine(TXLSCellStore& cells, int32_t row) {
    const SalesLine line(static_cast<uint32_t>(row));
    cells.StoreSharedString(0, row, line.name, 1);
    cells.StoreSharedString(1, row, line.model, 1);
    cells.StoreSharedString(2, row, line.unit, 1);
    cells.StoreNumber(3, row, line.quantity, 2);
    cells.StoreNumber(4, row, line.price, 3);
    cells.StoreNumber(5, row, line.amount, 3);
    cells.StoreNumber(6, row, line.rate, 4);
    cells.StoreSharedString(7, row, line.taxCode, 1);
    if (line.hasOwnCode) cells.StoreSharedString(8, row, line.ownCode, 1);
    cells.StoreSharedString(9, row, line.preferential, 1);
    if (line.blanks) {
        cells.StoreBlank(10, row, 1);
        cells.StoreBlank(11, row, 1);
    }
    if (line.deduction)
        cells.StoreNumber(12, row, 0, 3);
    else if (line.blanks)
        cells.StoreBlank(12, row, 1);
}

int64_t CellsOfLine(int32_t row) {
    const SalesLine line(static_cast<uint32_t>(row));
    return 8 + line.hasOwnCode + (line.blanks ? 2 : 0) + (line.blanks || line.deduction);
}

// A workbook whose first sheet is to be filled: strings and formats in place.
std::unique_ptr<TXLSWorkbook> NewWorkbook() {
    auto book = std::make_unique<TXLSWorkbook>();
    TWbManager& manager = book->Manager();
    for (int i = 0; i < 4; ++i) manager.StyleSheet().AddXF(TWbXF());
    for (int i = 0; i < kStrings; ++i) {
        const std::string text = "text " + std::to_string(i);
        manager.SST().AppendString(std::u16string(text.begin(), text.end()));
    }
    return book;
}

void Fill(TXLSCellStore& cells, int32_t rows, bool rowRecordsFirst) {
    for (int32_t first = 0; first < rows; first += 32) {
        const int32_t end = std::min(rows, first + 32);
        // A BIFF file gives the ROW records of up to 32 rows before their cells.
        if (rowRecordsFirst)
            for (int32_t row = first; row < end; ++row) cells.StoreRowRecord(row, TXLSRowRecord());
        for (int32_t row = first; row < end; ++row) {
            StoreLine(cells, row);
            if (!rowRecordsFirst) cells.StoreRowRecord(row, TXLSRowRecord());   // as in .xlsx
        }
    }
}

void Store(benchmark::State& state, bool rowRecordsFirst) {
    const auto rows = static_cast<int32_t>(state.range(0));
    int64_t cells = 0;
    for (int32_t row = 0; row < rows; ++row) cells += CellsOfLine(row);
    double bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto book = NewWorkbook();
        TXLSCellStore& store = book->SheetAt(0).Data().Cells();
        state.ResumeTiming();
        Fill(store, rows, rowRecordsFirst);
        store.Compact();
        benchmark::DoNotOptimize(store.EncodedBytes());
        state.PauseTiming();
        bytes = static_cast<double>(store.EncodedBytes());
        book.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(cells);
    state.counters["cells_per_s"] = benchmark::Counter(static_cast<double>(cells),
                                                       benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes_per_cell"] = bytes / static_cast<double>(cells);
}

void BM_StoreSalesList(benchmark::State& state) { Store(state, false); }
void BM_StoreSalesListRowRecordsFirst(benchmark::State& state) { Store(state, true); }

void BM_ReadSalesList(benchmark::State& state) {
    const auto rows = static_cast<int32_t>(state.range(0));
    auto book = NewWorkbook();
    Fill(book->SheetAt(0).Data().Cells(), rows, false);
    book->SheetAt(0).Data().Cells().Compact();
    const TXLSWorksheet& sheet = book->SheetAt(0);
    int64_t cells = 0;
    for (auto _ : state) {
        size_t textUnits = 0;
        double sum = 0;
        cells = 0;
        for (int32_t row = 0; row < rows; ++row) {
            for (int32_t col = 0; col < kColumns; ++col) {
                switch (sheet.CellKind(col, row)) {
                    case xckString:
                    case xckStringFormula: textUnits += sheet.CellText(col, row).size(); break;
                    case xckNumber:
                    case xckNumberFormula: sum += sheet.CellNumber(col, row); break;
                    default: break;
                }
                ++cells;
            }
        }
        benchmark::DoNotOptimize(textUnits);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["cells_per_s"] = benchmark::Counter(static_cast<double>(cells),
                                                       benchmark::Counter::kIsIterationInvariantRate);
}

// What `tessaly-cli dump --stats` does per sheet: walk the stored cells, then CellKind and
// CellNumber or the cell's text (into one reused buffer) for each.
void BM_WalkSalesList(benchmark::State& state) {
    const auto rows = static_cast<int32_t>(state.range(0));
    auto book = NewWorkbook();
    Fill(book->SheetAt(0).Data().Cells(), rows, false);
    book->SheetAt(0).Data().Cells().Compact();
    const TXLSWorksheet& sheet = book->SheetAt(0);
    int64_t cells = 0;
    std::u16string text;
    for (auto _ : state) {
        size_t textUnits = 0;
        double sum = 0;
        cells = 0;
        TXLSCellWalker walker(book->SheetAt(0).Data().Cells());
        int32_t col, row;
        while (walker.Next(col, row)) {
            const TXLSCellKind kind = sheet.CellKind(col, row);
            if (kind == xckNumber || kind == xckNumberFormula) {
                sum += sheet.CellNumber(col, row);
            } else {
                text.clear();
                sheet.AppendCellText(col, row, text);
                textUnits += text.size();
            }
            ++cells;
        }
        benchmark::DoNotOptimize(textUnits);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["cells_per_s"] = benchmark::Counter(static_cast<double>(cells),
                                                       benchmark::Counter::kIsIterationInvariantRate);
}

// The worst order for the store: every row of 16384 numbers filled from its last column to its
// first, so that every cell lands in front of the row's runs.
void BM_StoreRowsRightToLeft(benchmark::State& state) {
    const auto rows = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        auto book = NewWorkbook();
        TXLSCellStore& cells = book->SheetAt(0).Data().Cells();
        for (int32_t row = 0; row < rows; ++row)
            for (int32_t col = kMaxCol; col >= 0; --col) cells.StoreNumber(col, row, col % 100, 0);
        benchmark::DoNotOptimize(cells.EncodedBytes());
    }
    state.counters["cells_per_s"] = benchmark::Counter(static_cast<double>(rows) * (kMaxCol + 1),
                                                       benchmark::Counter::kIsIterationInvariantRate);
}

// Cells of 256 rows stored column by column: every store goes to another row of the block.
void BM_StoreColumnsFirst(benchmark::State& state) {
    const auto cols = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        auto book = NewWorkbook();
        TXLSCellStore& cells = book->SheetAt(0).Data().Cells();
        for (int32_t col = 0; col < cols; ++col)
            for (int32_t row = 0; row < 256; ++row) cells.StoreNumber(col, row, col % 100, 0);
        cells.Compact();
        benchmark::DoNotOptimize(cells.EncodedBytes());
    }
    state.counters["cells_per_s"] = benchmark::Counter(256.0 * cols, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_StoreSalesList)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StoreSalesListRowRecordsFirst)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
// A full-height sheet loads in time linear in its cells. Every size runs several times, so that
// all of them pay alike for first touching fresh memory.
BENCHMARK(BM_StoreSalesList)
    ->RangeMultiplier(4)
    ->Range(16384, 1048576)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_StoreRowsRightToLeft)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreColumnsFirst)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSalesList)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkSalesList)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace tessaly
