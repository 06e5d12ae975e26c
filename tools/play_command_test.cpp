// veltrotool play, driven as a script would: a page published from a clip the
// ffmpeg program makes, the frame printed after each position of a drag, and
// the one-line failures for bad pages and bad drags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "tools/tool_test_support.h"

namespace veltro {
namespace {

using Result = veltro::testing::CommandResult;

class PlayCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() / ("veltro_play_command_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::string clip = (dir / "clip.avi").string();
        ASSERT_EQ(shell("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 40 -c:v mjpeg '" +
                        clip + "'").status, 0);
        Result published = tool("publish '" + clip + "' --album '" + (dir / "album").string() +
                                "' --path '20,120 300,120'", true);
        ASSERT_EQ(published.status, 0) << published.out;
        page = published.out.substr(0, published.out.find('\n'));
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }

    // Runs the command; its stderr joins the output unless quiet.
    static Result shell(const std::string& command, bool quiet = false) {
        return veltro::testing::runCommandLine(command + (quiet ? " 2>/dev/null" : " 2>&1"));
    }
    static Result tool(const std::string& args, bool quiet = false) {
        const char* path = std::getenv("VELTROTOOL");
        return shell(std::string("QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp '") + (path ? path : "veltrotool") + "' " + args,
                     quiet);
    }
    static std::vector<int> frames(const std::string& out) {
        std::vector<int> values;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) values.push_back(std::stoi(line));
        return values;
    }

    static std::filesystem::path dir;
    static std::string page;
};

std::filesystem::path PlayCommandTest::dir;
std::string PlayCommandTest::page;

TEST_F(PlayCommandTest, PrintsTheFrameAfterEveryPositionOfTheDrag) {
    // The path runs over frames 0..39 from x = 20 to x = 300.
    Result r = tool("play '" + page + "' --drag '20,120 160,120 300,120 400,150 160,130 0,120'", true);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<int> shown = frames(r.out);
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0], 0);
    EXPECT_EQ(shown[2], 39);
    EXPECT_EQ(shown[3], 39) << "beyond the end the last frame stays";
    EXPECT_EQ(shown[5], 0);
    EXPECT_GT(shown[1], 5);
    EXPECT_LT(shown[1], 34);
    EXPECT_EQ(shown[1], shown[4]) << "the same x shows the same frame both ways";

    // The page directory and its veltro.txt name the same page.
    Result direct = tool("play '" + page + "/veltro.txt' --drag '20,120 160,120 300,120 400,150 160,130 0,120'", true);
    EXPECT_EQ(direct.out, r.out);
}

TEST_F(PlayCommandTest, ReportsBadPagesAndDragsInOneLine) {
    Result missing = tool("play '" + (dir / "nothing").string() + "' --drag '1,1'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("cannot open"), std::string::npos) << missing.out;

    const std::string broken = (dir / "broken").string();
    std::filesystem::create_directories(broken);
    std::ofstream(broken + "/veltro.txt") << "NCRF not a viewer data file";
    EXPECT_EQ(tool("play '" + broken + "' --drag '1,1'").status, 1);

    for (const char* drag : {"''", "'1'", "'1,x'", "'1,2 3'", "'99999999999,1'"}) {
        Result r = tool("play '" + page + "' --drag " + drag);
        EXPECT_EQ(r.status, 1) << drag;
        EXPECT_NE(r.out.find("veltrotool:"), std::string::npos) << r.out;
    }
    EXPECT_EQ(tool("play '" + page + "'").status, 1);
    EXPECT_EQ(tool("play --drag '1,1'").status, 1);
}

// play's command line: --help lists --drag; an unknown option or --drag
// without its positions stops with status 2 and one line naming it.
TEST_F(PlayCommandTest, CommandLineIsCheckedBeforeAnyWork) {
    const Result help = tool("play --help", true);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: veltrotool play [options] PAGE\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--drag <x,y x,y ...>"), std::string::npos) << help.out;

    const struct {
        std::string arguments;
        std::string named;
    } refused[] = {
        {"play '" + page + "' --drga '1,1'", "unknown option \"--drga\""},
        {"play '" + page + "' --drag", "--drag"},
        {"play --slow '" + page + "' --drag '1,1'", "unknown option \"--slow\""},
    };
    for (const auto& c : refused) {
        const Result r = tool(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.out.rfind("veltrotool: ", 0), 0u) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        EXPECT_NE(r.out.find(c.named), std::string::npos) << c.arguments << ": " << r.out;
    }
    // Positions may be negative, also the first one (pointer left of the picture).
    EXPECT_EQ(tool("play '" + page + "' --drag '-5,120 20,120'", true).status, 0);
}

}  // namespace
}  // namespace veltro
