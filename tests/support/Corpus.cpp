#include "Corpus.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "JsonLine.h"
#include "core/NumberText.h"
#include "core/Utf.h"
#include "workbook/XLSCellWalk.h"
#include "workbook/XLSSheetData.h"

namespace tessaly::test {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

std::string Describe(const RefCell& cell) {
    switch (cell.Type) {
        case 'n': return FormatGeneral(cell.Number, 17);
        case 'b': return cell.Bool ? "TRUE" : "FALSE";
        default: return Utf16ToUtf8(cell.Text);
    }
}

// Numbers must agree to the last bit: the reference dumps write them round-trip exact.
bool NumbersAgree(double a, double b) {
    return a == b;
}

// What our workbook holds at a position, in the reference's terms; Type 0 for nothing.
RefCell OurCell(TXLSWorksheet& sheet, int col, int row) {
    RefCell cell;
    cell.Row = row;
    cell.Col = col;
    switch (sheet.CellKind(col, row)) {
        case xckNumber:
        case xckNumberFormula:
            cell.Type = 'n';
            cell.Number = sheet.CellNumber(col, row);
            break;
        case xckString:
        case xckStringFormula:
            cell.Type = 's';
            cell.Text = sheet.CellText(col, row);
            break;
        case xckBoolean:
        case xckBooleanFormula:
            cell.Type = 'b';
            cell.Bool = sheet.CellText(col, row) == kBoolTrueText;
            break;
        case xckError:
        case xckErrorFormula:
            cell.Type = 'e';
            cell.Text = sheet.CellText(col, row);
            break;
        default:
            cell.Type = 0;
    }
    return cell;
}

} // namespace

bool CorpusEntry::PeerOk(const std::string& peer) const {
    if (peer == PeerA) return PeerAStatus.rfind("ok", 0) == 0;
    if (peer == PeerB) return PeerBStatus.rfind("ok", 0) == 0;
    return false;
}

bool CorpusEntry::HasNote(const std::string& tag) const { return Notes.find(tag) != std::string::npos; }

bool CorpusAvailable() { return std::filesystem::exists(std::string(TESSALY_CORPUS_DIR) + "/MANIFEST.tsv"); }

std::vector<CorpusEntry> LoadCorpus(const std::string& format) {
    std::vector<CorpusEntry> entries;
    std::ifstream in(std::string(TESSALY_CORPUS_DIR) + "/MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // header
    const std::vector<std::string> header = SplitTabs(line);
    std::map<std::string, size_t> column;
    for (size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = SplitTabs(line);
        auto get = [&](const char* name) {
            const size_t i = column.at(name);
            return i < f.size() ? f[i] : std::string();
        };
        CorpusEntry e;
        e.Id = get("id");
        e.Format = get("format");
        e.Notes = get("notes");
        e.Path = std::string(TESSALY_CORPUS_DIR) + "/" + get("file");
        e.PeerA = get("peer_a");
        e.PeerAStatus = get("peer_a_status");
        e.PeerB = get("peer_b");
        e.PeerBStatus = get("peer_b_status");
        if (format.empty() || e.Format == format) entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<RefSheet> LoadReference(const CorpusEntry& entry, const std::string& peer) {
    std::vector<RefSheet> sheets;
    std::ifstream in(std::string(TESSALY_CORPUS_DIR) + "/ref/" + entry.Id + ".jsonl");
    std::string line;
    std::map<long, size_t> sheetOfIndex;
    bool inPeer = false;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto object = ParseJsonLine(line);
        const long index = static_cast<long>(object["sheet"].number);
        if (object.count("peer")) {
            inPeer = Utf16ToUtf8(object["peer"].text) == peer;
            if (inPeer) {
                sheetOfIndex[index] = sheets.size();
                sheets.push_back(RefSheet{object["name"].text, {}});
            }
            continue;
        }
        if (!inPeer) continue;
        const std::string type = Utf16ToUtf8(object["type"].text);
        if (type == "blank") continue;
        RefCell cell;
        cell.Row = static_cast<int>(object["row"].number);
        cell.Col = static_cast<int>(object["col"].number);
        cell.Type = type.empty() ? '?' : type[0];
        const JsonValue& v = object["v"];
        cell.Number = v.number;
        cell.Text = v.text;
        cell.Bool = v.boolean;
        sheets[sheetOfIndex.at(index)].Cells.push_back(std::move(cell));
    }
    return sheets;
}

Comparison CompareWithReference(TXLSWorkbook& workbook, const std::vector<RefSheet>& reference) {
    Comparison result;
    for (const RefSheet& ref : reference) {
        TXLSWorksheet* sheet = nullptr;
        for (int i = 0; i < workbook.SheetCount() && !sheet; ++i)
            if (workbook.SheetAt(i).Name() == ref.Name) sheet = &workbook.SheetAt(i);
        if (!sheet) {
            result.SheetsMissing.push_back(ref.Name);
            continue;
        }
        std::map<std::pair<int, int>, const RefCell*> theirs;
        for (const RefCell& cell : ref.Cells) theirs[{cell.Row, cell.Col}] = &cell;

        auto differ = [&](int row, int col, const char* category, std::string ours, std::string their) {
            result.Differences.push_back({ref.Name, row, col, category, std::move(ours), std::move(their)});
        };
        // Every stored cell of ours against theirs.
        TXLSCellWalker walker(sheet->Data().Cells());
        int32_t col, row;
        while (walker.Next(col, row)) {
            const RefCell ours = OurCell(*sheet, col, row);
            auto it = theirs.find({row, col});
            if (it == theirs.end()) {
                if (ours.Type == 0) continue;
                differ(row, col, ours.Type == 's' && ours.Text.empty() ? "extra-empty-string" : "extra",
                       Describe(ours), "");
                continue;
            }
            const RefCell& their = *it->second;
            theirs.erase(it);
            ++result.CellsCompared;
            if (ours.Type == 0) {
                differ(row, col, "missing", "", Describe(their));
            } else if (ours.Type != their.Type) {
                differ(row, col, "type", std::string(1, ours.Type) + ":" + Describe(ours),
                       std::string(1, their.Type) + ":" + Describe(their));
            } else if (ours.Type == 'n' ? !NumbersAgree(ours.Number, their.Number)
                       : ours.Type == 'b' ? ours.Bool != their.Bool
                                          : ours.Text != their.Text) {
                differ(row, col,
                       ours.Type == 'n' ? "number" : ours.Type == 's' ? "string" : ours.Type == 'b' ? "boolean" : "error",
                       Describe(ours), Describe(their));
            }
        }
        for (const auto& [position, cell] : theirs) {
            ++result.CellsCompared;
            differ(position.first, position.second, "missing", "", Describe(*cell));
        }
    }
    return result;
}

std::string Comparison::Describe(size_t maxLines) const {
    std::ostringstream out;
    for (const auto& name : SheetsMissing) out << "sheet missing: " << Utf16ToUtf8(name) << "\n";
    out << Differences.size() << " cell differences of " << CellsCompared << " compared\n";
    for (size_t i = 0; i < Differences.size() && i < maxLines; ++i) {
        const CellDifference& d = Differences[i];
        out << "  " << Utf16ToUtf8(d.Sheet) << "!R" << d.Row << "C" << d.Col << " " << d.Category
            << ": ours [" << d.Ours << "] theirs [" << d.Theirs << "]\n";
    }
    return out.str();
}

} // namespace tessaly::test
