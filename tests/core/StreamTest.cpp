#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/Exception.h"
#include "core/Stream.h"

using namespace tessaly;

TEST(Stream, MemoryStreamReadsSeeksAndStopsAtTheEnd) {
    TMemoryStream s(std::vector<uint8_t>{1, 2, 3, 4, 5});
    uint8_t buf[8] = {};
    EXPECT_EQ(s.Read(buf, 2), 2u);
    EXPECT_EQ(s.Seek(-1, SeekOrigin::End), 4);
    EXPECT_EQ(s.Read(buf, 8), 1u);
    EXPECT_EQ(buf[0], 5);
    EXPECT_EQ(s.Read(buf, 8), 0u);
    EXPECT_EQ(s.Seek(-100, SeekOrigin::Current), 0);
    EXPECT_THROW(s.ReadBuffer(buf, 6), Exception);
}

TEST(Stream, FileStreamReadsAndReportsMissingFiles) {
    test::TempDir dir;
    test::WriteText(dir.File("a.bin"), "hello");
    TFileStream f(dir.File("a.bin"));
    EXPECT_EQ(f.Size(), 5);
    char buf[8] = {};
    f.Seek(1, SeekOrigin::Begin);
    EXPECT_EQ(f.Read(buf, 8), 4u);
    EXPECT_STREQ(buf, "ello");
    try {
        TFileStream missing(dir.File("none.xlsx"));
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos);
    }
}
