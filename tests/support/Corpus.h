#pragma once
// The shared reference corpus: real workbooks written by other programs, with each cell as two
// other readers saw it. Tests read a corpus file with our reader and compare it cell by cell.

#include <string>
#include <vector>

namespace tessaly {
class TXLSWorkbook;
}

namespace tessaly::test {

struct CorpusEntry {
    std::string Id;
    std::string Format;    // "xls" or "xlsx"
    std::string Notes;     // feature tags, ';'-separated
    std::string Path;      // full path of the workbook
    std::string PeerA, PeerAStatus, PeerB, PeerBStatus;

    bool PeerOk(const std::string& peer) const;
    bool HasNote(const std::string& tag) const;   // substring match on the feature tags
};

bool CorpusAvailable();
// Every workbook of the format ("" for all), in manifest order.
std::vector<CorpusEntry> LoadCorpus(const std::string& format);

struct RefCell {
    int Row = 0;
    int Col = 0;
    char Type = 'n';        // n number, s string, b boolean, e error
    double Number = 0;
    std::u16string Text;    // s and e
    bool Bool = false;
};

struct RefSheet {
    std::u16string Name;
    std::vector<RefCell> Cells;
};

// The sheets one peer saw, in its order ("blank" stubs left out).
std::vector<RefSheet> LoadReference(const CorpusEntry& entry, const std::string& peer);

struct CellDifference {
    std::u16string Sheet;
    int Row = 0;
    int Col = 0;
    std::string Category;   // missing, extra, extra-empty-string, type, number, string, boolean, error
    std::string Ours;
    std::string Theirs;
};

struct Comparison {
    long CellsCompared = 0;
    std::vector<std::u16string> SheetsMissing;   // in the reference, not in our workbook
    std::vector<CellDifference> Differences;

    bool Agrees() const { return SheetsMissing.empty() && Differences.empty(); }
    // A short human-readable account (first few differences).
    std::string Describe(size_t maxLines = 10) const;
};

// Compares every sheet the peer saw (matched by name) with the loaded workbook. Blank cells are
// never compared. Numbers agree within a relative 1e-12 (the cell store packs decimals).
Comparison CompareWithReference(TXLSWorkbook& workbook, const std::vector<RefSheet>& reference);

} // namespace tessaly::test
