// veltrotool image, driven as a script would: the info line, conversions
// between the three codecs, the resizes, and the one-line failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <sys/wait.h>

#include "image/file_utils.h"
#include "image/gif_format.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "tools/tool_test_support.h"

namespace veltro {
namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class ImageCommand : public ::testing::Test {
protected:
    Result run(const std::string& arguments) {
        const char* tool = std::getenv("VELTROTOOL");
        EXPECT_TRUE(tool) << "VELTROTOOL names the built program";
        std::string errPath = dir.file("stderr.txt");
        Result result;
        veltro::testing::CommandResult ran = veltro::testing::runCommandLine(std::string(tool ? tool : "veltrotool") + " image " +
                                                         arguments + " 2>'" + errPath + "'");
        result.status = ran.status;
        result.out = std::move(ran.out);
        std::vector<uint8_t> err = testing::readBytes(errPath);
        result.err.assign(err.begin(), err.end());
        return result;
    }
    std::string q(const std::string& name) { return "'" + dir.file(name) + "'"; }

    testing::TempDir dir;
};

ImageBuffer picture(int width, int height, int hasAlpha) {
    ImageBuffer image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = 0xFF000000u | uint32_t(x * 8) << 16 | uint32_t(y * 8) << 8 | 0x40;
    if (hasAlpha) {
        image.at(0, 0) = 0x00000000;
        image.hasAlpha = 1;
    }
    return image;
}

TEST_F(ImageCommand, InfoPrintsSizeAndAlphaForEveryCodec) {
    ASSERT_TRUE(PngFormat().save(dir.file("a.png"), picture(7, 5, 1)));
    ASSERT_TRUE(JpegFormat().save(dir.file("b.JPG"), picture(9, 4, 0)));
    ASSERT_TRUE(GifFormat().save(dir.file("c.gif"), picture(3, 2, 1)));
    Result r = run("info " + q("a.png"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "7x5 alpha=1\n");
    EXPECT_EQ(run("info " + q("b.JPG")).out, "9x4 alpha=0\n");
    EXPECT_EQ(run("info " + q("c.gif")).out, "3x2 alpha=1\n");
}

TEST_F(ImageCommand, ConvertWritesTheCodecOfTheOutputExtension) {
    ImageBuffer source = picture(16, 12, 1);
    ASSERT_TRUE(PngFormat().save(dir.file("in.png"), source));
    EXPECT_EQ(run("convert " + q("in.png") + " " + q("out.gif")).status, 0);
    ImagePtr gif = GifFormat().load(dir.file("out.gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->pixels, source.pixels);

    EXPECT_EQ(run("convert " + q("out.gif") + " " + q("back.png")).status, 0);
    ImagePtr png = PngFormat().load(dir.file("back.png"));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->pixels, source.pixels);

    // Quality shows in the file size: a noisy picture at 95 against 10.
    ImageBuffer noisy(64, 64);
    for (size_t i = 0; i < noisy.pixels.size(); ++i)
        noisy.pixels[i] = 0xFF000000u | uint32_t((i * 2654435761u) >> 8);
    ASSERT_TRUE(PngFormat().save(dir.file("noisy.png"), noisy));
    EXPECT_EQ(run("convert " + q("noisy.png") + " " + q("high.jpg") + " --quality 95").status, 0);
    EXPECT_EQ(run("convert " + q("noisy.png") + " " + q("low.jpeg") + " --quality 10").status, 0);
    EXPECT_EQ(run("convert " + q("noisy.png") + " " + q("default.jpg")).status, 0);
    auto size = [&](const char* name) { return testing::readBytes(dir.file(name)).size(); };
    EXPECT_GT(size("high.jpg"), size("default.jpg"));
    EXPECT_GT(size("default.jpg"), size("low.jpeg"));
    ImagePtr jpeg = JpegFormat().load(dir.file("default.jpg"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->width, 64);
}

TEST_F(ImageCommand, ScaleAppliesTheChosenResize) {
    ImageBuffer source(4, 2);
    source.pixels = {0xFF000000, 0xFF000010, 0xFF000020, 0xFF000030, 0xFF000040, 0xFF000050, 0xFF000060, 0xFF000070};
    ASSERT_TRUE(PngFormat().save(dir.file("s.png"), source));
    EXPECT_EQ(run("scale --nearest " + q("s.png") + " " + q("n.png") + " 2 1").status, 0);
    EXPECT_EQ(run("scale --average " + q("s.png") + " " + q("a.png") + " 2 1").status, 0);
    EXPECT_EQ(run("scale --canvas " + q("s.png") + " " + q("c.png") + " 5 1").status, 0);
    ImagePtr n = PngFormat().load(dir.file("n.png")), a = PngFormat().load(dir.file("a.png")),
             c = PngFormat().load(dir.file("c.png"));
    ASSERT_TRUE(n && a && c);
    EXPECT_EQ(n->pixels, (std::vector<uint32_t>{0xFF000000, 0xFF000020}));
    EXPECT_EQ(a->pixels, (std::vector<uint32_t>{0xFF000028, 0xFF000048}));
    EXPECT_EQ(c->pixels, (std::vector<uint32_t>{0xFF000000, 0xFF000010, 0xFF000020, 0xFF000030, 0x00000000}));
}

TEST_F(ImageCommand, FailuresAreOneLineNamingTheFile) {
    Result missing = run("info " + q("missing.png"));
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find(dir.file("missing.png")), std::string::npos);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
    EXPECT_TRUE(missing.out.empty());

    ASSERT_TRUE(testing::writeBytes(dir.file("bad.gif"), {'G', 'I', 'F', '8', '9', 'a', 1}));
    Result bad = run("convert " + q("bad.gif") + " " + q("x.png"));
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find(dir.file("bad.gif")), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("x.png")));

    ASSERT_TRUE(PngFormat().save(dir.file("ok.png"), picture(2, 2, 0)));
    Result type = run("convert " + q("ok.png") + " " + q("x.bmp"));
    EXPECT_NE(type.status, 0);
    EXPECT_NE(type.err.find(dir.file("x.bmp")), std::string::npos);
    EXPECT_EQ(std::count(type.err.begin(), type.err.end(), '\n'), 1);
    Result place = run("convert " + q("ok.png") + " " + q("no/dir/x.png"));
    EXPECT_NE(place.status, 0);
    EXPECT_NE(place.err.find(dir.file("no/dir/x.png")), std::string::npos);

    EXPECT_NE(run("convert " + q("ok.png") + " " + q("y.jpg") + " --quality 101").status, 0);
    EXPECT_NE(run("scale --sideways " + q("ok.png") + " " + q("y.png") + " 2 2").status, 0);
    EXPECT_NE(run("scale --nearest " + q("ok.png") + " " + q("y.png") + " 2 -1").status, 0);
    EXPECT_NE(run("frobnicate").status, 0);
}

// The command lines of image and its actions: --help lists the actions and
// each action's options; unknown options, options without their value and
// malformed numbers stop with status 2 and one line naming them, and nothing
// is written.
TEST_F(ImageCommand, CommandLinesAreCheckedBeforeAnyWork) {
    Result overview = run("--help");
    EXPECT_EQ(overview.status, 0);
    EXPECT_EQ(overview.out.rfind("usage: veltrotool image [options] ACTION [ARGS...]\n", 0), 0u) << overview.out;
    for (const char* action : {"image info FILE", "image convert IN OUT [--quality Q]", "image scale"})
        EXPECT_NE(overview.out.find(action), std::string::npos) << action;
    Result convertHelp = run("convert --help");
    EXPECT_EQ(convertHelp.status, 0);
    EXPECT_EQ(convertHelp.out.rfind("usage: veltrotool image convert [options] IN OUT\n", 0), 0u) << convertHelp.out;
    EXPECT_NE(convertHelp.out.find("--quality <Q>"), std::string::npos) << convertHelp.out;
    Result scaleHelp = run("scale -h");
    EXPECT_EQ(scaleHelp.status, 0);
    for (const char* option : {"--nearest", "--average", "--canvas", "IN OUT W H"})
        EXPECT_NE(scaleHelp.out.find(option), std::string::npos) << option << " in\n" << scaleHelp.out;

    ASSERT_TRUE(PngFormat().save(dir.file("ok.png"), picture(2, 2, 0)));
    const struct {
        std::string arguments;
        std::vector<std::string> named;
    } refused[] = {
        {"--verbose info " + q("ok.png"), {"unknown option \"--verbose\""}},
        {"convert " + q("ok.png") + " " + q("y.jpg") + " --qualty 50", {"unknown option \"--qualty\""}},
        {"convert " + q("ok.png") + " " + q("y.jpg") + " --quality", {"--quality", "missing value"}},
        {"convert " + q("ok.png") + " " + q("y.jpg") + " --quality high", {"--quality", "0 to 100", "\"high\""}},
        {"convert " + q("ok.png") + " " + q("y.jpg") + " --quality 101", {"--quality", "\"101\""}},
        {"scale --nearest " + q("ok.png") + " " + q("y.png") + " 2 two", {"H", "\"two\""}},
        {"scale --average " + q("ok.png") + " " + q("y.png") + " 99999 2", {"W", "16384", "\"99999\""}},
        {"scale --nearest " + q("ok.png") + " " + q("y.png") + " -2 2", {"\"-2\""}},
    };
    for (const auto& c : refused) {
        Result r = run(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const std::string& part : c.named)
            EXPECT_NE(r.err.find(part), std::string::npos) << c.arguments << ": " << r.err;
    }
    // One resize at a time.
    EXPECT_EQ(run("scale --nearest --canvas " + q("ok.png") + " " + q("y.png") + " 2 2").status, 2);
    EXPECT_FALSE(fileExists(dir.file("y.jpg")));
    EXPECT_FALSE(fileExists(dir.file("y.png")));
}

}  // namespace
}  // namespace veltro
