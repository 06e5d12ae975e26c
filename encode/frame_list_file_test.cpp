#include "encode/frame_list_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "framestore/frame_store_index.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "movie/frame_store_movie.h"

namespace veltro {
namespace {

std::string contents(const std::string& path) {
    std::string text;
    EXPECT_TRUE(readWholeFile(path, 1 << 20, text));
    return text;
}

// The header line of a saved list.
std::string headerOf(const std::string& path) {
    const std::string text = contents(path);
    return text.substr(0, text.find('\n'));
}

TEST(FrameListFileTest, HeaderSizeFollowsTheReadersShrinking) {
    EXPECT_EQ(frameListSize(320, 240), std::make_pair(320, 240));
    EXPECT_EQ(frameListSize(720, 10), std::make_pair(720, 10));
    EXPECT_EQ(frameListSize(721, 10), std::make_pair(360, 5));
    EXPECT_EQ(frameListSize(1600, 1200), std::make_pair(533, 400));
    EXPECT_EQ(frameListSize(8000, 6000), std::make_pair(888, 666));
}

TEST(FrameListFileTest, SavedHeaderComesFromTheFirstPicture) {
    registerStandardImageFormats();
    testing::TempDir dir;
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.file("big.jpg"), ImageBuffer(1600, 1200)));
    ASSERT_TRUE(jpeg.save(dir.file("small.jpg"), ImageBuffer(320, 240)));
    ASSERT_TRUE(saveFrameList(dir.file("a.txt"), {dir.file("big.jpg"), dir.file("small.jpg")}));
    EXPECT_EQ(headerOf(dir.file("a.txt")), "533 400 2 2");
    ASSERT_TRUE(saveFrameList(dir.file("b.txt"), {dir.file("small.jpg"), dir.file("big.jpg")}));
    EXPECT_EQ(headerOf(dir.file("b.txt")), "320 240 2 2");
}

TEST(FrameListFileTest, ThreePicturesWithSpacesRoundTripThroughReaderAndReopening) {
    registerStandardImageFormats();
    testing::TempDir dir;
    std::filesystem::create_directory(dir.file("my photos"));
    PngFormat png;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(dir.file("my photos/shot " + std::to_string(i) + " .png"));
        ImageBuffer image(320, 240);
        std::fill(image.pixels.begin(), image.pixels.end(), 0xFF000000u | uint32_t(i * 100));
        ASSERT_TRUE(png.save(paths.back(), image));
    }
    const std::string list = dir.file("vn0.txt");
    ASSERT_TRUE(saveFrameList(list, paths));
    EXPECT_EQ(contents(list), "320 240 3 3\nN 0 " + paths[0] + "\nN 1 " + paths[1] + "\nN 2 " + paths[2] + "\n-\n");

    // The dialog gets every path back whole, trailing blank included.
    EXPECT_EQ(loadFrameListPaths(list), paths);

    // The frame store reader plays it: frame i is picture i.
    FrameStoreMovieReader reader;
    ASSERT_TRUE(reader.open(list));
    ASSERT_EQ(reader.frameCount, 3);
    for (int i = 0; i < 3; ++i) {
        const ImageBuffer* frame = reader.frameAt(i);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->at(5, 5) & 0xFFFFFFu, uint32_t(i * 100));
    }
}

TEST(FrameListFileTest, ReopensListsWrittenBefore) {
    testing::TempDir dir;
    // A list as earlier versions wrote it, with carriage returns from an editor
    // and a stray line; and one whose entries are relative names.
    {
        std::ofstream out(dir.file("old.txt"), std::ios::binary);
        out << "320 240 3 3\r\nN 0 /pics/a.png\r\nN   1   /pics/b c.png\nX 2 /not/this.png\nN 2 d.png\n-\n";
    }
    EXPECT_EQ(loadFrameListPaths(dir.file("old.txt")),
              (std::vector<std::string>{"/pics/a.png", "/pics/b c.png", "d.png"}));
    EXPECT_TRUE(loadFrameListPaths(dir.file("missing.txt")).empty());
}

TEST(FrameListFileTest, EntryPathsAreAbsoluteAndRefuseLineBreaks) {
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(frameListEntryPath("a b.png"), here + "/a b.png");
    EXPECT_EQ(frameListEntryPath("/x/./y/../z.png"), "/x/z.png");
    EXPECT_EQ(frameListEntryPath("/x/a\nb.png"), "");
    EXPECT_EQ(frameListEntryPath("/x/a\rb.png"), "");
    EXPECT_EQ(frameListEntryPath(""), "");
    EXPECT_EQ(frameListEntryPath("/" + std::string(kMaxIndexLineLength, 'a') + ".png"), "");
}

TEST(FrameListFileTest, FailedSaveWritesNothingAndKeepsAnEarlierList) {
    registerStandardImageFormats();
    testing::TempDir dir;
    PngFormat png;
    ASSERT_TRUE(png.save(dir.file("ok.png"), ImageBuffer(40, 30)));
    const std::string list = dir.file("vn1.txt");
    std::string error;

    EXPECT_FALSE(saveFrameList(list, {dir.file("missing.png"), dir.file("ok.png")}, &error));
    EXPECT_NE(error.find("missing.png"), std::string::npos);
    EXPECT_FALSE(fileExists(list));

    ASSERT_TRUE(saveFrameList(list, {dir.file("ok.png")}));
    const std::string saved = contents(list);
    EXPECT_FALSE(saveFrameList(list, {dir.file("missing.png")}, &error));
    EXPECT_FALSE(saveFrameList(list, {dir.file("ok.png"), dir.file("bad\nname.png")}, &error));
    EXPECT_NE(error.find("cannot be kept"), std::string::npos);
    EXPECT_EQ(contents(list), saved);

    EXPECT_FALSE(saveFrameList(dir.file("no/such/dir/vn2.txt"), {dir.file("ok.png")}, &error));
    EXPECT_NE(error.find("could not be created"), std::string::npos);
    EXPECT_FALSE(saveFrameList(dir.file("vn3.txt"), {}, &error));
    EXPECT_FALSE(fileExists(dir.file("vn3.txt")));
    // Nothing but the saved list is left in the folder (no temporary files).
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 2);
}

}  // namespace
}  // namespace veltro
