#include "publish/album.h"

#include <gtest/gtest.h>

#include <sys/time.h>

#include <filesystem>
#include <fstream>

namespace veltro {
namespace {

namespace fs = std::filesystem;

class AlbumTest : public ::testing::Test {
protected:
    void SetUp() override {
        album = fs::temp_directory_path() / ("veltro_album_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(album);
        fs::create_directories(album);
    }
    void TearDown() override { fs::remove_all(album); }

    // A page directory whose viewer data file was written at the given time.
    void makePage(const std::string& name, time_t written, suseconds_t micro = 0) {
        fs::create_directories(album / name);
        std::string data = (album / name / "veltro.txt").string();
        std::ofstream(data) << "NCRF";
        struct timeval times[2] = {{written, micro}, {written, micro}};
        ::utimes(data.c_str(), times);
    }

    fs::path album;
};

TEST_F(AlbumTest, ListsOnlyPagesNewestFirst) {
    makePage("new0", 1000);
    makePage("new1", 3000);
    makePage("new2", 2000);
    fs::create_directories(album / "notapage");
    fs::create_directories(album / "trash");
    makePage(".hidden", 5000);
    auto pages = listAlbumPages(album.string());
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].name, "new1");
    EXPECT_EQ(pages[1].name, "new2");
    EXPECT_EQ(pages[2].name, "new0");
    EXPECT_EQ(pages[0].directory, (album / "new1").string());
    EXPECT_TRUE(listAlbumPages((album / "missing").string()).empty());
}

TEST_F(AlbumTest, PagesWrittenInOneSecondStillListNewestFirst) {
    makePage("new0", 1000, 100);
    makePage("new1", 1000, 200);
    makePage("new2", 1000, 300);
    auto pages = listAlbumPages(album.string());
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].name, "new2");
    EXPECT_EQ(pages[2].name, "new0");
}

TEST_F(AlbumTest, DeletedPagesGoToTrashAndFreeTheirName) {
    makePage("new0", 1000);
    makePage("new1", 1000);
    EXPECT_EQ(newPageDirectory(album.string()), (album / "new2").string());
    auto moved = movePageToTrash(album.string(), (album / "new1").string());
    ASSERT_TRUE(moved);
    EXPECT_EQ(*moved, (album / "trash" / "del0").string());
    EXPECT_TRUE(fs::exists(album / "trash" / "del0" / "veltro.txt"));
    EXPECT_EQ(newPageDirectory(album.string()), (album / "new1").string());
    EXPECT_EQ(listAlbumPages(album.string()).size(), 1u) << "trash is not a page";

    auto second = movePageToTrash(album.string(), (album / "new0").string());
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, (album / "trash" / "del1").string());
    EXPECT_FALSE(movePageToTrash(album.string(), (album / "gone").string()));
}

TEST_F(AlbumTest, ArchiveSizeIsReportedOnlyWhenTheArchiveExists) {
    makePage("new0", 1000);
    AlbumPage page = listAlbumPages(album.string()).at(0);
    EXPECT_FALSE(pageArchiveSize(page));
    std::ofstream(album / "new0" / "new0.zip", std::ios::binary) << std::string(2047, 'z');
    ASSERT_TRUE(pageArchiveSize(page));
    EXPECT_EQ(*pageArchiveSize(page) / 1024, 1);
}

}  // namespace
}  // namespace veltro
