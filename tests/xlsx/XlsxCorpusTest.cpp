// Every .xlsx of the shared corpus is read and compared, cell by cell, with the reference dumps
// of two other readers. A workbook must agree completely with at least one of them, apart from
// the differences listed here by category with their reason.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "Corpus.h"
#include "document/XLSDocument.h"

namespace tessaly {
namespace {

// Differences that never count as disagreement, with the reason:
//   extra-empty-string: formula cells that were never calculated carry an empty text result
//     (the peers list no cell there).
bool Tolerated(const test::CellDifference& d) {
    return d.Category == "extra-empty-string";
}

TEST(XlsxCorpus, EveryWorkbookAgreesWithAReferenceReader) {
    if (!test::CorpusAvailable()) GTEST_SKIP() << "no corpus at " << TESSALY_CORPUS_DIR;
    const auto entries = test::LoadCorpus("xlsx");
    ASSERT_FALSE(entries.empty());
    int read = 0, agreed = 0, withoutReference = 0;
    long cells = 0;
    for (const auto& entry : entries) {
        SCOPED_TRACE(entry.Id + " (" + entry.Path + ")");
        TXLSDocument document;
        try {
            document.LoadWorkbookFile(entry.Path);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "read failed: " << e.what();
            continue;
        }
        ++read;
        std::string best;
        size_t bestCount = SIZE_MAX;
        bool compared = false;
        for (const std::string& peer : {entry.PeerA, entry.PeerB}) {
            if (!entry.PeerOk(peer)) continue;
            const auto reference = test::LoadReference(entry, peer);
            test::Comparison comparison = test::CompareWithReference(document, reference);
            std::erase_if(comparison.Differences, Tolerated);
            compared = compared || comparison.CellsCompared > 0 || !reference.empty();
            const size_t count = comparison.Differences.size() + comparison.SheetsMissing.size();
            if (count < bestCount) {
                bestCount = count;
                best = peer + ": " + comparison.Describe();
                if (count == 0) cells += comparison.CellsCompared;
            }
        }
        if (!compared) {
            ++withoutReference;
            continue;
        }
        if (bestCount == 0) ++agreed;
        else ADD_FAILURE() << "differs from both reference readers; closest " << best;
    }
    std::printf("xlsx corpus: %zu workbooks, %d read, %d agree with a reference reader (%ld cells), "
                "%d without reference cells\n",
                entries.size(), read, agreed, cells, withoutReference);
}

} // namespace
} // namespace tessaly
