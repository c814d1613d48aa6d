// Every .xls of the shared corpus: it reads and agrees cell for cell with the reference dumps
// of other readers, or it fails with the clear error listed here for it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Corpus.h"
#include "core/Utf.h"
#include "document/XLSDocument.h"
#include "xls/BiffReader.h"
#include "xls/BiffStream.h"

namespace tessaly {
namespace {

using test::CorpusEntry;

struct ExpectedFailure {
    const char* Id;
    const char* Message;   // the end of the error message
    const char* Reason;
};

const ExpectedFailure kExpectedFailures[] = {
    {"calamine-33570d24a4", "The file is not an Excel workbook",
     "a text file (\"Attachment ...\") named .xls; neither a compound document nor a BIFF record file"},
    {"calamine-62e2b3dd67", "Damaged compound file: the chain of the directory points outside the file",
     "a fuzzed file; both reference readers fail on it too"},
    {"poi-b09929433f", "Damaged compound file: the chain of the mini stream points outside the file",
     "a fuzzed file; both reference readers fail on it too"},
    {"sheetjs-8de0f4be15", "\rE1002: Unknown type of encryption (XOR obfuscation, not supported)",
     "XOR obfuscation is not supported"},
    {"sheetjs-8da9156b52", "\rE1003: File is encrypted, password missing. If you think the file is unencrypted, try \"CobaltMarigolds\"",
     "RC4 with a user password"},
    {"sheetjs-c73eded09b", "\rE1003: File is encrypted, password missing. If you think the file is unencrypted, try \"CobaltMarigolds\"",
     "RC4 CryptoAPI (40-bit) with a user password"},
    {"sheetjs-d2f60f713f", "\rE1003: File is encrypted, password missing. If you think the file is unencrypted, try \"CobaltMarigolds\"",
     "RC4 CryptoAPI (128-bit) with a user password"},
    {"sheetjs-00705e7562", "\rE1003: File is encrypted, password missing. If you think the file is unencrypted, try \"CobaltMarigolds\"",
     "RC4 CryptoAPI (128-bit) with a user password"},
};

const ExpectedFailure* FindExpectedFailure(const std::string& id) {
    for (const auto& failure : kExpectedFailures)
        if (id == failure.Id) return &failure;
    return nullptr;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The reference to compare with: the first peer that read the file and whose sheet names are
// all in our workbook. (xlrd names the sheet of a bare BIFF2-BIFF4 file "Sheet 1"; this reader,
// like SheetJS, names it "Sheet1".)
std::vector<test::RefSheet> ReferenceFor(const CorpusEntry& entry, TXLSWorkbook& workbook) {
    std::vector<test::RefSheet> first;
    for (const std::string& peer : {entry.PeerA, entry.PeerB}) {
        if (!entry.PeerOk(peer)) continue;
        auto sheets = test::LoadReference(entry, peer);
        bool allFound = true;
        for (const auto& sheet : sheets) {
            bool found = false;
            for (int i = 0; i < workbook.SheetCount(); ++i) found = found || workbook.SheetAt(i).Name() == sheet.Name;
            allFound = allFound && found;
        }
        if (allFound) return sheets;
        if (first.empty()) first = std::move(sheets);
    }
    return first;
}

void ExpectAgreement(const CorpusEntry& entry, TXLSWorkbook& workbook) {
    const auto reference = ReferenceFor(entry, workbook);
    ASSERT_FALSE(reference.empty()) << "no reference dump";
    const test::Comparison comparison = test::CompareWithReference(workbook, reference);
    EXPECT_TRUE(comparison.Agrees()) << comparison.Describe();
}

TEST(XlsCorpus, EveryWorkbookReadsAndAgreesOrFailsClearly) {
    if (!test::CorpusAvailable()) GTEST_SKIP() << "no corpus";
    const auto entries = test::LoadCorpus("xls");
    ASSERT_FALSE(entries.empty());
    std::set<std::string> seen;
    int agreed = 0;
    for (const CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.Id);
        seen.insert(entry.Id);
        const ExpectedFailure* failure = FindExpectedFailure(entry.Id);
        TXLSDocument document;
        try {
            document.LoadWorkbookFile(entry.Path);
        } catch (const std::exception& e) {
            if (!failure) {
                ADD_FAILURE() << "fails: " << e.what();
                continue;
            }
            EXPECT_TRUE(EndsWith(e.what(), failure->Message)) << e.what();
            continue;
        }
        if (failure) {
            ADD_FAILURE() << "reads, but is listed to fail: " << failure->Reason;
            continue;
        }
        if (entry.HasNote("default-password(VelvetSweatshop)")) {
            EXPECT_EQ(document.UsedPassword(), u"VelvetSweatshop");
        }
        ExpectAgreement(entry, document);
        ++agreed;
    }
    for (const auto& failure : kExpectedFailures) EXPECT_TRUE(seen.count(failure.Id)) << failure.Id << " is gone";
    EXPECT_GT(agreed, 0);
}

// The files protected with the user password "password" read with it, in each RC4 form.
TEST(XlsCorpus, UserPasswordWorkbooksReadWithTheirPassword) {
    if (!test::CorpusAvailable()) GTEST_SKIP() << "no corpus";
    int read = 0;
    for (const CorpusEntry& entry : test::LoadCorpus("xls")) {
        if (!entry.HasNote("encrypted-rc4") || !entry.HasNote("-password=password")) continue;
        SCOPED_TRACE(entry.Id);
        TXLSReaders readers = TXLSReaders::Default();
        readers.ReadBiffFile = [](TWbManager& workbook, const std::string& fileName) {
            TXLSStream stream;
            stream.OpenWorkbookFile(fileName);
            TBiffReadOptions options;
            options.Password = u"password";
            return ReadBiffWorkbook(workbook, stream, options);
        };
        TXLSDocument document(readers);
        document.LoadWorkbookFile(entry.Path);
        ExpectAgreement(entry, document);
        ++read;
    }
    EXPECT_EQ(read, 4);
}

} // namespace
} // namespace tessaly
