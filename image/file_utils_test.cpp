// File and path helpers: splitting on both separators, the double-byte
// trail-byte rule under both settings, directory creation and listing, file
// queries, moves that never replace, and replacement
// files that keep the old file on failure.
#include "image/file_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <sys/stat.h>
#include <utime.h>

#include "image/image_test_support.h"

namespace veltro {
namespace {

using testing::TempDir;

// Sets the code page setting for one test and restores the default after.
class DoubleByteCodePage {
public:
    explicit DoubleByteCodePage(bool on) { setDoubleByteCodePage(on); }
    ~DoubleByteCodePage() { setDoubleByteCodePage(false); }
};

TEST(PathNames, SplitOnEitherSeparator) {
    EXPECT_EQ(directoryOf("C:\\clips\\v0.txt"), "C:\\clips");
    EXPECT_EQ(directoryOf("v0.txt"), "");
    EXPECT_EQ(directoryOf("C:\\v0.txt"), "C:");
    EXPECT_EQ(directoryOf("/v0.txt"), "");
    EXPECT_EQ(directoryOf("/home/u/clips/v0.txt"), "/home/u/clips");
    EXPECT_EQ(directoryOf("a/b\\c"), "a/b");
    EXPECT_EQ(fileName("a\\b/c.jpg"), "c.jpg");
    EXPECT_EQ(fileName("plain"), "plain");
    EXPECT_EQ(fileName("dir/"), "");
    EXPECT_EQ(baseName("C:\\clips\\v0.txt"), "v0");
    EXPECT_EQ(extensionOf("C:\\clips\\v0.txt"), ".txt");
    EXPECT_EQ(extensionOf("C:\\my.dir\\file"), "");
    EXPECT_EQ(extensionOf("/x/archive.tar.gz"), ".gz");
    EXPECT_EQ(baseName("/x/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(baseName("/x/my.dir/file"), "file");
}

TEST(PathNames, JoinWritesOneSlash) {
    EXPECT_EQ(joinPath("C:\\clips\\", "a.jpg"), "C:\\clips\\a.jpg");
    EXPECT_EQ(joinPath("/home/clips/", "a.jpg"), "/home/clips/a.jpg");
    EXPECT_EQ(joinPath("/home/clips", "a.jpg"), "/home/clips/a.jpg");
    EXPECT_EQ(joinPath("C:\\clips", "a.jpg"), "C:\\clips/a.jpg");
    EXPECT_EQ(joinPath("", "a.jpg"), "a.jpg");
}

TEST(PathNames, ReplaceExtensionOnlyInTheLastComponent) {
    EXPECT_EQ(replaceExtension("a.b\\c", ".png"), "a.b\\c.png");
    EXPECT_EQ(replaceExtension("a.b/c", ".png"), "a.b/c.png");
    EXPECT_EQ(replaceExtension("/x/v0.txt", ".jpg"), "/x/v0.jpg");
    EXPECT_EQ(replaceExtension("/x/v0.tar.gz", ".zip"), "/x/v0.tar.zip");
    EXPECT_EQ(replaceExtension("name.", ".gif"), "name.gif");
}

TEST(PathNames, TrailBytesAreSkippedOnlyUnderADoubleByteCodePage) {
    // A double-byte character 0x83 0x5C, whose trail byte is the "\" byte.
    const std::string sjis = "dir\\\x83\x5C.txt";
    // UTF-8 for U+3042 followed by "/": 0x82 looks like a lead byte.
    const std::string utf8 = "base/\xE3\x81\x82/name.jpg";
    EXPECT_FALSE(doubleByteCodePage());
    EXPECT_EQ(fileName(utf8), "name.jpg");
    EXPECT_EQ(directoryOf(utf8), "base/\xE3\x81\x82");
    EXPECT_EQ(fileName(sjis), ".txt") << "on UTF-8 every 0x5C byte separates";
    {
        DoubleByteCodePage on(true);
        EXPECT_EQ(fileName(sjis), "\x83\x5C.txt");
        EXPECT_EQ(directoryOf(sjis), "dir");
        EXPECT_EQ(baseName(sjis), "\x83\x5C");
        EXPECT_EQ(extensionOf(sjis), ".txt");
        EXPECT_EQ(fileName("\x83\x5C\\x"), "x") << "real separators still count";
    }
    EXPECT_FALSE(doubleByteCodePage());
}

TEST(Directories, MakeDirectoriesCreatesEveryMissingLevel) {
    TempDir dir;
    ASSERT_TRUE(makeDirectories(dir.file("a")));
    EXPECT_TRUE(makeDirectories(dir.file("a")));
    ASSERT_TRUE(makeDirectories(dir.file("a/b\\c")));
    EXPECT_TRUE(isDirectory(dir.file("a/b")));
    EXPECT_TRUE(isDirectory(dir.file("a/b/c")));
    EXPECT_TRUE(makeDirectories(dir.file("x/y/")));
    EXPECT_TRUE(isDirectory(dir.file("x/y")));
    ASSERT_TRUE(testing::writeBytes(dir.file("file"), {1}));
    EXPECT_FALSE(makeDirectories(dir.file("file/sub")));
    EXPECT_FALSE(makeDirectories(""));
}

TEST(Directories, MakeDirectoriesHonoursTheCodePageSetting) {
    TempDir dir;
    {
        DoubleByteCodePage on(true);
        ASSERT_TRUE(makeDirectories(dir.file("\x83\x5Cname")));
        EXPECT_FALSE(fileExists(dir.file("\x83"))) << "the trail byte is no separator";
    }
    ASSERT_TRUE(makeDirectories(dir.file("\x83\x5Cother")));
    EXPECT_TRUE(isDirectory(dir.file("\x83"))) << "on UTF-8 the 0x5C byte separates";
}

TEST(Directories, ListDirectoryGivesFullPathsOfMatchingNames) {
    TempDir dir;
    for (const char* name : {"a.jpg", "B.JPG", "c.png", "noext"})
        ASSERT_TRUE(testing::writeBytes(dir.file(name), {0}));
    ASSERT_TRUE(makeDirectories(dir.file("sub.jpg")));
    const std::string before = currentDirectory();

    std::vector<std::string> jpegs = listDirectory(dir.path(), "*.jpg");
    std::sort(jpegs.begin(), jpegs.end());
    EXPECT_EQ(jpegs, (std::vector<std::string>{dir.file("B.JPG"), dir.file("a.jpg"), dir.file("sub.jpg")}));

    std::vector<std::string> all = listDirectory(dir.path() + "/");
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{dir.file("."), dir.file(".."), dir.file("B.JPG"), dir.file("a.jpg"),
                                             dir.file("c.png"), dir.file("noext"), dir.file("sub.jpg")}));
    EXPECT_EQ(listDirectory(dir.path(), "").size(), 7u);
    EXPECT_EQ(listDirectory(dir.path(), "?.png"), std::vector<std::string>{dir.file("c.png")});
    EXPECT_TRUE(listDirectory(dir.path(), "*.gif").empty());
    EXPECT_TRUE(listDirectory(dir.file("missing")).empty());
    EXPECT_EQ(currentDirectory(), before);
}

TEST(Directories, UniqueNameTakesTheFirstFreeNumber) {
    TempDir dir;
    EXPECT_EQ(uniqueName(dir.path(), "vn", ".txt"), dir.file("vn0.txt"));
    ASSERT_TRUE(testing::writeBytes(dir.file("vn0.txt"), {0}));
    EXPECT_EQ(uniqueName(dir.path(), "vn", ".txt"), dir.file("vn1.txt"));
    ASSERT_TRUE(makeDirectories(dir.file("vn1.txt")));
    EXPECT_EQ(uniqueName(dir.path() + "/", "vn", ".txt"), dir.file("vn2.txt"));
}

TEST(FileQueries, ExistenceSizeTimeAndCurrentDirectory) {
    TempDir dir;
    std::string path = dir.file("f.bin");
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(fileSize(path), 0);
    EXPECT_EQ(modificationTime(path), 0);
    ASSERT_TRUE(testing::writeBytes(path, std::vector<uint8_t>(1234, 7)));
    utimbuf times{1000000000, 1000000000};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
    EXPECT_TRUE(fileExists(path));
    EXPECT_FALSE(isDirectory(path));
    EXPECT_TRUE(isDirectory(dir.path()));
    EXPECT_EQ(fileSize(path), 1234);
    EXPECT_EQ(modificationTime(path), 1000000000);

    const std::string before = currentDirectory();
    ASSERT_TRUE(setCurrentDirectory(dir.path()));
    EXPECT_EQ(std::filesystem::canonical(currentDirectory()), std::filesystem::canonical(dir.path()));
    EXPECT_TRUE(fileExists("f.bin"));
    EXPECT_FALSE(setCurrentDirectory(dir.file("missing")));
    ASSERT_TRUE(setCurrentDirectory(before));

    EXPECT_TRUE(fileExists(joinPath(programDirectory(), "file_utils_test")));
}

TEST(FileQueries, MoveNeverReplacesAndRemoveTakesEmptyDirectories) {
    TempDir dir;
    ASSERT_TRUE(testing::writeBytes(dir.file("a"), {1}));
    ASSERT_TRUE(testing::writeBytes(dir.file("b"), {2}));
    EXPECT_FALSE(moveFile(dir.file("a"), dir.file("b")));
    EXPECT_EQ(testing::readBytes(dir.file("a")), std::vector<uint8_t>{1});
    EXPECT_EQ(testing::readBytes(dir.file("b")), std::vector<uint8_t>{2});
    EXPECT_TRUE(moveFile(dir.file("a"), dir.file("c")));
    EXPECT_FALSE(fileExists(dir.file("a")));
    EXPECT_EQ(testing::readBytes(dir.file("c")), std::vector<uint8_t>{1});

    ASSERT_TRUE(makeDirectories(dir.file("page/inner")));
    EXPECT_TRUE(moveFile(dir.file("page"), dir.file("trash")));
    EXPECT_TRUE(isDirectory(dir.file("trash/inner")));
    EXPECT_FALSE(removeDirectory(dir.file("trash")));
    EXPECT_TRUE(removeDirectory(dir.file("trash/inner")));
    EXPECT_TRUE(removeDirectory(dir.file("trash")));
    EXPECT_FALSE(moveFile(dir.file("missing"), dir.file("d")));
}

TEST(ReplacementFileTest, OldFileStaysUntilCommitAndNoTemporaryRemains) {
    TempDir dir;
    std::string path = dir.file("out.bin");
    ASSERT_TRUE(testing::writeBytes(path, {1, 2}));
    {
        ReplacementFile file(path);
        ASSERT_TRUE(file.stream());
        std::fputs("new", file.stream());
        EXPECT_EQ(testing::readBytes(path), (std::vector<uint8_t>{1, 2}));
    }
    EXPECT_EQ(testing::readBytes(path), (std::vector<uint8_t>{1, 2})) << "dropped without commit";
    {
        ReplacementFile file(path);
        ASSERT_TRUE(file.stream());
        std::fputs("new", file.stream());
        EXPECT_TRUE(file.commit());
        EXPECT_FALSE(file.commit()) << "only once";
    }
    EXPECT_EQ(testing::readBytes(path), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(listDirectory(dir.path(), "out.bin*").size(), 1u);

    ReplacementFile nowhere(dir.file("missing/x.bin"));
    EXPECT_FALSE(nowhere.stream());
    EXPECT_FALSE(nowhere.commit());
    // A directory in the way: the move fails and the temporary goes.
    ASSERT_TRUE(makeDirectories(dir.file("taken/inner")));
    {
        ReplacementFile blocked(dir.file("taken"));
        ASSERT_TRUE(blocked.stream());
        EXPECT_FALSE(blocked.commit());
    }
    EXPECT_EQ(listDirectory(dir.path(), "taken*").size(), 1u);
}

}  // namespace
}  // namespace veltro
