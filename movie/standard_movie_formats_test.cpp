// The standard movie formats in the registry: their order, names and
// patterns, the file-dialog filter, and the fall-back from the AVI source to
// DirectShow for AVI-named files the AVI source cannot read.
#include "movie/standard_movie_formats.h"

#include <gtest/gtest.h>

#include "movie/ffmpeg_test_fixtures.h"
#include "movie/movie_format.h"

namespace veltro {
namespace {

class StandardMovieFormatsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = fixtures::scratchDirectory("formats"); }
    void SetUp() override {
        clearMovieFormats();
        registerStandardMovieFormats();
    }
    static std::string path(const std::string& name) { return dir + "/" + name; }
    static inline std::string dir;
};

std::string descriptionFor(const std::string& file, const MovieFormat* previous = nullptr) {
    const MovieFormat* format = nextMovieFormat(file, previous);
    return format ? format->description() : "";
}

TEST_F(StandardMovieFormatsTest, FormatsKeepTheirOrderNamesAndPatternsAndRegisterOnce) {
    registerStandardMovieFormats();
    using namespace std::string_literals;
    const std::string expected =
        "All Video\0*.avi;*.mov;v*.txt;*.avi;*.mpg;*.mpeg;*.mp4;*.m4v;*.webm;*.mkv;*.ogv;\0"
        "AVI video (*.avi)\0*.avi\0"
        "QuickTime movie (*.mov)\0*.mov\0"
        "VELTRO Video (v*.txt)\0v*.txt\0"
        "DirectShow movie (*.avi,*.mpg,*.mpeg)\0*.avi;*.mpg;*.mpeg\0"
        "Video file (*.mp4;*.m4v;*.webm;*.mkv;*.ogv)\0*.mp4;*.m4v;*.webm;*.mkv;*.ogv\0\0"s;
    EXPECT_EQ(movieFilter(), expected);
}

TEST_F(StandardMovieFormatsTest, ExtensionsReachTheirFormatsInOrder) {
    EXPECT_EQ(descriptionFor("a/CLIP.AVI"), "AVI video (*.avi)");
    EXPECT_EQ(descriptionFor("clip.avi", nextMovieFormat("clip.avi", nullptr)),
              "DirectShow movie (*.avi,*.mpg,*.mpeg)");
    EXPECT_EQ(descriptionFor("clip.mov"), "QuickTime movie (*.mov)");
    EXPECT_EQ(descriptionFor("clip.mov", nextMovieFormat("clip.mov", nullptr)), "");
    EXPECT_EQ(descriptionFor("clip.mpeg"), "DirectShow movie (*.avi,*.mpg,*.mpeg)");
    EXPECT_EQ(descriptionFor("list.txt"), "VELTRO Video (v*.txt)");
    for (const char* file : {"a.mp4", "a.m4v", "a.webm", "a.mkv", "a.ogv"})
        EXPECT_EQ(descriptionFor(file), "Video file (*.mp4;*.m4v;*.webm;*.mkv;*.ogv)") << file;
}

TEST_F(StandardMovieFormatsTest, AviFilesTheAviSourceRefusesFallBackToDirectShow) {
    // An MPEG program stream named .avi, and an AVI whose video stream comes
    // after ten audio streams.
    fixtures::ClipSpec mpeg;
    mpeg.path = path("mpeg_inside.avi");
    mpeg.container = "mpeg";
    mpeg.codec = AV_CODEC_ID_MPEG1VIDEO;
    mpeg.pixelFormat = AV_PIX_FMT_YUV420P;
    mpeg.frames = 12;
    fixtures::ClipSpec eleven;
    eleven.path = path("eleven_streams.avi");
    eleven.frames = 12;
    eleven.audioStreamsFirst = 10;
    fixtures::ClipSpec plain;
    plain.path = path("plain.avi");
    plain.frames = 12;
    for (const fixtures::ClipSpec* spec : {&mpeg, &eleven, &plain}) {
        ASSERT_TRUE(fixtures::writeClip(*spec));
        const MovieFormat* format = nullptr;
        MovieReaderPtr reader = openMovie(spec->path, &format);
        ASSERT_TRUE(reader) << spec->path;
        EXPECT_STREQ(format->description(), spec == &plain
                                                ? "AVI video (*.avi)"
                                                : "DirectShow movie (*.avi,*.mpg,*.mpeg)");
        EXPECT_EQ(reader->frameCount, 12);
        for (int n : {11, 0, 6})
            EXPECT_EQ(fixtures::readCode(*reader->frameAt(n)), n) << spec->path;
    }
}

TEST_F(StandardMovieFormatsTest, UnreadableFilesOpenNowhere) {
    fixtures::writeBytes(path("text.avi"), "hello\n");
    fixtures::writeBytes(path("text.mov"), "hello\n");
    fixtures::writeBytes(path("empty.mp4"), "");
    for (const char* name : {"text.avi", "text.mov", "empty.mp4", "missing.mpg"})
        EXPECT_FALSE(openMovie(path(name))) << name;
}

}  // namespace
}  // namespace veltro
