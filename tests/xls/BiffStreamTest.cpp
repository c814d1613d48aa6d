// The workbook stream: opening, record access, seeking, continued reads and decryption.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BiffWriter.h"
#include "TempDir.h"
#include "core/Exception.h"
#include "core/Stream.h"
#include "xls/BiffStream.h"

namespace tessaly {
namespace {

using test::BiffBuilder;
using test::Bytes;

struct Record {
    uint16_t Id;
    std::vector<uint8_t> Data;
    bool operator==(const Record&) const = default;
};

// Records of many sizes, so that headers and data cross sector and block boundaries.
std::vector<Record> SampleRecords() {
    std::vector<Record> records;
    records.push_back({0x0809, Bytes().U16(0x600).U16(5).Fill(12).Data()});
    for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> data((i * 37) % 300 + (i == 30 ? 8000 : 0));
        for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(i + k);
        records.push_back({static_cast<uint16_t>(0x0200 + i), data});
    }
    records.push_back({0x000A, {}});
    return records;
}

std::vector<uint8_t> StreamOf(const std::vector<Record>& records) {
    BiffBuilder builder;
    for (const auto& r : records) builder.Record(r.Id, r.Data);
    return builder.Data();
}

std::vector<Record> ReadAll(TXLSStream& stream, bool views) {
    std::vector<Record> records;
    uint16_t id = 0, length = 0;
    while (stream.ReadRecordHeader(id, length) == 4) {
        Record r{id, std::vector<uint8_t>(length)};
        if (views) {
            const uint8_t* data = stream.ViewData(length);
            r.Data.assign(data, data + length);
        } else {
            EXPECT_EQ(stream.ReadData(r.Data.data(), length), length);
        }
        records.push_back(std::move(r));
    }
    return records;
}

TEST(XLSStream, DecidesTheGenerationOfAFile) {
    const auto records = StreamOf({{0x0809, Bytes().U16(0x600).U16(5).Data()}, {0x000A, {}}});
    const auto other = StreamOf({{0x0809, Bytes().U16(0x500).U16(5).Data()}});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        TExcelVersion version;
    };
    const Case cases[] = {
        {"Workbook", test::WrapWorkbook(records), xvExcel97},
        {"Book", test::WriteCompoundFile({{u"Book", other}}).Bytes, xvExcel50},
        {"both", test::WriteCompoundFile({{u"Book", other}, {u"Workbook", records}}).Bytes, xvExcel97},
        {"other streams too", test::WriteCompoundFile({{u"\x05SummaryInformation", other}, {u"Workbook", records}}).Bytes,
         xvExcel97},
        {"BIFF2", {0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00}, xvExcel21},
        {"BIFF3", {0x09, 0x02, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00, 0, 0}, xvExcel30},
        {"BIFF4", {0x09, 0x04, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00, 0, 0}, xvExcel40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TXLSStream stream;
        EXPECT_EQ(stream.OpenWorkbookBytes(c.bytes), c.version);
        EXPECT_EQ(stream.FileVersion(), c.version);
        EXPECT_EQ(stream.IsPlainFile(), c.version < xvExcel50);
        EXPECT_EQ(stream.StreamPosition(), 0);
        if (c.version == xvExcel97) {
            EXPECT_EQ(stream.StreamSize(), static_cast<int64_t>(records.size()));
        }
    }
}

TEST(XLSStream, RefusesFilesThatHoldNoWorkbook) {
    const std::vector<std::vector<uint8_t>> files = {
        test::WriteCompoundFile({{u"WordDocument", std::vector<uint8_t>(100, 1)}}).Bytes,
        {'A', 't', 't', 'a', 'c', 'h', 'm', 'e', 'n', 't'},
        {0x09, 0x08, 0x10, 0x00},   // a BIFF8 BOF outside a compound document
        {0x09},
        {},
    };
    for (const auto& bytes : files) {
        TXLSStream stream;
        try {
            stream.OpenWorkbookBytes(bytes);
            ADD_FAILURE() << "opened";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "The file is not an Excel workbook");
        }
    }
}

TEST(XLSStream, HandsOutRecordsAcrossSectorBoundaries) {
    const auto records = SampleRecords();
    const auto workbook = StreamOf(records);
    for (unsigned shift : {9u, 12u}) {
        for (bool fragment : {false, true}) {
            for (bool views : {false, true}) {
                SCOPED_TRACE(testing::Message() << shift << fragment << views);
                test::CompoundOptions options;
                options.SectorShift = shift;
                options.Fragment = fragment;
                const auto file = test::WrapWorkbook(workbook, options);
                TXLSStream stream;
                stream.OpenWorkbookBytes(file);
                EXPECT_EQ(ReadAll(stream, views), records);
                EXPECT_EQ(stream.StreamPosition(), static_cast<int64_t>(workbook.size()));
                EXPECT_EQ(stream.PeekRecordId(), 0);
            }
        }
    }
}

TEST(XLSStream, PeeksSeeksAndStopsAtTheEnd) {
    const auto records = SampleRecords();
    const auto workbook = StreamOf(records);
    test::CompoundOptions options;
    options.Fragment = true;
    TXLSStream stream;
    const auto file = test::WrapWorkbook(workbook, options);
    stream.OpenWorkbookBytes(file);

    EXPECT_EQ(stream.PeekRecordId(), 0x0809);
    EXPECT_EQ(stream.StreamPosition(), 0);
    uint16_t id = 0, length = 0;
    ASSERT_EQ(stream.ReadRecordHeader(id, length), 4);
    uint8_t bof[16];
    EXPECT_EQ(stream.ReadBofData(bof, length), length);
    EXPECT_EQ(stream.PeekRecordId(), 0x0200);

    // Skip to the long record by seeking over the others.
    size_t at = 4 + records[0].Data.size();
    for (int i = 1; i < 31; ++i) at += 4 + records[i].Data.size();
    EXPECT_EQ(stream.SeekStream(static_cast<int64_t>(at), SeekOrigin::Begin), static_cast<int64_t>(at));
    ASSERT_EQ(stream.ReadRecordHeader(id, length), 4);
    EXPECT_EQ(id, records[31].Id);
    stream.SkipData(length);
    ASSERT_EQ(stream.ReadRecordHeader(id, length), 4);
    EXPECT_EQ(id, records[32].Id);
    EXPECT_EQ(stream.SeekStream(-4, SeekOrigin::Current), static_cast<int64_t>(at + 4 + records[31].Data.size()));

    // The end: a header cut short reads fewer than 4 bytes, and data cannot be viewed past it.
    stream.SeekStream(-2, SeekOrigin::End);
    EXPECT_EQ(stream.PeekRecordId(), 0);
    EXPECT_EQ(stream.ReadRecordHeader(id, length), 2);
    stream.SeekStream(-3, SeekOrigin::End);
    try {
        stream.ViewData(4);
        ADD_FAILURE() << "read past the end";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Unexpected end of the workbook stream");
    }
    EXPECT_EQ(stream.SeekStream(-100, SeekOrigin::Begin), 0);
}

TEST(XLSStream, ReadsDataRunningOnInContinueRecords) {
    std::vector<uint8_t> first(8224), second(8224), third(100);
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<uint8_t>(i * 3);
    for (size_t i = 0; i < third.size(); ++i) third[i] = static_cast<uint8_t>(i * 5);
    BiffBuilder builder;
    builder.Record(0x00EB, first).Record(0x003C, second).Record(0x00EB, third).Record(0x0200, {1, 2});
    TXLSStream stream;
    const auto file = test::WrapWorkbook(builder.Data());
    stream.OpenWorkbookBytes(file);

    uint16_t id = 0, length = 0;
    ASSERT_EQ(stream.ReadRecordHeader(id, length), 4);
    stream.BeginContinuedRead();
    EXPECT_THROW(stream.BeginContinuedRead(), Exception);
    std::vector<uint8_t> all(first.size() + second.size() + third.size());
    EXPECT_EQ(stream.ReadData(all.data(), 5000), 5000u);
    EXPECT_EQ(stream.ReadData(all.data() + 5000, all.size() - 5000), all.size() - 5000);
    std::vector<uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(all, expected);
    stream.EndContinuedRead();
    ASSERT_EQ(stream.ReadRecordHeader(id, length), 4);
    EXPECT_EQ(id, 0x0200);

    // A chain broken by a record that does not continue it.
    BiffBuilder broken;
    broken.Record(0x00EB, first).Record(0x0200, second);
    const auto brokenFile = test::WrapWorkbook(broken.Data());
    stream.OpenWorkbookBytes(brokenFile);
    stream.ReadRecordHeader(id, length);
    stream.BeginContinuedRead();
    try {
        stream.ReadData(all.data(), 9000);
        ADD_FAILURE() << "read on";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "CONTINUE record is missing");
    }
}

TEST(XLSStream, OpensFilesAndStreams) {
    const auto records = SampleRecords();
    const auto file = test::WrapWorkbook(StreamOf(records));
    test::TempDir dir;
    const std::string path = dir.File("book.xls");
    test::WriteBytes(path, file);

    TXLSStream stream;
    EXPECT_EQ(stream.OpenWorkbookFile(path), xvExcel97);
    EXPECT_EQ(ReadAll(stream, true), records);
    stream.CloseWorkbookStream();
    stream.CloseWorkbookStream();   // closing twice is harmless
    EXPECT_THROW(stream.OpenWorkbookFile(dir.File("missing.xls")), EFOpenError);

    // A stream in memory is read in place, a file stream through a copy; both end at offset 0.
    TMemoryStream memory{std::vector<uint8_t>(file)};
    memory.Seek(100, SeekOrigin::Begin);
    EXPECT_EQ(stream.OpenWorkbookStream(memory), xvExcel97);
    EXPECT_EQ(memory.Position(), 0);
    EXPECT_EQ(ReadAll(stream, true), records);
    TFileStream onDisk(path);
    onDisk.Seek(7, SeekOrigin::Begin);
    EXPECT_EQ(stream.OpenWorkbookStream(onDisk), xvExcel97);
    EXPECT_EQ(onDisk.Position(), 0);
    EXPECT_EQ(ReadAll(stream, false), records);
}

// An encrypted stream: BOF, FILEPASS, then records whose data, headers and BOFs straddle the
// 1024-byte blocks of the key.
TEST(XLSStream, DecryptsWithTheKeyOfEachBlock) {
    std::vector<Record> records;
    records.push_back({0x0809, Bytes().U16(0x600).U16(5).Fill(12).Data()});
    records.push_back({0x002F, test::FilePassRecord(u"secret")});
    auto add = [&](uint16_t id, size_t size) {
        ASSERT_LT(size, 0x10000u);
        std::vector<uint8_t> data(size);
        for (size_t k = 0; k < size; ++k) data[k] = static_cast<uint8_t>(k * 11 + id);
        records.push_back({id, data});
    };
    auto end = [&] {
        size_t at = 0;
        for (const auto& r : records) at += 4 + r.Data.size();
        return at;
    };
    add(0x0200, 1000);                 // data 82..1082 crosses 1024
    add(0x0201, 3000);                 // data 1086..4086 crosses 2048 and 3072
    add(0x0202, 4096 - 2 - end() - 4); // the next header lies at 4094..4098
    records.push_back({0x0809, Bytes().U16(0x600).U16(0x10).Fill(12).Data()});
    add(0x0203, 5120 - 8 - end() - 4);
    records.push_back({0x0809, Bytes().U16(0x600).U16(0x10).Fill(12).Data()});   // data 5116..5132
    add(0x0204, 50);
    const auto plain = StreamOf(records);
    const auto encrypted = test::EncryptWorkbookStream(plain, u"secret");
    ASSERT_NE(plain, encrypted);

    for (bool fragment : {false, true}) {
        test::CompoundOptions options;
        options.Fragment = fragment;
        TXLSStream stream;
        const auto file = test::WrapWorkbook(encrypted, options);
        stream.OpenWorkbookBytes(file);
        uint16_t id = 0, length = 0;
        uint8_t bof[16];
        stream.ReadRecordHeader(id, length);
        stream.ReadBofData(bof, length);
        stream.ReadRecordHeader(id, length);
        const uint8_t* filePass = stream.ViewData(length);
        const std::vector<uint8_t> filePassData(filePass, filePass + length);
        EXPECT_FALSE(stream.StartDecryption(filePassData, u"wrong"));
        EXPECT_FALSE(stream.DecryptionActive());
        ASSERT_TRUE(stream.StartDecryption(filePassData, u"secret"));
        EXPECT_TRUE(stream.DecryptionActive());
        for (size_t i = 2; i < records.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(stream.ReadRecordHeader(id, length), 4);
            EXPECT_EQ(id, records[i].Id);
            std::vector<uint8_t> data(length);
            if (id == 0x0809) {
                stream.ReadBofData(data.data(), length);
            } else if (i % 2 == 0) {
                const uint8_t* view = stream.ViewData(length);
                data.assign(view, view + length);
            } else {
                stream.ReadData(data.data(), length);
            }
            EXPECT_EQ(data, records[i].Data);
        }
    }
}

} // namespace
} // namespace tessaly
