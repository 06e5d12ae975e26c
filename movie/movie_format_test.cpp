#include "movie/movie_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace veltro {
namespace {

// A format whose readers open only the paths it was told to accept, and which
// records every path it was asked to open.
class FakeFormat : public MovieFormat {
public:
    FakeFormat(const char* description, const char* pattern, bool opens)
        : description_(description), pattern_(pattern), opens_(opens) {}
    const char* description() const override { return description_; }
    const char* pattern() const override { return pattern_; }
    mutable std::vector<std::string> tried;

protected:
    MovieReaderPtr createReader() const override {
        struct Reader : MovieReader {
            explicit Reader(bool opens) : opens(opens) {}
            bool open(const std::string&) override { frameCount = 1; return opens; }
            const ImageBuffer* frameAt(int) override { return nullptr; }
            bool opens;
        };
        return std::make_unique<Reader>(opens_);
    }

private:
    const char* description_;
    const char* pattern_;
    bool opens_;
};

class MovieRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearMovieFormats();
        for (auto* f : {&avi, &mov, &store, &show})
            registerMovieFormat(f);
    }
    void TearDown() override { clearMovieFormats(); }

    FakeFormat avi{"AVI video (*.avi)", "*.avi", false};
    FakeFormat mov{"QuickTime movie (*.mov)", "*.mov", true};
    FakeFormat store{"VELTRO Video (v*.txt)", "v*.txt", true};
    FakeFormat show{"DirectShow movie (*.avi,*.mpg,*.mpeg)", "*.avi;*.mpg;*.mpeg", true};
};

TEST_F(MovieRegistryTest, ExtensionMatchingIgnoresCaseAndNeedsADot) {
    EXPECT_EQ(nextMovieFormat("CLIP.AVI", nullptr), &avi);
    EXPECT_EQ(nextMovieFormat("noextension", nullptr), nullptr);
    EXPECT_EQ(nextMovieFormat("a.mpg", nullptr), &show);
    EXPECT_EQ(nextMovieFormat("list.txt", nullptr), &store);
    EXPECT_EQ(nextMovieFormat("a.mov", &mov), nullptr) << "a .mov never reaches DirectShow";
}

TEST_F(MovieRegistryTest, OpenFallsBackToTheNextFormatThatClaimsTheExtension) {
    const MovieFormat* opened = nullptr;
    auto reader = openMovie("clip.avi", &opened);
    ASSERT_TRUE(reader);
    EXPECT_EQ(opened, &show);
    EXPECT_EQ(openMovie("clip"), nullptr);
}

TEST_F(MovieRegistryTest, FilterListsPatternsThenPairsDoubleNulTerminated) {
    const std::string expected = std::string("All Video\0*.avi;*.mov;v*.txt;*.avi;*.mpg;*.mpeg;\0", 49) +
                                 std::string("AVI video (*.avi)\0*.avi\0", 24);
    ASSERT_GE(movieFilter().size(), expected.size());
    EXPECT_EQ(movieFilter().substr(0, expected.size()), expected);
    EXPECT_EQ(movieFilter().substr(movieFilter().size() - 2), std::string("\0\0", 2));
}

}  // namespace
}  // namespace veltro
