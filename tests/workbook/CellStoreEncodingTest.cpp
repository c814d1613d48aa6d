// The byte encoding of the cell store, byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/Exception.h"
#include "workbook/WbDataSST.h"
#include "workbook/WbDataStyleSheet.h"
#include "workbook/XLSCellStore.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

// The row head: ColCount, LastRunOffset and the preset row record (height 300).
Bytes Head(uint16_t colCount, uint32_t lastRunOffset) {
    return {static_cast<uint8_t>(colCount), static_cast<uint8_t>(colCount >> 8),
            static_cast<uint8_t>(lastRunOffset), static_cast<uint8_t>(lastRunOffset >> 8), 0, 0,
            0x00, 0x00, 0x00, 0x00, 0x2C, 0x01};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes F64(double value) {
    Bytes bytes(8);
    std::memcpy(bytes.data(), &value, 8);   // the store is little-endian, as is every host we build for
    return bytes;
}

class CellStoreEncodingTest : public ::testing::Test {
protected:
    CellStoreEncodingTest() {
        for (int i = 0; i < 8; ++i) styles.AddXF(TWbXF());
    }
    TWbDataStyleSheet styles;
    TWbDataSST sst{styles};
    TXLSCellStore store{sst, styles};
};

TEST_F(CellStoreEncodingTest, NumbersArePackedByTheirValue) {
    struct Case {
        double value;
        uint8_t base;
        Bytes payload;
    };
    const Case cases[] = {
        {5, 2, {0x05}},
        {-128, 2, {0x80}},
        {300, 3, {0x2C, 0x01}},
        {-32768, 3, {0x00, 0x80}},
        {70000, 4, {0x70, 0x11, 0x01, 0x00}},
        {2147483647, 4, {0xFF, 0xFF, 0xFF, 0x7F}},
        {-2147483646, 4, {0x02, 0x00, 0x00, 0x80}},
        {-2147483647, 8, {0x00, 0x00, 0xC0, 0xFF, 0xFF, 0xFF, 0xDF, 0xC1}},
        {1.25, 5, {0x7D, 0x00, 0x00, 0x00}},
        {0.13, 5, {0x0D, 0x00, 0x00, 0x00}},
        {-19.99, 5, {0x31, 0xF8, 0xFF, 0xFF}},
        {1.2345, 6, {0x39, 0x30, 0x00, 0x00}},
        {1.23456, 8, {0x38, 0x32, 0x8F, 0xFC, 0xC1, 0xC0, 0xF3, 0x3F}},
        {1e300, 8, {0x9C, 0x75, 0x00, 0x88, 0x3C, 0xE4, 0x37, 0x7E}},
        // Within the rounding tolerance of a decimal, but not that decimal: kept as they are.
        {3.0000000000001, 8, F64(3.0000000000001)},
        {-0.1000000000003638, 8, F64(-0.1000000000003638)},
        {5e-13, 8, F64(5e-13)},
        {-0.5, 5, {0xCE, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(TXLSCellStore::PackNumberBase(c.value), c.base);
        store.StoreNumber(0, 0, c.value, 0);
        EXPECT_EQ(store.RowVectorBytes(0), Cat({Head(1, 12), {0x01, c.base}, c.payload}));
        TXLSCellRef ref;
        ASSERT_TRUE(store.LocateCell(0, 0, ref));
        EXPECT_EQ(store.ReadNumber(ref), c.value);
    }
    for (double special : {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                           1e-9, 4294967296.0, 12345678.9})
        EXPECT_EQ(TXLSCellStore::PackNumberBase(special), 8) << special;
}

// The packing rule written out literally, with floor and round, to hold the store's own
// arithmetic against.
uint8_t LiteralPackBase(double value) {
    if (std::isfinite(value) && value == std::floor(value)) {
        if (value >= -128 && value <= 127) return 2;
        if (value >= -32768 && value <= 32767) return 3;
        if (value >= -2147483646.0 && value <= 2147483647.0) return 4;
        return 8;
    }
    const double a = value * 10000.0;
    const double n = std::round(a);
    if (n - a > -1e-8 && n - a < 1e-8 && n >= INT32_MIN && n <= INT32_MAX) {
        const auto ni = static_cast<int32_t>(n);
        // Only a decimal that reads back as the value itself is packed.
        if (ni % 10000 != 0 && ni % 100 == 0 && (ni / 100) / 100.0 == value) return 5;
        if (ni % 100 != 0 && ni / 10000.0 == value) return 6;
    }
    return 8;
}

TEST_F(CellStoreEncodingTest, PackingFollowsTheRuleAtEveryEdge) {
    std::vector<double> values = {0.0, -0.0, 0.29, 1.15, 2.675, -2.5, -0.00005, 0.00005, 0.00015,
                                  4.35, 1e-9, 5e-5, 214748.3647, 214748.3648, -214748.3648,
                                  -214748.3649, 214748.36475, 123456.78, 99999.9999, 2147483647.5,
                                  -2147483648.0, -2147483648.5, -2147483649.0, 2147483648.0,
                                  4.9e-324, -1e-300, 1.7976931348623157e308};
    for (double edge : {127.0, -128.0, 32767.0, -32768.0, 2147483647.0, -2147483646.0, 214748.3647,
                        -214748.3648, 0.0001, 0.005})
        for (double v : {edge, -edge}) {
            values.push_back(v);
            values.push_back(std::nextafter(v, 1e300));
            values.push_back(std::nextafter(v, -1e300));
            values.push_back(v + 1);
            values.push_back(v - 1);
        }
    std::mt19937_64 random(11);
    for (int i = 0; i < 200000; ++i) {
        const auto k = static_cast<int64_t>(random() % 4000000000ull) - 2000000000;
        const double scales[] = {1, 10, 100, 1000, 10000, 100000, 3, 7};
        values.push_back(static_cast<double>(k) / scales[i % 8]);
        // Values a hair beside hundredths and ten-thousandths, and arbitrary bit patterns.
        values.push_back(std::nextafter(static_cast<double>(k % 1000000) / 100, (i & 1) ? 1e300 : -1e300));
        uint64_t bits = random();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        values.push_back(any);
    }
    for (double v : values) {
        const uint8_t base = TXLSCellStore::PackNumberBase(v);
        ASSERT_EQ(base, LiteralPackBase(v)) << std::hexfloat << v;
        if (std::isnan(v)) continue;
        store.StoreNumber(0, 0, v, 3);
        TXLSCellRef ref;
        ASSERT_TRUE(store.LocateCell(0, 0, ref));
        ASSERT_EQ(ref.Tag, base | 0x40);
        // Every number comes back as it was stored (-0 as 0).
        ASSERT_EQ(store.ReadNumber(ref), v) << std::hexfloat << v;
    }
}

TEST_F(CellStoreEncodingTest, AGapIsWrittenInStepsOf127AndSplitByACellInside) {
    store.StoreNumber(0, 0, 1, 0);
    store.StoreNumber(300, 0, 2, 0);
    // 299 empty columns: two full gap bytes and 0x80 + 45.
    EXPECT_EQ(store.RowVectorBytes(0),
              Cat({Head(301, 18), {0x01, 0x02, 0x01}, {0xFF, 0xFF, 0xAD}, {0x01, 0x02, 0x02}}));

    store.StoreNumber(150, 0, 3, 0);
    EXPECT_EQ(store.RowVectorBytes(0), Cat({Head(301, 22), {0x01, 0x02, 0x01}, {0xFF, 0x96},
                                            {0x01, 0x02, 0x03}, {0xFF, 0x96}, {0x01, 0x02, 0x02}}));
    // Exactly 127 empty columns are one 0xFF byte.
    store.StoreNumber(150 + 128, 1, 4, 0);
    store.StoreNumber(150, 1, 5, 0);
    EXPECT_EQ(store.RowVectorBytes(1), Cat({Head(279, 18), {0xFF, 0x97}, {0x01, 0x02, 0x05}, {0xFF}, {0x01, 0x02, 0x04}}));
}

TEST_F(CellStoreEncodingTest, NeighboursOfOneTagShareRunsOfAtMost127) {
    // Stored out of order: 2, 0, then 1 joins both into one run.
    store.StoreNumber(2, 0, 12, 0);
    store.StoreNumber(0, 0, 10, 0);
    EXPECT_EQ(store.RowVectorBytes(0), Cat({Head(3, 16), {0x01, 0x02, 10}, {0x81}, {0x01, 0x02, 12}}));
    store.StoreNumber(1, 0, 11, 0);
    EXPECT_EQ(store.RowVectorBytes(0), Cat({Head(3, 12), {0x03, 0x02, 10, 11, 12}}));

    // A different tag in the middle splits the run again, a style makes another tag.
    store.StoreNumber(1, 0, 1000, 0);
    EXPECT_EQ(store.RowVectorBytes(0),
              Cat({Head(3, 19), {0x01, 0x02, 10}, {0x01, 0x03, 0xE8, 0x03}, {0x01, 0x02, 12}}));
    store.StoreNumber(1, 0, 11, 3);
    EXPECT_EQ(store.RowVectorBytes(0),
              Cat({Head(3, 20), {0x01, 0x02, 10}, {0x01, 0x42, 0x03, 0x00, 11}, {0x01, 0x02, 12}}));

    // 130 neighbours: a full run of 127 and one of 3, whatever the order of storing.
    for (int col = 0; col < 130; ++col) store.StoreBoolean(col, 1, col % 2, 0);
    for (int col = 129; col >= 0; --col) store.StoreBoolean(col, 2, col % 2, 0);
    const Bytes row1 = store.RowVectorBytes(1);
    ASSERT_EQ(row1.size(), 12u + 2 + 127 + 2 + 3);
    EXPECT_EQ(row1[12], 127);
    EXPECT_EQ(row1[13], 11);
    EXPECT_EQ(row1[12 + 2 + 127], 3);
    EXPECT_EQ(row1[2], 12 + 2 + 127);   // LastRunOffset
    EXPECT_EQ(store.RowVectorBytes(2), row1);
}

TEST_F(CellStoreEncodingTest, EachKindOfConstantCellHasItsTagAndPayload) {
    const int32_t hello = sst.AppendString(u"hello");
    for (int i = 1; i < 70000; ++i) sst.AppendString(u"x");
    store.StoreBlank(0, 0, 0);
    store.StoreBlank(1, 0, 7);
    store.StoreBoolean(2, 0, 5, 0);    // any non-zero value is true
    store.StoreError(3, 0, 7, 2);
    store.StoreSharedString(4, 0, static_cast<uint32_t>(hello), 0);
    store.StoreSharedString(5, 0, 69999, 1);
    EXPECT_EQ(store.RowVectorBytes(0),
              Cat({Head(6, 30), {0x02, 0x41, 0x00, 0x00, 0x07, 0x00}, {0x01, 0x0B, 0x01},
                   {0x01, 0x4C, 0x02, 0x00, 0x07}, {0x01, 0x09, 0x00, 0x00},
                   {0x01, 0x4A, 0x01, 0x00, 0x6F, 0x11, 0x01, 0x00}}));
}

TEST_F(CellStoreEncodingTest, FormulaEntriesCarryResultBodyRangeAndTable) {
    TXLSFormulaHelper& f = store.FormulaHelper();
    f.Col = 1;
    f.SetFormulaText(u"A1+1");
    f.SetNumberResult(2.5);
    store.StoreFormula();
    EXPECT_EQ(store.RowVectorBytes(0),
              Cat({Head(2, 13), {0x81}, {0x01, 0x94, 0x10, 0x00},
                   {0x00, 0, 0, 0, 0, 0, 0, 0x04, 0x40, 0x04, 0x00, 0x01, 'A', '1', '+', '1'}}));
    EXPECT_EQ(f.ResultKind(), TXLSFormulaResult::None);   // the helper is cleared

    // A member of a shared-formula block, styled, with a boolean result.
    f.Row = 1;
    f.Style = 3;
    f.FormulaType = 4;
    f.Master = {0, 5};
    f.SetBooleanResult(true);
    store.StoreFormula();
    EXPECT_EQ(store.RowVectorBytes(1),
              Cat({Head(1, 12), {0x01, 0xD6, 0x0E, 0x00},
                   {0x04, 0x03, 0x00, 0x01, 0x07, 0x00, 0xFF, 0xB9, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00}}));

    // A text formula with a text result, heading an array range.
    f.Row = 2;
    f.FormulaType = 1;
    f.SetFormulaText(u"\u4E2D");
    f.SetTextResult(u"ab");
    f.HasRange = true;
    f.Range = {0, 2, 1, 3};
    store.StoreFormula();
    EXPECT_EQ(store.RowVectorBytes(2),
              Cat({Head(1, 12), {0x01, 0x95, 0x18, 0x00},
                   {0x41, 0x02, 0x00, 'a', 0x00, 'b', 0x00, 0x01, 0x00, 0x00, 0x2D, 0x4E},
                   {0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00}}));

    // A data table with an error result: the table body and the table record.
    f.Row = 3;
    f.FormulaType = 2;
    f.TableFlags = 0x0C;
    f.Input1 = {2, 7};
    f.Input2 = {3, 8};
    f.HasTable = true;
    f.SetErrorResult(7);
    store.StoreFormula();
    EXPECT_EQ(store.RowVectorBytes(3),
              Cat({Head(1, 12), {0x01, 0x97, 0x20, 0x00}, {0x82, 0x07},
                   {0x0E, 0x00, 0xFF, 0xBA, 0x0C, 0x02, 0x00, 0x07, 0x00, 0x00, 0x00, 0x03, 0x00, 0x08, 0x00, 0x00, 0x00},
                   {0x0C, 0x02, 0x00, 0x07, 0x00, 0x00, 0x00, 0x03, 0x00, 0x08, 0x00, 0x00, 0x00}}));
}

TEST_F(CellStoreEncodingTest, StoringTwiceKeepsOneCellTheLast) {
    store.StoreNumber(3, 0, 1, 0);
    store.StoreText(3, 0, u"abc", 0);
    EXPECT_EQ(store.RowVectorBytes(0), Cat({Head(4, 13), {0x83}, {0x01, 0x09, 0x00, 0x00}}));
    TXLSCellRef ref;
    ASSERT_TRUE(store.LocateCell(3, 0, ref));
    EXPECT_EQ(store.ReadText(ref), u"abc");

    // A formula replaced by a constant and back.
    store.FormulaHelper().Col = 3;
    store.FormulaHelper().SetCompiled(std::vector<uint8_t>{0x1E, 0x01, 0x00});
    store.FormulaHelper().SetNumberResult(1);
    store.StoreFormula();
    store.StoreNumber(3, 0, 9, 0);
    EXPECT_EQ(store.RowVectorBytes(0), Cat({Head(4, 13), {0x83}, {0x01, 0x02, 0x09}}));
}

TEST_F(CellStoreEncodingTest, RowRecordsAreKeptInTheHead) {
    TXLSRowRecord record;
    record.Options = 0x02;
    record.Style = 5;
    record.OutlineLevel = 1;
    record.Height = 315;
    store.StoreRowRecord(5, record);
    EXPECT_EQ(store.RowVectorBytes(5), (Bytes{0, 0, 12, 0, 0, 0, 0x02, 0x05, 0x00, 0x01, 0x3B, 0x01}));
    // Cells keep the record; a later record replaces it whole.
    store.StoreNumber(0, 5, 1, 0);
    record = TXLSRowRecord();
    record.Height = -1;
    store.StoreRowRecord(5, record);
    EXPECT_EQ(store.RowVectorBytes(5), (Bytes{1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x01, 0x02, 0x01}));
    TXLSRowRecord read;
    ASSERT_TRUE(store.ReadRowRecord(5, read));
    EXPECT_EQ(read.Height, -1);
    EXPECT_FALSE(store.ReadRowRecord(6, read));
}

} // namespace
} // namespace tessaly
