// The shared string table across SST and CONTINUE records.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BiffWriter.h"
#include "LoadSupport.h"

namespace tessaly {
namespace {

using test::BiffBuilder;
using test::BookBuilder;
using test::Bytes;
using test::Load;
using test::LoadError;

struct SstCase {
    const char* what;
    std::vector<std::vector<uint8_t>> records;   // the SST data, then each CONTINUE's data
    std::vector<std::u16string> strings;
};

std::vector<uint8_t> BookWithSst(const std::vector<std::vector<uint8_t>>& records, size_t references) {
    BookBuilder book;
    book.AfterSheetList().Record(0x00FC, records[0]);
    for (size_t i = 1; i < records.size(); ++i) book.AfterSheetList().Record(0x003C, records[i]);
    book.AfterSheetList().Record(0x00FF, Bytes().U16(8).Fill(8));
    BiffBuilder& sheet = book.Sheet(u"S");
    for (size_t i = 0; i < references; ++i) sheet.LabelSst(static_cast<uint16_t>(i), 0, static_cast<uint32_t>(i));
    sheet.Number(0, 1, 1);
    return book.File();
}

TEST(BiffSst, ReadsStringsSplitAcrossContinueRecords) {
    const std::u16string chinese = u"一二三四五六七八九十壹贰叁肆伍陆柒捌玖拾";
    auto head = [](unsigned unique) { return Bytes().U32(unique).U32(unique); };
    const SstCase cases[] = {
        {"no strings", {head(0).Data()}, {}},
        {"16-bit across two CONTINUEs",
         {head(1).U16(20).U8(1).Chars16(chinese.substr(0, 7)).Data(), Bytes().U8(1).Chars16(chinese.substr(7, 7)).Data(),
          Bytes().U8(1).Chars16(chinese.substr(14)).Data()},
         {chinese}},
        {"16-bit continued as 8-bit",
         {head(1).U16(6).U8(1).Chars16(u"ab").Data(), Bytes().U8(0).Raw("cd\xE9" "f").Data()}, {u"abcd\u00E9f"}},
        {"8-bit continued as 16-bit",
         {head(1).U16(5).U8(0).Raw("ab").Data(), Bytes().U8(1).Chars16(u"中文字").Data()}, {u"ab中文字"}},
        {"string ending at the record end",
         {head(2).U16(3).U8(0).Raw("one").Data(), Bytes().U16(3).U8(1).Chars16(u"二二二").Data()},
         {u"one", u"二二二"}},
        {"fixed fields ending at the record end",
         {head(2).U16(1).U8(0).Raw("a").U16(3).U8(0).Data(), Bytes().U8(0).Raw("xyz").Data()}, {u"a", u"xyz"}},
        {"count split from its option byte",
         {head(1).U8(3).Data(), Bytes().U8(0).U8(0).Raw("xyz").Data()}, {u"xyz"}},
        {"counts split",
         {Bytes().U32(2).U16(2).Data(), Bytes().U16(0).U16(1).U8(0).Raw("p").U16(1).U8(0).Raw("q").Data()},
         {u"p", u"q"}},
        {"rich runs split",
         {head(2).U16(4).U8(0x08).U16(2).Raw("abcd").U16(0).U16(0).Data(), Bytes().U16(2).U16(1).U16(1).U8(0).Raw("e").Data()},
         {u"abcd", u"e"}},
        {"extension data split",
         {head(2).U16(2).U8(0x04).U32(6).Raw("hi").Fill(3, 0xEE).Data(), Bytes().Fill(3, 0xEE).U16(1).U8(0).Raw("j").Data()},
         {u"hi", u"j"}},
        {"runs and extension data in a 16-bit string",
         {head(1).U16(2).U8(0x0D).U16(1).U32(2).Chars16(u"中文").U16(1).U16(0).U16(0x4242).Data()}, {u"中文"}},
        {"bytes left after the last string",
         {head(1).U16(2).U8(0).Raw("ok").Fill(5, 0x3C).Data()}, {u"ok"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto document = Load(BookWithSst(c.records, c.strings.size()));
        TXLSWorksheet& sheet = document->SheetAt(0);
        const TWbDataSST& sst = document->Manager().SST();
        ASSERT_EQ(sst.Count(), static_cast<int32_t>(c.strings.size()));
        for (size_t i = 0; i < c.strings.size(); ++i) {
            EXPECT_EQ(sheet.CellText(0, static_cast<int>(i)), c.strings[i]);
            EXPECT_EQ(sst.StringAt(static_cast<int32_t>(i)), c.strings[i]);
        }
        EXPECT_EQ(sheet.CellNumber(1, 0), 1);   // the records after the SST are read in step
    }
}

TEST(BiffSst, KeepsTheFormattingRunsOfRichStrings) {
    BookBuilder book;
    // Fonts 0..3, then 5: the file has no font 4.
    for (int i = 0; i < 5; ++i)
        book.Globals().Record(0x0031, Bytes().U16(200 + 20 * i).U16(0).U16(0x7FFF).U16(400).U16(0).U8(0).U8(0).U8(0).U8(0).Str8(u"F"));
    book.AfterSheetList().Record(0x00FC, Bytes().U32(1).U32(1).U16(4).U8(0x08).U16(2).Raw("abcd").U16(0).U16(1).Data());
    book.AfterSheetList().Record(0x003C, Bytes().U16(2).U16(5).Data());
    book.Sheet(u"S").LabelSst(0, 0, 0);
    const auto document = Load(book.File());
    const TWbDataSST& sst = document->Manager().SST();
    ASSERT_TRUE(sst.IsRich(0));
    const auto runs = sst.Runs(0);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].Pos, 0u);
    EXPECT_EQ(runs[1].Pos, 2u);
    const TWbDataStyleSheet& styles = document->Manager().StyleSheet();
    EXPECT_EQ(styles.FontAt(static_cast<int32_t>(runs[0].Font)).Size, 11);   // file font 1: 220 twips
    EXPECT_EQ(styles.FontAt(static_cast<int32_t>(runs[1].Font)).Size, 14);   // file font 5, the fifth record
    EXPECT_EQ(document->SheetAt(0).CellText(0, 0), u"abcd");
}

TEST(BiffSst, EndsTheReadWithItsMessages) {
    auto head = [](unsigned unique) { return Bytes().U32(unique).U32(unique); };
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> records;
        const char* inner;
    };
    const Case cases[] = {
        {"characters past the last record", {head(1).U16(5).U8(0).Raw("ab").Data()}, "CONTINUE record is missing in SST"},
        {"more strings than records", {head(3).U16(1).U8(0).Raw("a").Data()}, "CONTINUE record is missing in SST"},
        {"unknown option byte", {head(1).U16(1).U8(0x02).Raw("a").Data()}, "STT: Unhandled string type in Read (02)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = LoadError(BookWithSst(c.records, 0));
        EXPECT_THAT(message, testing::StartsWith("Error on reading record # "));
        EXPECT_THAT(message, testing::HasSubstr(", 00FC Offs: "));
        EXPECT_THAT(message, testing::EndsWith(std::string("\r") + c.inner));
    }
}

} // namespace
} // namespace tessaly
