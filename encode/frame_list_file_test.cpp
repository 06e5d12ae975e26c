#include "encode/frame_list_file.h"

#include <gtest/gtest.h>

#include "framestore/frame_store_index.h"
#include "image/image_test_support.h"
#include "image/png_format.h"

namespace veltro {
namespace {

std::string contents(const std::string& path) {
    std::string text;
    EXPECT_TRUE(readWholeFile(path, 1 << 20, text));
    return text;
}

TEST(FrameListFileTest, HeaderSizeFollowsTheReadersShrinking) {
    EXPECT_EQ(frameListSize(320, 240), std::make_pair(320, 240));
    EXPECT_EQ(frameListSize(720, 10), std::make_pair(720, 10));
    EXPECT_EQ(frameListSize(1600, 1200), std::make_pair(533, 400));
    EXPECT_EQ(frameListSize(8000, 6000), std::make_pair(888, 666));
}

TEST(FrameListFileTest, SavesHeaderLinesAndClosingLine) {
    registerStandardImageFormats();
    testing::TempDir dir;
    PngFormat png;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(dir.file("img " + std::to_string(i) + ".png"));
        ASSERT_TRUE(png.save(paths.back(), ImageBuffer(320, 240)));
    }
    const std::string list = dir.file("vn0.txt");
    ASSERT_TRUE(saveFrameList(list, paths));
    EXPECT_EQ(contents(list), "320 240 3 3\nN 0 " + paths[0] + "\nN 1 " + paths[1] + "\nN 2 " + paths[2] + "\n-\n");

    FrameStoreIndex index;
    ASSERT_TRUE(readFrameStoreIndex(list, index));
    EXPECT_FALSE(index.escaped);
    EXPECT_EQ(index.positions, 3);
    ASSERT_EQ(index.entries.size(), 3u);
    EXPECT_EQ(index.entries[2].name, paths[2]);  // the reader keeps spaces

    // Reopening for the list dialog keeps each path up to its first space.
    const std::vector<std::string> reopened = loadFrameListPaths(list);
    ASSERT_EQ(reopened.size(), 3u);
    EXPECT_EQ(reopened[0], dir.file("img"));
}

TEST(FrameListFileTest, UnreadableFirstImageLeavesOnlyTheClosingLine) {
    registerStandardImageFormats();
    testing::TempDir dir;
    const std::string list = dir.file("vn1.txt");
    EXPECT_FALSE(saveFrameList(list, {dir.file("missing.png")}));
    EXPECT_EQ(contents(list), "-\n");
    FrameStoreIndex index;
    EXPECT_FALSE(parseFrameStoreIndex(contents(list), index));
    EXPECT_FALSE(saveFrameList(dir.file("no/such/dir/vn2.txt"), {dir.file("missing.png")}));
    EXPECT_FALSE(saveFrameList(dir.file("vn3.txt"), {}));
}

}  // namespace
}  // namespace veltro
