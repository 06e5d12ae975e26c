// Settings store: the line rules of the file, first-entry lookups and
// updates over duplicate keys, and saving that keeps file order and never
// leaves a broken or world-writable file.
#include "services/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace veltro {
namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "settings_test.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = (dir / "veltrolt.rc").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> listDir() const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(dir))
            names.push_back(item.path().filename().string());
        return names;
    }

    fs::path dir;
    std::string path;
};

TEST_F(SettingsFile, DuplicateKeysSeeFirstAndSaveKeepsBothInOrder) {
    write("k=1\nother=x\nk=2\n");
    Settings store(path);
    ASSERT_TRUE(store.loaded());
    EXPECT_EQ(store.find("k", "d"), "1");
    store.set("k", "3");
    EXPECT_EQ(store.find("k", "d"), "3");
    store.set("new", "v");
    ASSERT_TRUE(store.save());
    EXPECT_EQ(read(), "k=3\nother=x\nk=2\nnew=v\n");
}

TEST_F(SettingsFile, LineRules) {
    write("no equals sign\n"
          "=emptykey\n"
          "emptyvalue=\n"
          "a=b=c\n"
          " album_dir=/lead\n"
          "album_dir = spaced \n"
          "album_dir=/real\n");
    Settings store(path);
    const auto& e = store.entries();
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].key, "");
    EXPECT_EQ(e[0].value, "emptykey");
    EXPECT_EQ(e[1].key, "emptyvalue");
    EXPECT_EQ(e[1].value, "");
    EXPECT_EQ(store.find("a", "d"), "b=c");
    // Blanks belong to the key and to the value; the key is compared whole.
    EXPECT_EQ(store.find(" album_dir", "d"), "/lead");
    EXPECT_EQ(store.find("album_dir ", "d"), " spaced ");
    EXPECT_EQ(store.find("album_dir", "d"), "/real");
    EXPECT_EQ(store.find("emptyvalue", "d"), "");
    EXPECT_TRUE(store.contains("emptyvalue"));

    ASSERT_TRUE(store.save());
    EXPECT_EQ(read(), "=emptykey\nemptyvalue=\na=b=c\n album_dir=/lead\nalbum_dir = spaced \nalbum_dir=/real\n");
}

TEST_F(SettingsFile, AcceptsEveryLineEndAndWritesLf) {
    write("a=1\r\nb=2\rc=3\nd=4\r\r\ne=5");
    Settings store(path);
    ASSERT_EQ(store.entries().size(), 5u);
    EXPECT_EQ(store.find("a", ""), "1");
    EXPECT_EQ(store.find("b", ""), "2");
    EXPECT_EQ(store.find("c", ""), "3");
    EXPECT_EQ(store.find("d", ""), "4");
    // The last line lacks a line end and is still kept: dropping it would lose
    // a hand-edited value at the next save.
    EXPECT_EQ(store.find("e", ""), "5");
    ASSERT_TRUE(store.save());
    EXPECT_EQ(read(), "a=1\nb=2\nc=3\nd=4\ne=5\n");
}

TEST_F(SettingsFile, LongLinesStayWhole) {
    std::string longValue(10000, 'v');
    longValue[5000] = '=';
    write("long=" + longValue + "\nafter=1\n");
    Settings store(path);
    ASSERT_EQ(store.entries().size(), 2u);
    EXPECT_EQ(store.find("long", ""), longValue);
    EXPECT_EQ(store.find("after", ""), "1");
}

TEST_F(SettingsFile, OversizedFileLoadsWholeLinesWithinBound) {
    std::string line = "key=" + std::string(995, 'x') + "\n";  // 1000 bytes
    std::string text;
    while (text.size() + line.size() <= kMaxSettingsFileSize)
        text += line;
    size_t lines = text.size() / line.size();
    text += "cut=" + std::string(5000, 'y') + "\n";
    write(text);
    Settings store(path);
    EXPECT_EQ(store.entries().size(), lines);
    EXPECT_FALSE(store.contains("cut"));
}

TEST_F(SettingsFile, MissingFileGivesDefaultsAndSaveCreatesIt) {
    Settings store(path);
    EXPECT_FALSE(store.loaded());
    EXPECT_TRUE(store.entries().empty());
    EXPECT_EQ(store.find("max_frame", "50"), "50");
    EXPECT_EQ(store.findNumber("max_frame", "50"), 50);
    EXPECT_EQ(store.find("album_dir", ""), "");
    store.set("album_dir", "/x/pages");
    ASSERT_TRUE(store.save());
    EXPECT_EQ(read(), "album_dir=/x/pages\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(SettingsFile, SaveDropsGroupAndOtherWriteAccess) {
    write("a=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    Settings store(path);
    ASSERT_TRUE(store.save());
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(store.save());
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SettingsFile, FailedSaveLeavesNoTraceAndKeepsValues) {
    // The store's path is taken by a directory: the new file cannot replace it.
    fs::create_directory(path);
    Settings store(path);
    EXPECT_FALSE(store.loaded());
    store.set("jpeg_quality", "90");
    EXPECT_FALSE(store.save());
    EXPECT_EQ(store.find("jpeg_quality", "75"), "90");
    EXPECT_EQ(listDir(), std::vector<std::string>{"veltrolt.rc"});

    Settings nowhere((dir / "missing" / "veltrolt.rc").string());
    nowhere.set("a", "1");
    EXPECT_FALSE(nowhere.save());
    EXPECT_FALSE(Settings().save());
}

TEST_F(SettingsFile, SaveThroughLinkReplacesTheLinkedFile) {
    std::string real = (dir / "real.rc").string();
    { std::ofstream(real) << "a=1\n"; }
    fs::create_symlink(real, path);
    Settings store(path);
    EXPECT_EQ(store.find("a", ""), "1");
    store.set("a", "2");
    ASSERT_TRUE(store.save());
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(read(), "a=2\n");
}

TEST_F(SettingsFile, ValuesWithLineEndsStayOneEntry) {
    Settings store(path);
    store.set("message1", "first\r\nsecond\nthird=x\rfourth");
    EXPECT_EQ(store.find("message1", ""), "first second third=x fourth");
    ASSERT_TRUE(store.save());
    Settings again(path);
    ASSERT_EQ(again.entries().size(), 1u);
    EXPECT_EQ(again.find("message1", ""), "first second third=x fourth");
}

TEST(SettingsValues, DecimalConversion) {
    EXPECT_EQ(decimalValue("75"), 75);
    EXPECT_EQ(decimalValue("  \t-12abc"), -12);
    EXPECT_EQ(decimalValue("abc"), 0);
    EXPECT_EQ(decimalValue("- 5"), 0);
    EXPECT_EQ(decimalValue("99999999999999999999"), INT_MAX);
    EXPECT_EQ(decimalValue("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(decimalValue("-2147483648"), INT_MIN);
}

TEST(SettingsValues, HexConversion) {
    EXPECT_EQ(hexValue("ff8080"), 0xff8080u);
    EXPECT_EQ(hexValue("  FF0000 trailing"), 0xff0000u);
    EXPECT_EQ(hexValue("0x1A"), 0x1au);
    EXPECT_EQ(hexValue("zz"), 0u);
    EXPECT_EQ(hexValue("123456789abc"), 0xFFFFFFFFu);
    Settings store;
    store.set("dmcolor0", "00ff00");
    EXPECT_EQ(store.findColor("dmcolor0", "ff8080"), 0x00ff00u);
    EXPECT_EQ(store.findColor("dmcolor1", "ff0000"), 0xff0000u);
}

TEST(ProcessSettings, OpenReplacesAndRestores) {
    std::string dir = (fs::temp_directory_path() / "settings_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    std::string file = dir + "/veltrolt.rc";
    { std::ofstream(file) << "max_frame=20\n"; }

    auto previous = setSettings(nullptr);
    EXPECT_EQ(settings().find("max_frame", "50"), "50");
    Settings& opened = openSettings(file);
    EXPECT_EQ(&opened, &settings());
    EXPECT_EQ(settings().findNumber("max_frame", "50"), 20);
    settings().set("max_frame", "30");
    EXPECT_TRUE(settings().save());
    setSettings(std::move(previous));
    EXPECT_EQ(Settings(file).find("max_frame", ""), "30");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace veltro
