// Resource set: string table rules, the caches and the messages of their
// misses, image lookups, whole-file reads and message formats.
#include "services/resources.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "image/image_format.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

class ResourceSet : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "resources_test.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        res.setDirectory(dir.string());
    }
    void TearDown() override {
        fs::remove_all(dir);
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    // A small picture written as PNG through the registered codec.
    void writePng(const std::string& name, uint32_t colour) {
        registerStandardImageFormats();
        ImageBuffer picture(3, 2);
        for (auto& pixel : picture.pixels)
            pixel = colour;
        ImageFormat* png = findImageFormat(name);
        ASSERT_NE(png, nullptr);
        ASSERT_TRUE(png->save((dir / name).string(), picture));
    }

    // The misses' messages so far: each lookup's lastError, collected and
    // cleared after it.
    const std::vector<std::string>& messages() {
        if (!res.lastError().empty())
            m_messages.push_back(res.lastError());
        res.clearError();
        return m_messages;
    }
    const std::string& findText(std::string_view key) {
        const std::string& found = res.text(key);
        messages();
        return found;
    }
    const ImageBuffer* findImage(std::string_view name) {
        const ImageBuffer* found = res.image(name);
        messages();
        return found;
    }

    fs::path dir;
    Resources res;

private:
    std::vector<std::string> m_messages;
};

TEST_F(ResourceSet, StringTableLineRules) {
    write("res.txt",
          "saving Saving frames...\n"
          "twice first\r\n"
          "twice  second text  \r\n"
          "tabbed\t\tinner  blanks\tkept \t\n"
          "empty\n"
          "  indented never\n"
          "\n"
          "crlast one\rcr\tlast two");
    EXPECT_EQ(findText("saving"), "Saving frames...");
    EXPECT_EQ(findText("twice"), "second text");
    EXPECT_EQ(findText("tabbed"), "inner  blanks\tkept");
    EXPECT_EQ(findText("empty"), "");
    EXPECT_EQ(findText("cr"), "last two");
    EXPECT_EQ(findText("crlast"), "one");
    EXPECT_TRUE(messages().empty());

    EXPECT_EQ(findText("indented"), kNullStringResource);
    EXPECT_EQ(findText(""), kNullStringResource);
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[0], "Cannot read string resource (indented)");
}

TEST_F(ResourceSet, FoundTextsAreCachedMissesAskAgain) {
    write("res.txt", "b_ignore Ignore\n");
    const std::string& first = findText("b_ignore");
    EXPECT_EQ(first, "Ignore");
    EXPECT_EQ(findText("quit?"), kNullStringResource);

    // A later change of the file is not seen for a key already found, but a
    // key that was missing is looked for again (and reported again while missing).
    write("res.txt", "b_ignore Changed\nnewkey New\n");
    const std::string& second = findText("b_ignore");
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second, "Ignore");
    EXPECT_EQ(findText("quit?"), kNullStringResource);
    EXPECT_EQ(findText("newkey"), "New");
    EXPECT_EQ(messages(), (std::vector<std::string>{"Cannot read string resource (quit?)",
                                                  "Cannot read string resource (quit?)"}));

    std::string copy = res.textCopy("b_ignore");
    copy += "!";
    EXPECT_EQ(findText("b_ignore"), "Ignore");
    EXPECT_TRUE(res.hasText("newkey"));
    EXPECT_FALSE(res.hasText("quit?"));
    EXPECT_EQ(messages().size(), 2u);
}

TEST_F(ResourceSet, MissingTableYieldsNullTextSilently) {
    EXPECT_EQ(findText("saving"), kNullStringResource);
    Resources nowhere;
    EXPECT_EQ(nowhere.directory(), "");
    EXPECT_EQ(nowhere.text("saving"), kNullStringResource);
    EXPECT_FALSE(nowhere.readFile("res.txt"));
    EXPECT_TRUE(messages().empty());

    // A table that appears later is read at the next lookup.
    write("res.txt", "saving Saving\n");
    EXPECT_EQ(findText("saving"), "Saving");
}

TEST_F(ResourceSet, MarkedUtf8TableFindsItsFirstKey) {
    write("res.txt", "\xEF\xBB\xBF" "diff_sum_h 16\nnewdoc \xE6\x96\xB0\xE8\xA6\x8F\n");
    EXPECT_EQ(findText("diff_sum_h"), "16");
    EXPECT_EQ(findText("newdoc"), "\xE6\x96\xB0\xE8\xA6\x8F");
}

TEST_F(ResourceSet, ImagesAreCachedAndMissingOnesRetried) {
    EXPECT_EQ(findImage("bin.png"), nullptr);
    EXPECT_EQ(findImage("bin.png"), nullptr);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Cannot read image resource (bin.png)",
                                                  "Cannot read image resource (bin.png)"}));

    writePng("bin.png", 0xFF123456);
    const ImageBuffer* image = findImage("bin.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->at(2, 1) & 0xFFFFFF, 0x123456u);

    // Served from the cache from now on, even when the file goes away.
    fs::remove(dir / "bin.png");
    EXPECT_EQ(findImage("bin.png"), image);
    EXPECT_EQ(messages().size(), 2u);

    write("broken.png", "\x89PNG\r\n\x1a\n not really");
    EXPECT_EQ(findImage("broken.png"), nullptr);
    EXPECT_EQ(messages().back(), "Cannot read image resource (broken.png)");
}

TEST_F(ResourceSet, ReadFileGivesExactBytes) {
    std::string bytes("PK\x03\x04\0\0binary\r\n\xff", 15);
    write("veltro.jar", bytes);
    auto data = res.readFile("veltro.jar");
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->end()), bytes);

    write("empty.bin", "");
    auto empty = res.readFile("empty.bin");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    EXPECT_FALSE(res.readFile("missing.jar"));
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(res.readFile("sub"));
    EXPECT_TRUE(messages().empty());
}

TEST(ResourceTable, LookUpWithoutFile) {
    EXPECT_EQ(Resources::lookUp("a 1\na 2\n", "a"), "2");
    EXPECT_EQ(Resources::lookUp("a", "a"), "");
    EXPECT_EQ(Resources::lookUp("a\x0b\x0c" "text\x0b", "a"), "text");
    EXPECT_EQ(Resources::lookUp(std::string_view("k v\0w\n", 6), "k"), std::string("v\0w", 3));
    EXPECT_EQ(Resources::lookUp("a b\n", "a b"), std::nullopt);
}

TEST(ResourceFormat, FillsOnlyWhatTheCallerPassed) {
    EXPECT_EQ(formatText("Cannot open %s", {"/tmp/x"}), "Cannot open /tmp/x");
    EXPECT_EQ(formatText("%d %d", {"12", "34"}), "12 34");
    EXPECT_EQ(formatText("100%% of %s", {"it"}), "100% of it");
    EXPECT_EQ(formatText("%s and %s", {"one"}), "one and ");
    EXPECT_EQ(formatText("%n%x%08d%", {"a"}), "%n%x%08d%");
    EXPECT_EQ(formatText("%s", {"%s%s"}), "%s%s");
}

TEST(ProcessResources, DefaultsBesideTheProgramAndCanBeReplaced) {
    std::string dir = resources().directory();
    ASSERT_GE(dir.size(), 4u);
    EXPECT_EQ(dir.substr(dir.size() - 4), "/res");
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(fs::path(dir).parent_path(), fs::path(std::string(exe, n)).parent_path());

    auto previous = setResources(std::make_unique<Resources>("/elsewhere"));
    EXPECT_EQ(resources().directory(), "/elsewhere");
    setResources(std::move(previous));
    EXPECT_EQ(resources().directory(), dir);
}

}  // namespace
}  // namespace veltro
