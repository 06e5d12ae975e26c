// veltrotool encode --adaptive-keys: a clip whose picture moves as a whole
// gets key frames in the middle, the same clip without the option gets the
// difference frames the flags ask for, and both decode to every position.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "image/image_test_support.h"
#include "image/png_format.h"
#include "tools/tool_test_support.h"

namespace veltro {
namespace {

class AdaptiveKeysCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tool = std::getenv("VELTROTOOL");
        ASSERT_TRUE(tool) << "VELTROTOOL is not set";
        m_tool = tool;
        // Ten 64 x 48 frames of a busy pattern sliding 5 pixels a frame: every
        // block changes every frame.
        PngFormat png;
        std::ofstream list(dir.file("vn0.txt"));
        list << "64 48 10 10\n";
        for (int f = 0; f < 10; ++f) {
            ImageBuffer image(64, 48);
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x) {
                    const uint32_t u = uint32_t(x + 5 * f);
                    const uint32_t v = (u * 37 + uint32_t(y) * 91) ^ (u * uint32_t(y) * 13);
                    image.at(x, y) = 0xFF000000u | (v & 0xFF) << 16 | ((v >> 3) & 0xFF) << 8 | ((u * 9) & 0xFF);
                }
            const std::string name = dir.file("f" + std::to_string(f) + ".png");
            ASSERT_TRUE(png.save(name, image));
            list << "N " << f << " " << name << "\n";
        }
        list << "-\n";
    }

    std::string run(const std::string& arguments, int* status) {
        const std::string command = m_tool + " " + arguments + " 2>" + dir.file("stderr.txt");
        veltro::testing::CommandResult result = veltro::testing::runCommandLine(command);
        *status = result.status;
        return std::move(result.out);
    }

    // The kind letters of the index's entries, in order.
    std::string kinds(const std::string& index) {
        int status = -1;
        const std::string json = run("inspect " + index, &status);
        EXPECT_EQ(status, 0);
        std::string letters;
        const std::regex kind("\"kind\": \"(.)\"");
        for (auto it = std::sregex_iterator(json.begin(), json.end(), kind); it != std::sregex_iterator(); ++it)
            letters += (*it)[1].str();
        return letters;
    }

    testing::TempDir dir;
    std::string m_tool;
};

TEST_F(AdaptiveKeysCommandTest, OptionTurnsCostlyDifferenceFramesIntoKeyFrames) {
    int status = -1;
    run("encode " + dir.file("vn0.txt") + " " + dir.file("plain/v0.txt") + " --quality 75", &status);
    ASSERT_EQ(status, 0);
    run("encode " + dir.file("vn0.txt") + " " + dir.file("adaptive/v0.txt") + " --quality 75 --adaptive-keys",
        &status);
    ASSERT_EQ(status, 0);
    // Without the option: difference frames only (a full sheet opens the next).
    EXPECT_TRUE(std::regex_match(kinds(dir.file("plain/v0.txt")), std::regex("SD[Dd]{8}")))
        << kinds(dir.file("plain/v0.txt"));
    EXPECT_EQ(kinds(dir.file("adaptive/v0.txt")), "SNNNNNNNNN");

    for (const char* store : {"plain", "adaptive"}) {
        const std::string out =
            run("decode " + dir.file(std::string(store) + "/v0.txt") + " " + dir.file(std::string(store) + "/png"),
                &status);
        EXPECT_EQ(status, 0) << store;
        EXPECT_EQ(out, "frames=10 64x48\n") << store;
    }
}

TEST_F(AdaptiveKeysCommandTest, OptionTakesNoValue) {
    int status = -1;
    run("encode " + dir.file("vn0.txt") + " " + dir.file("v0.txt") + " --adaptive-keys 1", &status);
    EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace veltro
