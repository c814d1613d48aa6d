// The memory of the cell store's rows: spaces cut in order from chunks, the last one growing in
// place, and chunks given back once nothing in them is used.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "workbook/XLSCellArena.h"
#include "workbook/XLSCellBlocks.h"

namespace tessaly::cellcode {
namespace {

TEST(CellArena, OnlyTheSpaceCutLastGrowsInPlace) {
    CellArena arena;
    uint8_t* first = arena.Allocate(100);
    ASSERT_TRUE(arena.GrowInPlace(first, 100, 1000));
    uint8_t* second = arena.Allocate(10);
    EXPECT_EQ(arena.RoomAfter(first, 1000), 0u);
    EXPECT_FALSE(arena.GrowInPlace(first, 1000, 1001));
    EXPECT_GE(second, first + 1000);
    EXPECT_GT(arena.RoomAfter(second, 10), 0u);
    // Space beyond a chunk's room: the grow fails and nothing changes.
    EXPECT_FALSE(arena.GrowInPlace(second, 10, arena.RoomAfter(second, 10) + 11));
    EXPECT_EQ(arena.LiveBytes(), 1000u + 16u);
    arena.Free(first, 1000);
    arena.Free(second, 10);
    EXPECT_EQ(arena.LiveBytes(), 0u);
}

TEST(CellArena, ChunksWhoseSpacesAreAllGivenUpGoBack) {
    CellArena arena;
    std::vector<uint8_t*> spaces;
    for (int i = 0; i < 3000; ++i) spaces.push_back(arena.Allocate(4000));   // several chunks
    const size_t held = arena.HeldBytes();
    EXPECT_GE(held, 3000u * 4000u);
    // Every other space given up keeps every chunk; all of them leaves at most the chunk that
    // spaces are being cut from.
    for (size_t i = 0; i < spaces.size(); i += 2) arena.Free(spaces[i], 4000);
    EXPECT_EQ(arena.HeldBytes(), held);
    for (size_t i = 1; i < spaces.size(); i += 2) arena.Free(spaces[i], 4000);
    EXPECT_EQ(arena.LiveBytes(), 0u);
    EXPECT_LT(arena.HeldBytes(), held / 2);
}

TEST(CellArena, BuffersKeepTheirBytesWhereverTheyGrow) {
    CellArena arena;
    ByteBuffer a(&arena), b(&arena);
    std::vector<uint8_t> expectA, expectB;
    for (int i = 0; i < 200000; ++i) {
        // Two buffers growing by turns: each grow of the one not cut last moves it.
        ByteBuffer& buffer = i % 3 ? a : b;
        std::vector<uint8_t>& expect = i % 3 ? expectA : expectB;
        const auto byte = static_cast<uint8_t>(i * 7);
        buffer.append(&byte, 1);
        expect.push_back(byte);
    }
    ASSERT_EQ(std::vector<uint8_t>(a.data(), a.data() + a.size()), expectA);
    ASSERT_EQ(std::vector<uint8_t>(b.data(), b.data() + b.size()), expectB);
    a.shrink_to_fit();
    b.resize(10);
    b.shrink_to_fit();
    EXPECT_EQ(std::vector<uint8_t>(b.data(), b.data() + b.size()),
              std::vector<uint8_t>(expectB.begin(), expectB.begin() + 10));
    // Garbage left by the moves stays within a small multiple of what is held.
    EXPECT_LT(arena.HeldBytes(), 4 * (expectA.size() + expectB.size()) + (size_t{8} << 20));
}

} // namespace
} // namespace tessaly::cellcode
