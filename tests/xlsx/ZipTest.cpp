#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "ZipBuilder.h"
#include "core/Exception.h"
#include "core/Stream.h"
#include "xlsx/XLSZip.h"
#include "xlsx/ZipEntryReaders.h"

namespace tessaly {
namespace {

using test::ZipBuilder;
using test::ZipBuildOptions;
using test::ZipEntryOptions;

std::string ReadAll(TStream& stream, size_t piece = 1000) {
    std::string out;
    std::string buffer(piece, '\0');
    for (;;) {
        const size_t n = stream.Read(buffer.data(), buffer.size());
        if (n == 0) break;
        out.append(buffer.data(), n);
    }
    return out;
}

std::string Pattern(size_t n) {
    std::string s;
    s.reserve(n);
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245 + 12345;
        s.push_back(static_cast<char>('a' + (x >> 16) % 7));
    }
    return s;
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

struct Opened {
    TMemoryStream stream;
    TXLSZipArchive archive;
    explicit Opened(std::vector<uint8_t> bytes) : stream(std::move(bytes)) { archive.OpenRead(stream); }
    std::string Entry(const std::string& name) {
        auto entry = archive.OpenEntry(name);
        return ReadAll(*entry);
    }
};

TEST(ZipArchive, EntriesOfEveryWriterVariantReadBack) {
    const std::string big = Pattern(200000);
    struct Case {
        const char* what;
        ZipEntryOptions entry;
        ZipBuildOptions build;
    } cases[] = {
        {"deflated", {}, {}},
        {"stored", {.deflate = false}, {}},
        {"data descriptor, deflated", {.descriptor = true}, {}},
        {"data descriptor, stored", {.deflate = false, .descriptor = true}, {}},
        {"ZIP64 extra fields", {.zip64 = true}, {}},
        {"ZIP64 end records", {}, {.zip64EndRecords = true}},
        {"no central directory: scanned", {}, {.centralDirectory = false}},
        {"no central directory, data descriptors: scanned", {.descriptor = true}, {.centralDirectory = false}},
        {"stored with descriptors, scanned", {.deflate = false, .descriptor = true}, {.centralDirectory = false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZipBuilder zip;
        zip.Add("[Content_Types].xml", "<Types/>", c.entry).Add("xl/big.bin", big, c.entry).Add("empty", "", c.entry);
        Opened opened(zip.Build(c.build));
        EXPECT_EQ(opened.archive.Rebuilt(), !c.build.centralDirectory);
        ASSERT_EQ(opened.archive.EntryCount(), 3);
        EXPECT_EQ(opened.archive.Entry(1).UncompressedSize(), big.size());
        EXPECT_EQ(opened.Entry("[Content_Types].xml"), "<Types/>");
        EXPECT_EQ(opened.Entry("xl/big.bin"), big);
        EXPECT_EQ(opened.Entry("empty"), "");
    }
}

TEST(ZipArchive, EndRecordIsFoundInItsWindowsOrTheArchiveIsScanned) {
    struct Case {
        size_t padding;   // bytes of entry data, to set the file size
        size_t comment;
        bool rebuilt;
    } cases[] = {
        {10, 0, false},
        {10, 200, false},        // first window
        {2000, 300, false},      // second window
        {10, 300, true},         // file shorter than the second window: scanned
        {100000, 5000, false},   // third window
        {2000, 5000, true},      // file shorter than the third window: scanned
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "padding " << c.padding << ", comment " << c.comment);
        ZipBuilder zip;
        zip.Add("a.txt", "alpha", {.deflate = false}).Add("pad", Pattern(c.padding), {.deflate = false});
        // A comment holding a 'P' and a broken signature must not confuse the search.
        std::string comment(c.comment, 'P');
        if (c.comment > 8) comment.replace(3, 4, "PK\x05x");
        Opened opened(zip.Build({.comment = comment}));
        EXPECT_EQ(opened.archive.Rebuilt(), c.rebuilt);
        EXPECT_EQ(opened.archive.EntryCount(), 2);
        EXPECT_EQ(opened.Entry("a.txt"), "alpha");
    }
}

TEST(ZipArchive, TinyAndForeignFiles) {
    // A 21-byte file has no end record; a file that starts with a local header is scanned.
    std::vector<uint8_t> tiny = {'P', 'K', 3, 4};
    tiny.resize(21);
    TMemoryStream tinyStream(tiny);
    TXLSZipArchive archive;
    archive.OpenRead(tinyStream);
    EXPECT_EQ(archive.EntryCount(), 0);

    std::vector<uint8_t> text(100, 'x');
    TMemoryStream textStream(text);
    archive.OpenRead(textStream);
    EXPECT_EQ(archive.EntryCount(), 0);
    EXPECT_FALSE(archive.Rebuilt());
}

TEST(ZipArchive, NamesMatchIgnoringAsciiCaseOnly) {
    ZipBuilder zip;
    zip.Add("XL/Workbook.xml", "first", {.deflate = false})
        .Add("xl/workbook.xml", "second", {.deflate = false})
        .Add("\xC3\x84rger.xml", "umlaut", {.deflate = false})
        .Add("xl\\worksheets\\sheet1.xml", "backslashes", {.deflate = false});
    Opened opened(zip.Build());
    EXPECT_EQ(opened.archive.IndexOfEntry("xl/workbook.xml"), 0);   // the first of two equal names
    EXPECT_EQ(opened.archive.IndexOfEntry("XL/WORKBOOK.XML"), 0);
    EXPECT_EQ(opened.archive.IndexOfEntry("\xC3\xA4rger.xml"), -1);  // non-ASCII case differs
    EXPECT_EQ(opened.archive.IndexOfEntry("\xC3\x84RGER.XML"), 2);
    EXPECT_EQ(opened.archive.IndexOfEntry("/xl/workbook.xml"), -1);  // no leading "/" removed
    EXPECT_EQ(opened.Entry("xl/worksheets/sheet1.xml"), "backslashes");
    EXPECT_EQ(ErrorOf([&] { opened.archive.OpenEntry("missing.xml"); }), "Can not find file missing.xml in ZIP");
}

TEST(ZipArchive, EntryReadsStopAtTheirSize) {
    const std::string data = Pattern(5000);
    ZipBuilder zip;
    zip.Add("stored", data, {.deflate = false})
        .Add("deflated", data)
        .Add("claims less", data, {.claimedSize = 100})   // inflates past its recorded size
        .Add("claims more", data, {.claimedSize = 6000});
    Opened opened(zip.Build());
    EXPECT_EQ(ReadAll(*opened.archive.OpenEntry("stored"), 100000), data);
    EXPECT_EQ(ReadAll(*opened.archive.OpenEntry("deflated"), 100000), data);
    // An entry that inflates past its recorded size stops there; either way a size that is not
    // the real one shows as damage.
    auto claimsLess = opened.archive.OpenEntry("claims less");
    std::string buffer(10000, '\0');
    EXPECT_EQ(ErrorOf([&] { claimsLess->Read(buffer.data(), buffer.size()); }),
              "ZIP entry \"claims less\" is damaged: its CRC-32 does not match");
    EXPECT_EQ(ErrorOf([&] { opened.Entry("claims more"); }),
              "ZIP entry \"claims more\" is damaged: it holds 5000 bytes instead of 6000");
}

TEST(ZipArchive, DamagedArchivesFailWithTheirMessages) {
    const std::string data = Pattern(3000);
    auto open = [](std::vector<uint8_t> bytes) {
        TMemoryStream stream(std::move(bytes));
        TXLSZipArchive archive;
        archive.OpenRead(stream);
    };
    auto readEntry = [](std::vector<uint8_t> bytes, const char* name) {
        TMemoryStream stream(std::move(bytes));
        TXLSZipArchive archive;
        archive.OpenRead(stream);
        ReadAll(*archive.OpenEntry(name));
    };
    EXPECT_EQ(ErrorOf([&] { open(ZipBuilder().Add("a", data).Build({.directoryOffsetDelta = 7})); }),
              "File is not a valid ZIP file");
    EXPECT_EQ(ErrorOf([&] { open(ZipBuilder().Add("a", data).Build({.directoryOffsetDelta = 1 << 20})); }),
              "File is not a valid ZIP file");

    // A central record that points at something that is not a local header.
    auto bytes = ZipBuilder().Add("a", data).Build();
    bytes[0] = 'X';
    EXPECT_EQ(ErrorOf([&] { open(bytes); }), "Unknown zip file");

    EXPECT_EQ(ErrorOf([&] { readEntry(ZipBuilder().Add("a", data, {.method = 12}).Build(), "a"); }),
              "ZIP file is not open");

    // Corrupt deflate data, and deflate data cut short.
    bytes = ZipBuilder().Add("a", data).Build();
    for (size_t i = 40; i < 60; ++i) bytes[i] = 0xFF;
    EXPECT_EQ(ErrorOf([&] { readEntry(bytes, "a"); }), "ZLib decompress error");
    {
        const std::string payload = test::Deflate(data);
        const std::string cut = payload.substr(0, payload.size() / 2);
        ZipBuilder stored;
        // Record the half deflate stream as a deflated entry by storing it with method 8.
        stored.Add("a", cut, {.deflate = false, .claimedSize = 3000, .method = 8});
        EXPECT_EQ(ErrorOf([&] { readEntry(stored.Build(), "a"); }), "ZLib decompress error");
    }

    // Two directory records for the same data: a small file would inflate many times over.
    EXPECT_EQ(ErrorOf([&] { open(ZipBuilder().Add("a", data).Add("b", data, {.centralOffset = 0}).Build()); }),
              "ZIP entries \"a\" and \"a\" overlap");

    // A size no deflate stream of that length can produce.
    EXPECT_THAT(ErrorOf([&] {
                    readEntry(ZipBuilder().Add("bomb", data, {.zip64 = true, .claimedSize = int64_t{1} << 40}).Build(),
                              "bomb");
                }),
                testing::StartsWith("ZIP entry \"bomb\" claims 1099511627776 bytes from "));

    // Data that inflates without a zlib error but is not what was written.
    bytes = ZipBuilder().Add("a", data, {.deflate = false}).Build();
    bytes[40] ^= 1;
    EXPECT_EQ(ErrorOf([&] { readEntry(bytes, "a"); }), "ZIP entry \"a\" is damaged: its CRC-32 does not match");
}

TEST(ZipArchive, DosTimesConvert) {
    EXPECT_EQ(DosDateTimeToUnix(0x58210000), 1704067200);   // 2024-01-01 00:00:00
    EXPECT_EQ(DosDateTimeToUnix((uint32_t{0x21} << 16) | 0x0000), 315532800);   // 1980-01-01
}

} // namespace
} // namespace tessaly
