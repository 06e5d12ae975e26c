// veltrotool track and publish --follow, driven as a script would, over a
// clip the ffmpeg program makes: a textured square crossing a noisy picture
// at 4 pixels a frame, its centre at (44 + 4 f, 120) in frame f.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "tools/tool_test_support.h"

namespace veltro {
namespace {

using Result = veltro::testing::CommandResult;

struct Point {
    int x, y, frame;
};

Result shell(const std::string& command) { return veltro::testing::runCommandLine(command); }

Result tool(const std::string& arguments, bool withErrors = false) {
    const char* program = std::getenv("VELTROTOOL");
    EXPECT_TRUE(program) << "VELTROTOOL names the built program";
    return shell(std::string(program ? program : "veltrotool") + " " + arguments +
                 (withErrors ? " 2>&1" : " 2>/dev/null"));
}

std::vector<Point> points(const std::string& out) {
    std::vector<Point> list;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        Point p{};
        if (std::sscanf(line.c_str(), "%d,%d,%d", &p.x, &p.y, &p.frame) == 3)
            list.push_back(p);
    }
    return list;
}

class TrackCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() / ("veltro_track_command_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::string object = (dir / "object.png").string();
        clip = (dir / "moving.avi").string();
        ASSERT_EQ(shell("ffmpeg -v error -y -f lavfi -i 'life=s=48x48:mold=10:ratio=0.5:seed=3:"
                        "death_color=#203040:life_color=#f0c020' -frames:v 1 '" + object + "'").status, 0);
        ASSERT_EQ(shell("ffmpeg -v error -y -f lavfi -i 'color=c=0x808080:s=320x240:r=25,noise=alls=40:allf=u' "
                        "-loop 1 -i '" + object + "' -filter_complex \"[0][1]overlay=x='20+4*n':y=96\" "
                        "-frames:v 50 -c:v mpeg4 -q:v 2 '" + clip + "'").status, 0);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }

    static void expectOnTheObject(const std::vector<Point>& path, int first, int last) {
        ASSERT_GE(path.size(), 2u);
        EXPECT_EQ(path.front().frame, first);
        EXPECT_EQ(path.back().frame, last);
        for (size_t i = 0; i < path.size(); ++i) {
            EXPECT_NEAR(path[i].x, 44 + 4 * path[i].frame, 3) << "point " << i;
            EXPECT_NEAR(path[i].y, 120, 3) << "point " << i;
            if (i > 0) {
                EXPECT_GT(path[i].frame, path[i - 1].frame);
            }
        }
    }

    static std::filesystem::path dir;
    static std::string clip;
};

std::filesystem::path TrackCommandTest::dir;
std::string TrackCommandTest::clip;

TEST_F(TrackCommandTest, PrintsAFewPointsOnTheObjectWithTheirFrames) {
    Result r = tool("track '" + clip + "' --at 44,120 --first 0 --last 49");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<Point> path = points(r.out);
    expectOnTheObject(path, 0, 49);
    EXPECT_LT(path.size(), 10u) << "an even straight motion needs few points";

    // From a click in the middle of the span, with a box, both ways.
    r = tool("track '" + clip + "' --at 144,120 --box 40,40 --first 5 --last 45 --frame 25");
    ASSERT_EQ(r.status, 0) << r.out;
    expectOnTheObject(points(r.out), 5, 45);
}

TEST_F(TrackCommandTest, RefusesBadArgumentsWithOneLine) {
    for (const char* arguments : {"--at 44,120 --first 0", "--at 44 --first 0 --last 9", "--at 44,120 --first 0 --last x",
                                  "--at 44,120 --box 0,4 --first 0 --last 9", "--at 44,120 --first 0 --last 99",
                                  "--at 400,120 --first 0 --last 9"}) {
        Result r = tool("track '" + clip + "' " + arguments, true);
        EXPECT_EQ(r.status, 1) << arguments;
        EXPECT_NE(r.out.find("veltrotool:"), std::string::npos) << arguments << ": " << r.out;
    }
    EXPECT_EQ(tool("track '" + (dir / "none.avi").string() + "' --at 1,1 --first 0 --last 1").status, 1);
}

TEST_F(TrackCommandTest, PublishFollowMakesAPageThatPlaysWhereTheObjectIs) {
    Result published = tool("publish '" + clip + "' --album '" + (dir / "album").string() + "' --follow 44,120");
    ASSERT_EQ(published.status, 0) << published.out;
    const std::string page = published.out.substr(0, published.out.find('\n'));
    // Dragging along the object's positions shows the frame the object is
    // at there (50 frames: every frame is kept).
    std::string drag;
    for (int f = 0; f < 50; f += 3)
        drag += std::to_string(44 + 4 * f) + ",120 ";
    Result played = tool("play '" + page + "' --drag '" + drag + "'");
    ASSERT_EQ(played.status, 0) << played.out;
    std::istringstream in(played.out);
    int f = 0;
    for (std::string line; std::getline(in, line); f += 3)
        EXPECT_NEAR(std::stoi(line), f, 1) << "dragged to the object's place at frame " << f;
    EXPECT_EQ(f, 51);

    Result both = tool("publish '" + clip + "' --album '" + (dir / "album").string() +
                       "' --follow 44,120 --path '1,1 2,2'", true);
    EXPECT_EQ(both.status, 1);
    Result outside = tool("publish '" + clip + "' --album '" + (dir / "album").string() + "' --follow 999,1", true);
    EXPECT_EQ(outside.status, 1);
    EXPECT_NE(outside.out.find("outside"), std::string::npos) << outside.out;
}

// track's command line: --help lists its options; an unknown option or one
// without its value stops with status 2 and one line naming it; a malformed
// point or frame is refused with status 1 naming its option and the text.
TEST_F(TrackCommandTest, CommandLineIsCheckedBeforeAnyWork) {
    const char* program = std::getenv("VELTROTOOL");
    ASSERT_TRUE(program);
    const Result help = tool("track --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: veltrotool track [options] MOVIE\n", 0), 0u) << help.out;
    for (const char* option : {"--at <x,y>", "--box <w,h>", "--first <F>", "--last <L>", "--frame <S>"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " in\n" << help.out;

    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> named;
    } refused[] = {
        {"--at 44,120 --first 0 --last 9 --bogus", 2, {"unknown option \"--bogus\""}},
        {"--first 0 --last 9 --at", 2, {"--at", "missing value"}},
        {"--at 44,120 --first 0 --last 9 --frame", 2, {"--frame", "missing value"}},
        {"--at 44,-1 --first 0 --last 9", 1, {"--at", "\"44,-1\""}},
        {"--at 44,120 --box 8,8,8 --first 0 --last 9", 1, {"--box", "\"8,8,8\""}},
        {"--at 44,120 --first 0 --last 65536", 1, {"--last", "0 to 65535", "\"65536\""}},
    };
    for (const auto& c : refused) {
        const Result r = shell(std::string(program) + " track '" + clip + "' " + c.arguments +
                               " 2>&1 >/dev/null");
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        for (const std::string& part : c.named)
            EXPECT_NE(r.out.find(part), std::string::npos) << c.arguments << ": " << r.out;
    }
}

}  // namespace
}  // namespace veltro
