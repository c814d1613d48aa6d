// Encrypted workbooks: RC4 and RC4 CryptoAPI with the default passwords, and the errors of
// every other case.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BiffWriter.h"
#include "LoadSupport.h"
#include "workbook/WbManager.h"
#include "xls/BiffReader.h"
#include "xls/BiffStream.h"

namespace tessaly {
namespace {

using test::BiffBuilder;
using test::Bytes;
using test::Load;
using test::LoadError;
using test::Rc4Form;

constexpr const char* kPasswordMissing =
    "E1003: File is encrypted, password missing. If you think the file is unencrypted, try \"CobaltMarigolds\"";

// Adds a record of an ignored kind so that the next record starts at `offset`.
void PadTo(BiffBuilder& s, size_t offset) {
    ASSERT_GE(offset, s.Size() + 4);
    s.Record(0x00EF, Bytes().Fill(offset - s.Size() - 4, 0x5A));
}

// A workbook whose records cross the 1024-byte blocks of the key in every way: record data, a
// record header and a sheet's BOF straddle block boundaries, and the shared strings run on in
// CONTINUE records. With `filePass`, the FILEPASS record follows the globals BOF.
std::vector<uint8_t> Workbook(const std::vector<uint8_t>* filePass) {
    BiffBuilder s;
    s.Bof(0x0005);
    if (filePass) s.Record(0x002F, *filePass);
    for (int i = 0; i < 24; ++i) s.Xf();
    s.BoundSheet(u"First").BoundSheet(u"第二");
    std::u16string longText;
    for (int i = 0; i < 700; ++i) longText += static_cast<char16_t>(u'一' + i);
    Bytes sst;
    sst.U32(3).U32(3).Str16(u"alpha").U16(static_cast<unsigned>(longText.size())).U8(1).Chars16(longText.substr(0, 300));
    s.Record(0x00FC, sst);
    s.Record(0x003C, Bytes().U8(1).Chars16(longText.substr(300)).Str16(u"omega"));
    s.Eof();

    // The first sheet's BOF data crosses a block boundary.
    PadTo(s, 3 * 1024 - 8);
    s.Bof(0x0010);
    for (uint16_t row = 0; row < 40; ++row) {
        s.Number(row, 0, row + 0.25);
        s.LabelSst(row, 1, row % 3);
    }
    // A record header straddling a boundary, then a long record crossing several.
    PadTo(s, 5 * 1024 - 2);
    Bytes mulrk;
    mulrk.U16(40).U16(0);
    for (int i = 0; i < 600; ++i) mulrk.U16(0).U32(static_cast<uint32_t>((i << 2) | 2));
    s.Record(0x00BD, mulrk.U16(599));
    s.Eof();
    s.Bof(0x0010);
    s.Record(0x0006, test::FormulaData(0, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {0x1E, 1, 0}));
    s.Record(0x0207, Bytes().U16(4).U8(0).Raw("text"));
    s.Record(0x0205, Bytes().U16(1).U16(0).U16(0).U8(0x07).U8(1));
    s.Eof();
    return s.Data();
}

void ExpectWorkbookCells(TXLSDocument& document) {
    ASSERT_EQ(document.SheetCount(), 2);
    TXLSWorksheet& first = document.SheetAt(0);
    EXPECT_EQ(first.Name(), u"First");
    std::u16string longText;
    for (int i = 0; i < 700; ++i) longText += static_cast<char16_t>(u'一' + i);
    const std::u16string strings[] = {u"alpha", longText, u"omega"};
    for (int row = 0; row < 40; ++row) {
        EXPECT_EQ(first.CellNumber(0, row), row + 0.25);
        EXPECT_EQ(first.CellText(1, row), strings[row % 3]);
    }
    EXPECT_EQ(first.CellNumber(0, 40), 0);
    EXPECT_EQ(first.CellNumber(599, 40), 599);
    TXLSWorksheet& second = document.SheetAt(1);
    EXPECT_EQ(second.Name(), u"第二");
    EXPECT_EQ(second.CellText(0, 0), u"text");
    EXPECT_EQ(second.CellText(0, 1), u"#DIV/0!");
}

TEST(BiffEncryption, ReadsTheEncryptedTwinOfAWorkbookCellForCell) {
    const auto plain = Load(test::WrapWorkbook(Workbook(nullptr)));
    ExpectWorkbookCells(*plain);
    EXPECT_EQ(plain->UsedPassword(), u"");

    struct Case {
        const char16_t* password;
        Rc4Form form;
    };
    const Case cases[] = {
        {u"CobaltMarigolds", Rc4Form::Standard},
        {u"VelvetSweatshop", Rc4Form::Standard},
        {u"VelvetSweatshop", Rc4Form::CryptoApi40},
        {u"VelvetSweatshop", Rc4Form::CryptoApi128},
        {u"CobaltMarigolds", Rc4Form::CryptoApi128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.form));
        const auto filePass = test::FilePassRecord(c.password, c.form);
        const auto stream = Workbook(&filePass);
        const auto encrypted = test::EncryptWorkbookStream(stream, c.password, c.form);
        ASSERT_NE(encrypted, stream);
        for (bool fragment : {false, true}) {
            test::CompoundOptions options;
            options.Fragment = fragment;
            const auto document = Load(test::WrapWorkbook(encrypted, options));
            ExpectWorkbookCells(*document);
            EXPECT_EQ(document->UsedPassword(), c.password);
        }
    }
}

TEST(BiffEncryption, RefusesWhatItCannotDecrypt) {
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::string inner;
    };
    std::vector<Case> cases;
    for (Rc4Form form : {Rc4Form::Standard, Rc4Form::CryptoApi40}) {
        const auto filePass = test::FilePassRecord(u"user password", form);
        cases.push_back({"another password",
                         test::WrapWorkbook(test::EncryptWorkbookStream(Workbook(&filePass), u"user password", form)),
                         kPasswordMissing});
    }
    const std::vector<uint8_t> xorPass = {0, 0, 0x34, 0x12, 0x78, 0x56};
    const std::vector<uint8_t> otherType = {2, 0, 1, 0, 1, 0};
    const std::vector<uint8_t> otherVersion = Bytes().U16(1).U16(5).U16(3).Fill(48).Data();
    cases.push_back({"XOR obfuscation", test::WrapWorkbook(Workbook(&xorPass)),
                     "E1002: Unknown type of encryption (XOR obfuscation, not supported)"});
    cases.push_back({"another type", test::WrapWorkbook(Workbook(&otherType)),
                     "E1002: Unknown type of encryption (encryption type 2, not supported)"});
    cases.push_back({"another RC4 version", test::WrapWorkbook(Workbook(&otherVersion)),
                     "E1002: Unknown type of encryption (RC4 encryption version 5.3, not supported)"});
    {
        auto aes = test::FilePassRecord(u"VelvetSweatshop", Rc4Form::CryptoApi128);
        aes[14 + 8] = 0x0E;   // AlgID 0x660E: AES-128
        aes[14 + 9] = 0x66;
        cases.push_back({"CryptoAPI with AES", test::WrapWorkbook(Workbook(&aes)),
                         "E1002: Unknown type of encryption (CryptoAPI encryption with algorithm 0x660E, not supported)"});
    }
    {
        BiffBuilder biff5;
        biff5.Bof(0x0005, 0x0500).Record(0x002F, Bytes().U16(0x1234).U16(0x5678)).Eof();
        cases.push_back({"BIFF5 protection", test::WriteCompoundFile({{u"Book", biff5.Data()}}).Bytes,
                         "E1002: Unknown type of encryption (XOR obfuscation, not supported)"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TXLSDocument document;
        TMemoryStream stream{std::span<const uint8_t>(c.file)};
        try {
            document.LoadWorkbookStream(stream, true);
            ADD_FAILURE() << "read";
        } catch (const std::exception& e) {
            EXPECT_THAT(e.what(), testing::StartsWith("Error on reading record # 1, 002F Offs: "));
            EXPECT_THAT(e.what(), testing::EndsWith("\r" + c.inner));
        }
        // No cells: the sheet list is not rebuilt by a failed read.
        EXPECT_EQ(document.SheetCount(), 0);
    }
}

// A 54-byte FILEPASS right after a 16-byte globals BOF: the error names record 1 and the
// offset after the FILEPASS data.
TEST(BiffEncryption, ReportsTheWorkedExample) {
    BiffBuilder s;
    s.Bof(0x0005).Record(0x002F, test::FilePassRecord(u"not a default")).Eof();
    ASSERT_EQ(s.Data().size(), 20u + 58u + 4u);
    EXPECT_EQ(LoadError(test::WrapWorkbook(s.Data())), std::string("Error on reading record # 1, 002F Offs: 0000004E\r") + kPasswordMissing);
}

TEST(BiffEncryption, TakesAPasswordGivenByTheCaller) {
    const auto filePass = test::FilePassRecord(u"user password", Rc4Form::CryptoApi128);
    const auto file = test::WrapWorkbook(test::EncryptWorkbookStream(Workbook(&filePass), u"user password", Rc4Form::CryptoApi128));
    {
        TWbManager workbook;
        TXLSStream stream;
        stream.OpenWorkbookBytes(file);
        TBiffReadOptions options;
        options.Password = u"user password";
        const TBiffReadResult result = ReadBiffWorkbook(workbook, stream, options);
        EXPECT_EQ(result.UsedPassword, u"");
        EXPECT_EQ(workbook.Worksheets().Count(), 2);
    }
    {
        TWbManager workbook;
        TXLSStream stream;
        stream.OpenWorkbookBytes(file);
        TBiffReadOptions options;
        options.Password = u"guess";
        try {
            ReadBiffWorkbook(workbook, stream, options);
            ADD_FAILURE() << "read";
        } catch (const std::exception& e) {
            EXPECT_THAT(e.what(), testing::EndsWith("\rE1004: File is encrypted, password is wrong."));
        }
    }
}

} // namespace
} // namespace tessaly
