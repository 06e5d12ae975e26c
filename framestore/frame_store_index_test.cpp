#include "framestore/frame_store_index.h"

#include <gtest/gtest.h>

#include "framestore/ncrf_escaping.h"

namespace veltro {
namespace {

TEST(FrameStoreIndexTest, ReadsEscapedStoresWithTheirBlockList) {
    BlockNumberList list;
    for (int v : {4, 3, 0, 2, 1, 2, 1, 7, 1, 9})
        list.push(v);
    std::string text = "16 16 9 3\nS 0 vs0.jpg\nD 4 vd1.jpg\nd 8\nC\n";
    list.encode(text);
    FrameStoreIndex index;
    std::string error;
    ASSERT_TRUE(parseFrameStoreIndex(ncrfEscape(text), index, &error)) << error;
    EXPECT_TRUE(index.escaped);
    EXPECT_EQ(index.width, 16);
    EXPECT_EQ(index.positions, 9);
    ASSERT_EQ(index.entries.size(), 3u);
    EXPECT_EQ(index.entries[1].kind, EntryKind::DifferenceSheet);
    EXPECT_EQ(index.entries[1].position, 4);
    EXPECT_EQ(index.entries[1].name, "vd1.jpg");
    EXPECT_EQ(index.entries[2].kind, EntryKind::Difference);
    EXPECT_TRUE(index.entries[2].name.empty());
    EXPECT_TRUE(index.hasBlockList);
    EXPECT_EQ(index.blocks.values(), list.values());
}

TEST(FrameStoreIndexTest, PlainFrameListsWithWindowsLineEnds) {
    FrameStoreIndex index;
    ASSERT_TRUE(parseFrameStoreIndex("2 2 2 2\r\nN 0 /pics/a b.png\r\nN 1 c.png\r\n-\r\n", index));
    EXPECT_FALSE(index.escaped);
    ASSERT_EQ(index.entries.size(), 2u);
    EXPECT_EQ(index.entries[0].name, "/pics/a b.png");  // runs to the line end
    EXPECT_EQ(index.entries[1].name, "c.png");
    EXPECT_FALSE(index.hasBlockList);
}

TEST(FrameStoreIndexTest, LongLinesAreSeenInPieces) {
    // A name longer than a line piece leaves its tail as the next "line",
    // which then is not a valid entry.
    const std::string name(3000, 'x');
    FrameStoreIndex index;
    std::string error;
    EXPECT_FALSE(parseFrameStoreIndex("8 8 2 2\nN 0 " + name + "\nN 1 a.png\n", index, &error));
    ASSERT_TRUE(parseFrameStoreIndex("8 8 1 1\nN 0 " + name + "\n", index));
    EXPECT_EQ(index.entries[0].name.size(), kMaxIndexLineLength - 4);
}

TEST(FrameStoreIndexTest, BlockListsLongerThanTheEntriesCanUseAreRejected) {
    // One sorted key of an 8 x 8 frame takes two numbers: the count and one block.
    BlockNumberList fits, tooLong;
    for (int v : {1, 0})
        fits.push(v);
    for (int v : {1, 0, 0})
        tooLong.push(v);
    std::string good = "8 8 1 1\nS 0 s.jpg\nC\n", bad = good;
    fits.encode(good);
    tooLong.encode(bad);
    FrameStoreIndex index;
    EXPECT_TRUE(parseFrameStoreIndex(good, index));
    std::string error;
    EXPECT_FALSE(parseFrameStoreIndex(bad, index, &error));
    EXPECT_EQ(error, "malformed block-number list");
    // Without entries that take numbers, even one number is too many.
    std::string none = "8 8 1 1\nN 0 n.jpg\nC\n";
    fits.encode(none);
    EXPECT_FALSE(parseFrameStoreIndex(none, index));
}

TEST(FrameStoreIndexTest, HeaderAndEntryErrorsSayWhy) {
    FrameStoreIndex index;
    std::string error;
    EXPECT_FALSE(parseFrameStoreIndex("", index, &error));
    EXPECT_EQ(error, "missing header line");
    EXPECT_FALSE(parseFrameStoreIndex("NCRF", index, &error));
    EXPECT_FALSE(parseFrameStoreIndex("1 2 3\n", index, &error));
    EXPECT_EQ(error, "header does not hold four numbers");
    EXPECT_FALSE(parseFrameStoreIndex("1 2 3 4\nN 0 a.png\n", index, &error));
    EXPECT_EQ(error, "entry line 1 missing");
    EXPECT_FALSE(parseFrameStoreIndex("1 2 3 1\n\n", index, &error));
    EXPECT_EQ(error, "entry line 0 has no known kind");
    EXPECT_FALSE(parseFrameStoreIndex("1 2 3 1\nS 0\n", index, &error));
    EXPECT_EQ(error, "entry line 0 has no file name");
    EXPECT_FALSE(parseFrameStoreIndex("1 2 3 1\nd 99999999999\n", index, &error));
    EXPECT_EQ(error, "entry line 0 has no position");
    EXPECT_FALSE(parseFrameStoreIndex("320 240 2147483647 1\nN 0 a.jpg\n", index, &error));
    EXPECT_EQ(error, "frame count out of range");
    EXPECT_TRUE(parseFrameStoreIndex("320 240 100000 1\nN 0 a.jpg\n", index, &error)) << error;
}

}  // namespace
}  // namespace veltro
