// The compound file reader: layouts that real writers produce, and damaged files.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "BiffWriter.h"
#include "core/Exception.h"
#include "xls/CompoundFile.h"

namespace tessaly {
namespace {

using test::CompoundLayout;
using test::CompoundOptions;
using test::WriteCompoundFile;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return data;
}

std::vector<uint8_t> Content(const TCompoundStream& stream) {
    std::vector<uint8_t> out;
    for (const auto& piece : stream.Pieces) out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The FAT entry of a sector, wherever the FAT sector holding it lies.
size_t FatEntryOffset(const CompoundLayout& layout, uint32_t sector) {
    const uint32_t perSector = layout.SectorSize / 4;
    return layout.SectorOffset(layout.FatSectors[sector / perSector]) + 4 * (sector % perSector);
}

TEST(CompoundFile, ReadsStreamsOfEveryLayout) {
    struct Case {
        unsigned shift;
        bool fragment;
        unsigned extraFat;
    };
    const Case cases[] = {
        {9, false, 0}, {9, true, 0}, {12, false, 0}, {12, true, 0},
        {9, false, 300},   // FAT sectors beyond the header's 109: a chain of two DIFAT sectors
        {12, true, 120},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.shift << " fragment " << c.fragment << " extra " << c.extraFat);
        const auto big = Pattern(70000, 1);
        const auto small = Pattern(300, 2);    // in the mini stream
        const auto empty = std::vector<uint8_t>();
        const auto edge = Pattern(4096, 3);    // exactly the cutoff: regular sectors
        CompoundOptions options;
        options.SectorShift = c.shift;
        options.Fragment = c.fragment;
        options.ExtraFatSectors = c.extraFat;
        const auto layout = WriteCompoundFile({{u"Workbook", big}, {u"\x05SummaryInformation", small},
                                               {u"Empty", empty}, {u"Edge", edge}},
                                              options);
        if (c.extraFat == 300) {
            EXPECT_EQ(layout.DifatSectors.size(), 2u);
        }
        TCompoundFile file(layout.Bytes);
        EXPECT_EQ(file.SectorSize(), 1u << c.shift);
        const auto workbook = file.OpenRootStream(u"Workbook");
        ASSERT_TRUE(workbook);
        EXPECT_EQ(workbook->Size, big.size());
        EXPECT_EQ(Content(*workbook), big);
        if (c.fragment) {
            EXPECT_GT(workbook->Pieces.size(), 1u);
        } else {
            EXPECT_EQ(workbook->Pieces.size(), 1u);   // consecutive sectors merge into one piece
        }
        EXPECT_EQ(Content(*file.OpenRootStream(u"\x05SummaryInformation")), small);
        EXPECT_EQ(Content(*file.OpenRootStream(u"Edge")), edge);
        const auto none = file.OpenRootStream(u"Empty");
        ASSERT_TRUE(none);
        EXPECT_EQ(none->Size, 0u);
        EXPECT_FALSE(file.OpenRootStream(u"Book"));
    }
}

TEST(CompoundFile, FindsNamesWithoutRegardToCase) {
    const auto layout = WriteCompoundFile({{u"WORKBOOK", Pattern(5000, 4)}, {u"Book", Pattern(100, 5)}});
    TCompoundFile file(layout.Bytes);
    EXPECT_EQ(file.RootNames(), (std::vector<std::u16string>{u"WORKBOOK", u"Book"}));
    for (const auto* name : {u"Workbook", u"workbook", u"WorkBook"}) {
        const auto stream = file.OpenRootStream(name);
        ASSERT_TRUE(stream);
        EXPECT_EQ(stream->Name, u"WORKBOOK");
    }
    ASSERT_TRUE(file.OpenRootStream(u"BOOK"));
    EXPECT_FALSE(file.OpenRootStream(u"Boo"));
}

TEST(CompoundFile, RefusesDamagedFilesWithAClearMessage) {
    using Damage = std::function<void(CompoundLayout&)>;
    struct Case {
        const char* what;
        CompoundOptions options;
        Damage damage;
        const char* message;
        const char16_t* stream = u"Workbook";
    };
    CompoundOptions fragmented;
    fragmented.Fragment = true;
    CompoundOptions manyFat;
    manyFat.ExtraFatSectors = 300;
    const Case cases[] = {
        {"stream chain loops", fragmented,
         [](CompoundLayout& l) {
             const auto& chain = l.StreamSectors[0];
             Put32(l.Bytes, FatEntryOffset(l, chain[5]), chain[2]);
         },
         "Damaged compound file: the chain of the stream \"Workbook\" loops"},
        {"stream chain points outside", {},
         [](CompoundLayout& l) { Put32(l.Bytes, FatEntryOffset(l, l.StreamSectors[0][3]), 900000); },
         "Damaged compound file: the chain of the stream \"Workbook\" points outside the file"},
        {"size beyond chain", {},
         [](CompoundLayout& l) { Put32(l.Bytes, FatEntryOffset(l, l.StreamSectors[0][3]), 0xFFFFFFFE); },
         "Damaged compound file: the stream \"Workbook\" is longer than its sector chain"},
        {"size beyond file", {},
         [](CompoundLayout& l) { Put32(l.Bytes, l.EntryOffset(1) + 120, 0x7FFFFFFF); },
         "Damaged compound file: the stream \"Workbook\" is larger than the file"},
        {"directory chain loops", {},
         [](CompoundLayout& l) { Put32(l.Bytes, FatEntryOffset(l, l.DirectoryStart), l.DirectoryStart); },
         "Damaged compound file: the chain of the directory loops"},
        {"DIFAT chain loops", manyFat,
         [](CompoundLayout& l) {
             const uint32_t perSector = l.SectorSize / 4;
             Put32(l.Bytes, l.SectorOffset(l.DifatSectors[0]) + 4 * (perSector - 1), l.DifatSectors[0]);
         },
         "Damaged compound file: the DIFAT chain loops"},
        {"FAT sector outside", {}, [](CompoundLayout& l) { Put32(l.Bytes, 76, 12345678); },
         "Damaged compound file: a FAT sector lies outside the file"},
        {"file cut short", {}, [](CompoundLayout& l) { l.Bytes.erase(l.Bytes.end() - 700, l.Bytes.end()); },
         "Damaged compound file: the chain of the stream \"Workbook\" points outside the file"},
        {"last sector cut off", {}, [](CompoundLayout& l) { l.Bytes.erase(l.Bytes.end() - 200, l.Bytes.end()); },
         "Damaged compound file: the stream \"Workbook\" runs past the end of the file"},
        {"sector size", {}, [](CompoundLayout& l) { l.Bytes[30] = 10; },
         "Damaged compound file: unsupported sector size 2^10"},
        {"mini chain loops", {},
         [](CompoundLayout& l) {
             // The small stream's mini FAT: its second mini sector points back to the first.
             const uint32_t miniFatSector = l.Bytes[60] | (l.Bytes[61] << 8);
             Put32(l.Bytes, l.SectorOffset(miniFatSector) + 4, 0);
         },
         "Damaged compound file: the chain of the stream \"Small\" loops", u"Small"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto layout = WriteCompoundFile({{u"Workbook", Pattern(6000, 6)}, {u"Small", Pattern(200, 7)}}, c.options);
        c.damage(layout);
        try {
            TCompoundFile file(layout.Bytes);
            file.OpenRootStream(c.stream);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(CompoundFile, TellsCompoundFilesFromOthers) {
    const auto layout = WriteCompoundFile({{u"Workbook", Pattern(10, 1)}});
    EXPECT_TRUE(TCompoundFile::IsCompoundFile(layout.Bytes));
    const std::vector<uint8_t> bare = {0x09, 0x04, 0x06, 0x00, 0, 0, 0x10, 0};
    EXPECT_FALSE(TCompoundFile::IsCompoundFile(bare));
    EXPECT_FALSE(TCompoundFile::IsCompoundFile({}));
    EXPECT_THROW(TCompoundFile file(bare), Exception);
    // The signature alone, without a whole header.
    const std::vector<uint8_t> cut(layout.Bytes.begin(), layout.Bytes.begin() + 100);
    EXPECT_THROW(TCompoundFile file(cut), Exception);
}

} // namespace
} // namespace tessaly
