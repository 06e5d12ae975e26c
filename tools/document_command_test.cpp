// veltrotool snapshot and render, driven as a user would run them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image_format.h"
#include "tools/tool_test_support.h"

namespace {

using Result = veltro::testing::CommandResult;

Result run(const std::string& arguments) {
    const char* tool = std::getenv("VELTROTOOL");
    if (!tool)
        return Result();
    return veltro::testing::runCommandLine(std::string("ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen '") + tool + "' " +
                               arguments + " 2>&1");
}

class DocumentCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("VELTROTOOL"), nullptr);
        std::string pattern = (std::filesystem::temp_directory_path() / "veltro-doccmd-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        veltro::registerStandardImageFormats();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::string dir;
};

const char* const kSnapshot =
    ".V 3\n.D 64 48\n.L 40\n.SF 1\n"
    ".O 2\n.OP 0 0 0 0\n.OR 0 39\n.ON dpath0\n.OE 1\n.OL 0\n"
    ".ODMI0 \n.ODMW0 2\n.ODMC0 0 0 0\n.ODMI1 \n.ODMW1 2\n.ODMC1 0 0 0\n.ODMI2 \n.ODMW2 0\n.ODMC2 0 0 0\n"
    ".ODMA 0\n.ODMB 0\n.ODMD 0\n.ODMFT 0\n.ODMK 0\n.ODMTD 0\n"
    ".P 2 44 0 1\n.P 60 44 19 1\n"
    ".O 0\n.OP 10 5 32 24\n.OR 0 19\n.ON video0\n.OE 1\n.OL 0\n.OVS 0 clip.avi\n.OT 0 0 0 0 \n"
    "..\n";

TEST_F(DocumentCommandTest, SnapshotRoundTripPrintsTheSameText) {
    std::string path = write("doc.txt", kSnapshot);
    Result result = run("snapshot '" + path + "'");
    EXPECT_EQ(result.status, 0) << result.out;
    // The movie is missing here: it is reported and ignored, the object stays
    // and the text comes back without its movie.
    EXPECT_NE(result.out.find(".ON video0\n.OE 1\n.OL 0\n.OVS \n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(".P 60 44 19 1\n"), std::string::npos);
    EXPECT_EQ(result.out.substr(result.out.size() - 3), "..\n");
}

TEST_F(DocumentCommandTest, BrokenSnapshotsFailWithAMessage) {
    Result missing = run("snapshot '" + dir + "/none.txt'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("cannot read"), std::string::npos);
    Result cut = run("snapshot '" + write("cut.txt", ".V 3\n.D 10 10\n.L 5\n.O 2\n.ON a") + "'");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.out.find("not a complete snapshot"), std::string::npos) << cut.out;
    EXPECT_EQ(run("snapshot").status, 1);
}

TEST_F(DocumentCommandTest, RenderDrawsMovieFramesAndPaths) {
    // Ten red frames, then ten blue ones, stored without loss.
    std::string clip = dir + "/clip.avi";
    std::string make = "ffmpeg -loglevel error -y -filter_complex "
                       "'color=c=red:s=32x24:r=10:d=1[a];color=c=blue:s=32x24:r=10:d=1[b];[a][b]concat=n=2:v=1' "
                       "-c:v rawvideo -pix_fmt bgr24 '" + clip + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    std::string snapshot = write("doc.txt", kSnapshot);
    std::string early = dir + "/early.png";
    std::string late = dir + "/late.png";
    // Run from elsewhere: the clip is found beside the snapshot.
    Result first = run("render '" + snapshot + "' '" + early + "' --frame 3");
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("64x48 frame 3"), std::string::npos);
    ASSERT_EQ(run("render '" + snapshot + "' '" + late + "' --frame 15").status, 0);

    veltro::ImagePtr a = veltro::loadImage(early);
    veltro::ImagePtr b = veltro::loadImage(late);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->width, 64);
    ASSERT_EQ(a->height, 48);
    auto rgb = [](const veltro::ImageBuffer& image, int x, int y) { return image.at(x, y) & 0xFFFFFF; };
    EXPECT_EQ(rgb(*a, 20, 15), 0xFF0000u);
    EXPECT_EQ(rgb(*b, 20, 15), 0x0000FFu);
    EXPECT_EQ(rgb(*a, 5, 2), 0xFFFFFFu);
    // The path runs along row 44 in black.
    int dark = 0;
    for (int x = 10; x < 50; ++x)
        dark += rgb(*a, x, 44) != 0xFFFFFF;
    EXPECT_GT(dark, 30);
}

TEST_F(DocumentCommandTest, RenderRejectsBadArguments) {
    std::string snapshot = write("doc.txt", kSnapshot);
    EXPECT_EQ(run("render '" + snapshot + "'").status, 1);
    EXPECT_EQ(run("render '" + snapshot + "' '" + dir + "/o.png' --frame x").status, 1);
    EXPECT_EQ(run("render '" + snapshot + "' '" + dir + "/o.png' --frame -2").status, 1);
    Result noFormat = run("render '" + snapshot + "' '" + dir + "/o.xyz'");
    EXPECT_EQ(noFormat.status, 1);
    EXPECT_NE(noFormat.out.find("no image format"), std::string::npos);
}

// The command lines of snapshot and render: --help lists render's --frame;
// an unknown option or --frame without its number stops with status 2 and one
// line naming it; a frame number out of range names the range and the text.
TEST_F(DocumentCommandTest, CommandLinesAreCheckedBeforeAnyWork) {
    Result help = run("render --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: veltrotool render [options] SNAPSHOT OUT.png\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--frame <F>"), std::string::npos) << help.out;
    EXPECT_EQ(run("snapshot -h").out.rfind("usage: veltrotool snapshot [options] FILE\n", 0), 0u);

    const std::string snapshot = write("doc.txt", kSnapshot), picture = "'" + dir + "/o.png'";
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> named;
    } refused[] = {
        {"render '" + snapshot + "' " + picture + " --frame", 2, {"--frame", "missing value"}},
        {"render '" + snapshot + "' " + picture + " --scale 2", 2, {"unknown option \"--scale\""}},
        {"snapshot --pretty '" + snapshot + "'", 2, {"unknown option \"--pretty\""}},
        {"render '" + snapshot + "' " + picture + " --frame 70000", 1, {"--frame", "0 to 65535", "\"70000\""}},
    };
    for (const auto& c : refused) {
        Result r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        for (const std::string& part : c.named)
            EXPECT_NE(r.out.find(part), std::string::npos) << c.arguments << ": " << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/o.png"));
}

}  // namespace
