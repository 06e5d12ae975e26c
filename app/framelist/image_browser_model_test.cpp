// The thumbnail browser without a window: what a folder lists, the grid
// geometry, the selection rules, the thumbnails and the worker that builds
// them.
#include "app/framelist/image_browser_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/framelist/thumbnail_loader.h"
#include "image/image_format.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"

namespace veltro {
namespace {

using testing::TempDir;

std::string twoDigits(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

class ImageBrowserModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerStandardImageFormats();
        PngFormat png;
        for (int i = 0; i < 23; ++i)
            ASSERT_TRUE(png.save(dir.file("p" + twoDigits(22 - i) + ".png"), ImageBuffer(8, 6)));
        std::filesystem::create_directory(dir.file("zeta"));
        std::filesystem::create_directory(dir.file("alpha"));
        std::filesystem::create_directory(dir.file(".hidden"));
        testing::writeBytes(dir.file("notes.txt"), {'x'});
    }
    TempDir dir;
};

TEST_F(ImageBrowserModelTest, ListsTheWayUpThenFoldersThenPicturesByName) {
    ImageBrowserModel model(true);
    ASSERT_TRUE(model.list(dir.path() + "/alpha/.."));
    EXPECT_EQ(model.directory(), dir.path());
    ASSERT_EQ(model.count(), 26);  // "..", two folders, 23 pictures
    EXPECT_EQ(model.items()[0].name, "..");
    EXPECT_EQ(model.items()[1].name, "alpha");
    EXPECT_EQ(model.items()[2].name, "zeta");
    EXPECT_TRUE(model.items()[2].isDirectory);
    EXPECT_EQ(model.firstPicture(), 3);
    EXPECT_EQ(model.items()[3].name, "p00.png");
    EXPECT_EQ(model.items()[25].name, "p22.png");
    EXPECT_FALSE(model.items()[3].isDirectory);
    EXPECT_EQ(model.pathOf(0), std::filesystem::path(dir.path()).parent_path().string());
    EXPECT_EQ(model.pathOf(1), dir.file("alpha"));
    ASSERT_EQ(model.picturePaths().size(), 23u);
    EXPECT_EQ(model.picturePaths()[0], dir.file("p00.png"));
    // 26 items fill 6 rows, of which 4 show: the first row goes from 0 to 2.
    EXPECT_EQ(model.sliderMaximum(), 2);

    ImageBrowserModel empty(false);
    ASSERT_TRUE(empty.list(dir.file("zeta")));
    EXPECT_EQ(empty.count(), 1);
    EXPECT_EQ(empty.sliderMaximum(), 0);
    EXPECT_FALSE(empty.list(dir.file("missing")));
    EXPECT_EQ(empty.directory(), dir.file("zeta"));
}

TEST_F(ImageBrowserModelTest, CellsFollowTheFirstVisibleRow) {
    ImageBrowserModel model(true);
    ASSERT_TRUE(model.list(dir.path()));
    EXPECT_EQ(model.itemAt(0, 35), 0);
    EXPECT_EQ(model.itemAt(499, 134), 4);
    EXPECT_EQ(model.itemAt(250, 240), 12);
    EXPECT_EQ(model.itemAt(250, 34), -1);
    EXPECT_EQ(model.itemAt(500, 100), -1);
    EXPECT_EQ(model.itemAt(50, 435), -1);
    model.setFirstRow(7);
    EXPECT_EQ(model.firstRow(), 2);
    EXPECT_EQ(model.itemAt(0, 35), 10);
    EXPECT_EQ(model.itemAt(0, 335), 25);
    EXPECT_EQ(model.itemAt(100, 335), -1);  // past the last item
    EXPECT_FALSE(model.isVisible(9));
    EXPECT_TRUE(model.isVisible(25));
    model.setFirstRow(-3);
    EXPECT_EQ(model.firstRow(), 0);
    EXPECT_FALSE(model.isVisible(20));
}

std::vector<int> selected(const ImageBrowserModel& model) {
    std::vector<int> indexes;
    for (int i = 0; i < model.count(); ++i)
        if (model.items()[static_cast<size_t>(i)].selected)
            indexes.push_back(i);
    return indexes;
}

TEST_F(ImageBrowserModelTest, ClicksSelectTogglesAndExtend) {
    ImageBrowserModel model(true);
    ASSERT_TRUE(model.list(dir.path()));
    model.click(8, 0);
    EXPECT_EQ(selected(model), (std::vector<int>{8}));
    model.click(5, kBrowserShift);  // backwards from the first selected
    EXPECT_EQ(selected(model), (std::vector<int>{5, 6, 7, 8}));
    model.click(7, kBrowserControl);
    EXPECT_EQ(selected(model), (std::vector<int>{5, 6, 8}));
    model.click(10, kBrowserShift);  // forwards from 5, keeping nothing outside
    EXPECT_EQ(selected(model), (std::vector<int>{5, 6, 7, 8, 9, 10}));
    model.click(12, kBrowserControl);
    model.click(4, 0);
    EXPECT_EQ(selected(model), (std::vector<int>{4}));
    model.click(99, 0);  // outside: nothing changes
    EXPECT_EQ(selected(model), (std::vector<int>{4}));

    ImageBrowserModel single(false);
    ASSERT_TRUE(single.list(dir.path()));
    single.click(4, 0);
    single.click(6, kBrowserControl);
    EXPECT_EQ(selected(single), (std::vector<int>{6}));
    single.click(9, kBrowserShift);
    EXPECT_EQ(selected(single), (std::vector<int>{9}));
}

TEST_F(ImageBrowserModelTest, ChosenPicturesComeInNameOrderWithoutUnreadableOnesOrFolders) {
    ImageBrowserModel model(true);
    ASSERT_TRUE(model.list(dir.path()));
    EXPECT_EQ(model.firstSelectedDirectory(), -1);
    model.click(9, 0);
    model.click(4, kBrowserControl);
    model.click(2, kBrowserControl);
    EXPECT_EQ(model.firstSelectedDirectory(), 2);
    model.items()[4].built = true;  // p01.png read and found unreadable
    std::vector<std::string> unreadable;
    EXPECT_EQ(model.chosenPaths(&unreadable), (std::vector<std::string>{dir.file("p06.png")}));
    EXPECT_EQ(unreadable, (std::vector<std::string>{"p01.png"}));
}

TEST(BrowserThumbnail, SizesKeepTheShapeInsideEightyBySixty) {
    int w = 0, h = 0;
    browserThumbnailSize(640, 480, &w, &h);
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 60);
    browserThumbnailSize(480, 640, &w, &h);
    EXPECT_EQ(w, 45);
    EXPECT_EQ(h, 60);
    browserThumbnailSize(4000, 10, &w, &h);
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 1);
    browserThumbnailSize(1, 10000, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 60);
}

TEST(BrowserThumbnail, JpegPngAndDamagedFiles) {
    registerStandardImageFormats();
    TempDir dir;
    ImageBuffer picture(1200, 900);
    for (int y = 0; y < 900; ++y)
        for (int x = 0; x < 1200; ++x)
            picture.at(x, y) = y < 450 ? 0xFF00C000u : 0xFF0000C0u;
    ASSERT_TRUE(JpegFormat().save(dir.file("a.jpg"), picture));
    ASSERT_TRUE(PngFormat().save(dir.file("b.png"), ImageBuffer(480, 640)));
    ASSERT_TRUE(testing::writeBytes(dir.file("c.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J'}));

    Thumbnail jpeg = makeThumbnail(dir.file("a.jpg"));
    ASSERT_TRUE(jpeg.image);
    EXPECT_EQ(jpeg.pictureWidth, 1200);
    EXPECT_EQ(jpeg.pictureHeight, 900);
    EXPECT_EQ(jpeg.image->width, 80);
    EXPECT_EQ(jpeg.image->height, 60);
    EXPECT_GT((jpeg.image->at(40, 10) >> 8) & 0xFF, 150u);  // green above
    EXPECT_GT(jpeg.image->at(40, 50) & 0xFF, 150u);         // blue below

    Thumbnail png = makeThumbnail(dir.file("b.png"));
    ASSERT_TRUE(png.image);
    EXPECT_EQ(png.image->width, 45);
    EXPECT_EQ(png.pictureHeight, 640);

    Thumbnail damaged = makeThumbnail(dir.file("c.jpg"));
    EXPECT_FALSE(damaged.image);
    EXPECT_EQ(damaged.pictureWidth, 1);
    EXPECT_EQ(damaged.pictureHeight, 1);
}

class ThumbnailLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerStandardImageFormats();
        for (int i = 0; i < 40; ++i) {
            paths.push_back(dir.file("f" + twoDigits(i) + ".jpg"));
            ASSERT_TRUE(JpegFormat().save(paths.back(), ImageBuffer(400 + i, 300)));
        }
    }
    TempDir dir;
    std::vector<std::string> paths;
};

TEST_F(ThumbnailLoaderTest, BuildsEveryFileOnceWithItsIndex) {
    ThumbnailLoader loader(2);
    loader.start(paths);
    loader.waitIdle();
    EXPECT_FALSE(loader.busy());
    EXPECT_EQ(loader.builtCount(), 40);
    std::vector<ThumbnailLoader::Finished> done = loader.takeFinished();
    ASSERT_EQ(done.size(), 40u);
    std::sort(done.begin(), done.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(done[static_cast<size_t>(i)].index, i);
        EXPECT_EQ(done[static_cast<size_t>(i)].thumbnail.pictureWidth, 400 + i);
    }
    EXPECT_TRUE(loader.takeFinished().empty());
    // A new start forgets the old files.
    loader.start({paths[3]});
    loader.waitIdle();
    done = loader.takeFinished();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].thumbnail.pictureWidth, 403);
}

TEST_F(ThumbnailLoaderTest, PreferredFilesComeBeforeTheRest) {
    ThumbnailLoader loader(1);
    loader.start(paths);
    loader.prefer(30, 5);
    loader.waitIdle();
    std::vector<ThumbnailLoader::Finished> done = loader.takeFinished();
    ASSERT_EQ(done.size(), 40u);
    auto position = [&](int index) {
        return std::find_if(done.begin(), done.end(), [&](const auto& f) { return f.index == index; }) - done.begin();
    };
    // The one worker may have taken a file or two before the request came.
    for (int preferred = 30; preferred < 35; ++preferred)
        EXPECT_LT(position(preferred), position(10)) << preferred;
    EXPECT_LT(position(30), position(31));
}

TEST_F(ThumbnailLoaderTest, StopKeepsWhatWasBuilt) {
    ThumbnailLoader loader(1);
    loader.start(paths);
    while (loader.builtCount() < 3)
        std::this_thread::yield();
    loader.stop();
    loader.waitIdle();
    EXPECT_FALSE(loader.busy());
    const int built = loader.builtCount();
    EXPECT_GE(built, 3);
    EXPECT_LT(built, 40);
    std::vector<ThumbnailLoader::Finished> done = loader.takeFinished();
    EXPECT_EQ(static_cast<int>(done.size()), built);
    for (const auto& f : done)
        EXPECT_TRUE(f.thumbnail.image);
    // Nothing more arrives after the stop.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(loader.builtCount(), built);
}

}  // namespace
}  // namespace veltro
