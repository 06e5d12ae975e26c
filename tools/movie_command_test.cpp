// veltrotool info and frames, driven as a script would, over clips the
// ffmpeg program makes: the JSON line per container kind, the frame files a
// range writes, and the one-line failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>
#include <unistd.h>

#include "image/image_format.h"
#include "tools/tool_test_support.h"

namespace veltro {
namespace {

// The one JSON object a command printed on one line.
QJsonObject jsonLine(const std::string& out) {
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
    return document.object();
}

using Result = veltro::testing::CommandResult;

class MovieCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() /
              ("veltro_movie_command_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        registerStandardImageFormats();
    }

    static Result shell(const std::string& command) { return veltro::testing::runCommandLine(command); }

    static Result tool(const std::string& arguments) {
        const char* program = std::getenv("VELTROTOOL");
        EXPECT_TRUE(program) << "VELTROTOOL names the built program";
        return shell(std::string(program ? program : "veltrotool") + " " + arguments +
                     " 2>/dev/null");
    }

    // A ten-frame 64x48 test pattern made by the ffmpeg program.
    static std::string makeClip(const std::string& name, const std::string& codecOptions) {
        const std::string file = (dir / name).string();
        const Result made = shell("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 "
                                  "-frames:v 10 " + codecOptions + " '" + file + "' 2>&1");
        EXPECT_EQ(made.status, 0) << made.out;
        return file;
    }

    static inline std::filesystem::path dir;
};

TEST_F(MovieCommandTest, InfoPrintsOneJsonLinePerContainerKind) {
    const struct {
        const char* name;
        const char* options;
        const char* format;
    } cases[] = {
        {"clip.avi", "-c:v mjpeg", "AVI video (*.avi)"},
        {"clip.mov", "-c:v mjpeg", "QuickTime movie (*.mov)"},
        {"clip.mpg", "-c:v mpeg1video", "DirectShow movie (*.avi,*.mpg,*.mpeg)"},
        {"clip.mp4", "-c:v libx264 -pix_fmt yuv420p", "Video file (*.mp4;*.m4v;*.webm;*.mkv;*.ogv)"},
        {"clip.webm", "-c:v libvpx-vp9", "Video file (*.mp4;*.m4v;*.webm;*.mkv;*.ogv)"},
    };
    for (const auto& c : cases) {
        const std::string file = makeClip(c.name, c.options);
        const Result info = tool("info '" + file + "'");
        EXPECT_EQ(info.status, 0) << c.name;
        const double rate = std::string(c.name) == "clip.mov" ? 27.5 : 25;
        EXPECT_EQ(jsonLine(info.out), (QJsonObject{{"format", c.format}, {"frames", 10}, {"rate", rate},
                                                   {"width", 64}, {"height", 48}}))
            << c.name;
    }
}

TEST_F(MovieCommandTest, FramesWritesTheChosenRangeAsPngBySourceIndex) {
    const std::string file = makeClip("range.mp4", "-c:v libx264 -pix_fmt yuv420p");
    const std::filesystem::path out = dir / "frames";
    const Result frames = tool("frames '" + file + "' '" + out.string() + "' --from 2 --to 8 --every 3");
    EXPECT_EQ(frames.status, 0);
    EXPECT_EQ(frames.out, (out / "frame00002.png").string() + "\n" +
                              (out / "frame00005.png").string() + "\n" +
                              (out / "frame00008.png").string() + "\n");
    for (const char* name : {"frame00002.png", "frame00005.png", "frame00008.png"}) {
        ImagePtr image = loadImage((out / name).string());
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->width, 64);
        EXPECT_EQ(image->height, 48);
    }
    EXPECT_FALSE(std::filesystem::exists(out / "frame00003.png"));

    // Without a range every frame is written; --to past the end stops at the end.
    const Result all = tool("frames '" + file + "' '" + (dir / "all").string() + "' --to 99");
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "all" / "frame00009.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "all" / "frame00010.png"));
}

TEST_F(MovieCommandTest, BadMoviesAndOptionsFailWithAStatus) {
    std::FILE* text = std::fopen((dir / "text.avi").c_str(), "w");
    std::fputs("not a movie\n", text);
    std::fclose(text);
    EXPECT_EQ(tool("info '" + (dir / "text.avi").string() + "'").status, 1);
    EXPECT_EQ(tool("info").status, 1);
    EXPECT_EQ(tool("frames '" + (dir / "text.avi").string() + "' '" + (dir / "x").string() + "'").status, 1);
    const std::string file = makeClip("opts.mp4", "-c:v libx264 -pix_fmt yuv420p");
    EXPECT_EQ(tool("frames '" + file + "' '" + (dir / "y").string() + "' --every 0").status, 1);
    EXPECT_EQ(tool("frames '" + file + "' '" + (dir / "y").string() + "' --from x").status, 1);
    // An empty range is an error, not a silent success.
    EXPECT_EQ(tool("frames '" + file + "' '" + (dir / "y").string() + "' --from 10 --to 5").status, 1);
    EXPECT_EQ(tool("frames '" + file + "' '" + (dir / "y").string() + "' --from 100000").status, 1);
}

// The command lines of info and frames: --help lists the options as
// realfootage.sh and scripts spell them; an unknown option or one without its
// value stops with status 2 and one line naming it; malformed and negative
// numbers are refused with status 1, all before any frame is written.
TEST_F(MovieCommandTest, CommandLinesAreCheckedBeforeAnyWork) {
    const char* program = std::getenv("VELTROTOOL");
    ASSERT_TRUE(program);
    const Result help = tool("frames --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: veltrotool frames [options] MOVIE OUTDIR\n", 0), 0u) << help.out;
    for (const char* option : {"--from <A>", "--to <B>", "--every <N>"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " in\n" << help.out;
    EXPECT_EQ(tool("info -h").out.rfind("usage: veltrotool info [options] MOVIE\n", 0), 0u);

    const std::string file = makeClip("lines.avi", "-c:v mjpeg");
    const std::string out = "'" + (dir / "lines").string() + "'";
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> named;
    } refused[] = {
        {"frames '" + file + "' " + out + " --bogus 1", 2, {"unknown option \"--bogus\""}},
        {"frames '" + file + "' " + out + " --from 1 --every", 2, {"--every", "missing value"}},
        {"info --json '" + file + "'", 2, {"unknown option \"--json\""}},
        {"frames '" + file + "' " + out + " --from -3", 1, {"--from", "from 0 to", "\"-3\""}},
        {"frames '" + file + "' " + out + " --to 4x", 1, {"--to", "\"4x\""}},
        {"frames '" + file + "' " + out + " --every 99999999999", 1, {"--every", "\"99999999999\""}},
    };
    for (const auto& c : refused) {
        const Result r = shell(std::string(program) + " " + c.arguments + " 2>&1 >/dev/null");
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        for (const std::string& part : c.named)
            EXPECT_NE(r.out.find(part), std::string::npos) << c.arguments << ": " << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "lines"));
    // A negative end still means the movie's last frame.
    EXPECT_EQ(tool("frames '" + file + "' " + out + " --from 8 --to -1").out,
              (dir / "lines" / "frame00008.png").string() + "\n" + (dir / "lines" / "frame00009.png").string() + "\n");
}

}  // namespace
}  // namespace veltro
