// The page-template thumbnails: byte order of the names, the size rule,
// what is skipped and what is kept without a picture.
#include "app/base/app_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/base/app_test_support.h"
#include "image/file_utils.h"
#include "image/image_format.h"

namespace veltro {
namespace {

void writePicture(const std::string& path, int width, int height) {
    ImageBuffer image(width, height);
    ASSERT_TRUE(findImageFormat(path)->save(path, image)) << path;
}

TEST(ThumbnailSize, KeepsTheAspectInsideSeventyPixels) {
    int w = 0, h = 0;
    thumbnailSize(140, 70, &w, &h);
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 35);
    thumbnailSize(70, 140, &w, &h);
    EXPECT_EQ(w, 35);
    EXPECT_EQ(h, 70);
    thumbnailSize(100, 100, &w, &h);
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 70);
    thumbnailSize(320, 240, &w, &h);
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 52);
    thumbnailSize(0, 10, &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST(TemplateThumbnails, ListsPicturesInByteOrderAndKeepsBrokenOnesWithoutAPicture) {
    registerStandardImageFormats();
    testing::ScratchDir dir;
    writePicture(dir.path + "/b.png", 140, 70);
    writePicture(dir.path + "/B.jpg", 70, 140);
    writePicture(dir.path + "/a.png", 100, 100);
    std::ofstream(dir.path + "/broken.png") << "not a picture";
    std::ofstream(dir.path + "/notes.txt") << "skipped";
    writePicture(dir.path + "/old.gif.png", 10, 10);
    std::filesystem::create_directory(dir.path + "/folder.png");

    std::vector<TemplateThumbnail> list = loadTemplateThumbnails(dir.path);
    std::vector<std::string> names;
    for (const TemplateThumbnail& entry : list)
        names.push_back(fileName(entry.path));
    EXPECT_EQ(names, (std::vector<std::string>{"B.jpg", "a.png", "b.png", "broken.png", "old.gif.png"}));
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].path, dir.path + "/B.jpg");
    ASSERT_TRUE(list[0].thumbnail);
    EXPECT_EQ(list[0].thumbnail->width, 35);
    EXPECT_EQ(list[0].thumbnail->height, 70);
    ASSERT_TRUE(list[1].thumbnail);
    EXPECT_EQ(list[1].thumbnail->width, 70);
    EXPECT_EQ(list[1].thumbnail->height, 70);
    ASSERT_TRUE(list[2].thumbnail);
    EXPECT_EQ(list[2].thumbnail->width, 70);
    EXPECT_EQ(list[2].thumbnail->height, 35);
    EXPECT_FALSE(list[3].thumbnail);
}

TEST(TemplateThumbnails, AMissingFolderGivesAnEmptyList) {
    EXPECT_TRUE(loadTemplateThumbnails("/nonexistent/veltro/template").empty());
    EXPECT_TRUE(loadTemplateThumbnails("").empty());
}

}  // namespace
}  // namespace veltro
