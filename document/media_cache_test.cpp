// Media caches and the file search path: lookups, reloads of changed files,
// the "e_cant_open" recovery, moved media and the published-first order.
#include "document/media_cache.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include "document/document_test_support.h"
#include "document/file_search_path.h"

namespace veltro {
namespace {

using testing_support::ScriptedPrompts;
using testing_support::TempDir;

class MediaCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::registerTestFormats();
        testing_support::installTestResources(dir);
        fileSearchPath().clear();
        auto scripted = std::make_unique<ScriptedPrompts>();
        answers = scripted.get();
        previousPrompts = setPrompts(std::move(scripted));
    }
    void TearDown() override { setPrompts(std::move(previousPrompts)); }

    // Moves a file's modification time by seconds.
    static void touch(const std::string& path, int seconds) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        struct timeval times[2] = {{info.st_atime, 0}, {info.st_mtime + seconds, 0}};
        ASSERT_EQ(::utimes(path.c_str(), times), 0);
    }

    TempDir dir;
    ScriptedPrompts* answers = nullptr;
    std::unique_ptr<Prompts> previousPrompts;
};

TEST_F(MediaCacheTest, FindLoadsOnceAndReturnsTheSameEntry) {
    MediaCache cache(MediaKind::Image);
    EXPECT_EQ(cache.find(""), nullptr);
    std::string path = dir.write("red.timg", "2 3 ff0000");
    MediaEntry* entry = cache.find(path);
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(entry->image, nullptr);
    EXPECT_EQ(entry->image->width, 2);
    EXPECT_EQ(entry->image->at(1, 2), 0xFFFF0000u);
    EXPECT_EQ(entry->fileName, path);
    EXPECT_EQ(cache.find(path), entry);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_TRUE(answers->questions.empty());
}

TEST_F(MediaCacheTest, ChangedFilesAreLoadedAgainInPlace) {
    MediaCache cache(MediaKind::Image);
    std::string path = dir.write("pic.timg", "1 1 ff0000");
    MediaEntry* entry = cache.find(path);
    ASSERT_NE(entry, nullptr);
    dir.write("pic.timg", "1 1 00ff00");
    touch(path, 10);
    EXPECT_EQ(cache.find(path), entry);
    EXPECT_EQ(entry->image->at(0, 0), 0xFF00FF00u);

    // A change that cannot be loaded keeps the picture there was.
    dir.write("pic.timg", "broken");
    touch(path, 20);
    EXPECT_EQ(cache.find(path), entry);
    ASSERT_NE(entry->image, nullptr);
    EXPECT_EQ(entry->image->at(0, 0), 0xFF00FF00u);
    // So does a file that disappeared.
    std::remove(path.c_str());
    EXPECT_EQ(cache.find(path), entry);
    EXPECT_NE(entry->image, nullptr);
}

TEST_F(MediaCacheTest, MovedMediaAreFoundInRememberedDirectories) {
    MediaCache cache(MediaKind::Movie);
    std::string first = dir.write("project/a.tmov", "5 4 4");
    std::string moved = dir.write("project/b.tmov", "7 4 4");
    ASSERT_NE(cache.find(first), nullptr);
    // b.tmov is asked for under a directory that does not exist; it is found
    // beside a.tmov.
    MediaEntry* entry = cache.find("/old/place/b.tmov");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->fileName, moved);
    EXPECT_EQ(entry->movie->frameCount, 7);
    EXPECT_EQ(cache.findLoaded("/old/place/b.tmov"), entry);
    EXPECT_EQ(cache.find("/old/place/b.tmov"), entry);
    EXPECT_TRUE(answers->questions.empty());
}

TEST_F(MediaCacheTest, MissingFileCanBeReplacedByAnotherOne) {
    MediaCache cache(MediaKind::Movie);
    std::string other = dir.write("other.tmov", "3 2 2");
    answers->choices = {0, 0};
    answers->files = {dir.path + "/broken.tmov", other};
    dir.write("broken.tmov", "not a movie");
    MediaEntry* entry = cache.find("/gone/clip.tmov");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->fileName, other);
    ASSERT_EQ(answers->questions.size(), 2u);
    EXPECT_EQ(answers->questions[0], "Cannot open /gone/clip.tmov");
    // The second message names the file that was resolved and failed.
    EXPECT_EQ(answers->questions[1], "Cannot open " + dir.path + "/broken.tmov");
    EXPECT_EQ(answers->chooserInitial, (std::vector<std::string>{"/gone/clip.tmov", "/gone/clip.tmov"}));
    EXPECT_EQ(answers->lastFilter, movieFilter());
}

TEST_F(MediaCacheTest, GivingUpYieldsNoneAndAddsNothing) {
    MediaCache cache(MediaKind::Image);
    answers->choices = {-1};  // the box was closed
    EXPECT_EQ(cache.find("/gone/a.timg"), nullptr);
    answers->choices = {0};  // open another, then cancel the chooser
    EXPECT_EQ(cache.find("/gone/b.timg"), nullptr);
    EXPECT_EQ(answers->lastFilter, imageFilter());
    answers->choices = {1};
    EXPECT_EQ(cache.find("/gone/c.timg"), nullptr);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(answers->questions.size(), 3u);
}

TEST_F(MediaCacheTest, CollectMediaOrdersPublishedFirstAndDropsUnused) {
    MediaCache cache(MediaKind::Image);
    std::vector<MediaEntry*> entries;
    for (int i = 0; i < 5; ++i)
        entries.push_back(cache.find(dir.write("p" + std::to_string(i) + ".timg", "1 1 000000")));
    // uses:      0 unused, 1 unpublished, 2 published, 3 unpublished, 4 published
    int uses[] = {0, 1, 2, 1, 1};
    int published[] = {0, 0, 1, 0, 3};
    for (int i = 0; i < 5; ++i) {
        entries[i]->useCount = uses[i];
        entries[i]->publishCount = published[i];
    }
    cache.collectMedia();
    ASSERT_EQ(cache.size(), 4u);
    EXPECT_EQ(cache.entries()[0].get(), entries[2]);
    EXPECT_EQ(cache.entries()[1].get(), entries[4]);
    EXPECT_EQ(cache.entries()[2].get(), entries[1]);
    EXPECT_EQ(cache.entries()[3].get(), entries[3]);
}

TEST_F(MediaCacheTest, SoundFilesAreKeptAsBytes) {
    MediaCache cache(MediaKind::Sound);
    MediaEntry* entry = cache.find(dir.write("a.au", std::string("\0\1\2", 3)));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->sound, (std::vector<uint8_t>{0, 1, 2}));
}

TEST(FileSearchPathTest, DirectoriesAreKeptMostRecentFirstAndBounded) {
    FileSearchPath path;
    EXPECT_EQ(path.resolve("/a/x.avi"), std::nullopt);
    EXPECT_EQ(path.resolve("/b/x.avi"), std::nullopt);
    EXPECT_EQ(path.resolve("c\\d\\x.avi"), std::nullopt);
    EXPECT_EQ(path.directories(), (std::vector<std::string>{"c\\d", "/b", "/a"}));
    path.resolve("/a/y.avi");
    EXPECT_EQ(path.directories(), (std::vector<std::string>{"/a", "c\\d", "/b"}));
    path.resolve("plain.avi");  // no directory part: nothing remembered
    EXPECT_EQ(path.directories().size(), 3u);
    for (int i = 0; i < 100; ++i)
        path.resolve("/dir" + std::to_string(i) + "/z.avi");
    EXPECT_EQ(path.directories().size(), kMaxSearchDirectories);
    EXPECT_EQ(path.directories().front(), "/dir99");
}

TEST(FileSearchPathTest, FindsTheFileByItsLastComponentInTheFirstDirectoryHoldingIt) {
    TempDir one;
    TempDir two;
    std::string inTwo = two.write("clip.avi", "x");
    std::string inOne = one.write("clip.avi", "y");
    FileSearchPath path;
    path.resolve(two.path + "/other.avi");
    path.resolve(one.path + "/other.avi");
    EXPECT_EQ(path.resolve("/moved/away/clip.avi"), inOne);
    EXPECT_EQ(path.resolve("C:\\old\\clip.avi"), inOne) << "backslash separates too";
    EXPECT_EQ(path.resolve(inTwo), inTwo) << "an existing file is taken as it is";
    // ... and its directory is now the first tried.
    EXPECT_EQ(path.resolve("/moved/away/clip.avi"), inTwo);
    EXPECT_EQ(path.resolve("/moved/away/"), std::nullopt);
}

}  // namespace
}  // namespace veltro
