// Drives the built veltrotool: a generated frame list is encoded, decoded and
// inspected, and bad input ends with a message and a failure status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "image/image_test_support.h"
#include "image/png_format.h"
#include "tools/tool_test_support.h"

namespace veltro {
namespace {

// The JSON object a command printed (empty when it printed none).
QJsonObject parsed(const std::string& out) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

// True when the index description lists this entry.
bool hasEntry(const QJsonObject& index, const QJsonObject& entry) {
    return index["entries"].toArray().contains(entry);
}

class EncodeCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tool = std::getenv("VELTROTOOL");
        ASSERT_TRUE(tool) << "VELTROTOOL is not set";
        m_tool = tool;
        // Eight 40 x 24 frames: a bright square moving right over a gradient.
        PngFormat png;
        std::ofstream list(dir.file("vn0.txt"));
        list << "40 24 8 8\n";
        for (int f = 0; f < 8; ++f) {
            ImageBuffer image(40, 24);
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 40; ++x)
                    image.at(x, y) = 0xFF000000u | uint32_t(x * 6) << 16 | uint32_t(y * 10) << 8 | 0x40;
            for (int y = 8; y < 16; ++y)
                for (int x = f * 3; x < f * 3 + 8; ++x)
                    image.at(x, y) = 0xFFFFFFFFu;
            const std::string name = dir.file("f" + std::to_string(f) + ".png");
            ASSERT_TRUE(png.save(name, image));
            list << "N " << f << " " << name << "\n";
        }
        list << "-\n";
    }

    // Runs veltrotool with the arguments; stdout, and the exit status in status.
    std::string run(const std::string& arguments, int* status = nullptr) {
        const std::string command = m_tool + " " + arguments + " 2>" + dir.file("stderr.txt");
        veltro::testing::CommandResult result = veltro::testing::runCommandLine(command);
        if (status)
            *status = result.status;
        return std::move(result.out);
    }
    std::string errors() {
        std::ifstream in(dir.file("stderr.txt"));
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    testing::TempDir dir;
    std::string m_tool;
};

TEST_F(EncodeCommandTest, EncodeDecodeInspectRoundTrip) {
    int status = -1;
    const std::string encoded = run("encode " + dir.file("vn0.txt") + " " + dir.file("out/v0.txt"), &status);
    ASSERT_EQ(status, 0) << errors();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(encoded, m, std::regex("positions=8 entries=8 bytes=(\\d+)\n"))) << encoded;
    int64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("out")))
        total += std::filesystem::file_size(entry.path());
    EXPECT_EQ(std::stoll(m[1]), total);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/v0s0.jpg")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/v0d1.jpg")));

    const std::string decoded = run("decode " + dir.file("out/v0.txt") + " " + dir.file("frames"), &status);
    ASSERT_EQ(status, 0) << errors();
    EXPECT_EQ(decoded, "frames=8 40x24\n");
    for (int p = 0; p < 8; ++p) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/frame%05d.png", p);
        int w = 0, h = 0;
        const std::vector<uint32_t> pixels = testing::pixelsSeenByPil(dir.file(name), &w, &h);
        ASSERT_EQ(w, 40) << name;
        ASSERT_EQ(h, 24);
        // The square's centre is white in every decoded frame, wherever it moved.
        const uint32_t centre = pixels[12 * 40 + p * 3 + 4];
        EXPECT_GE((centre >> 16) & 0xFF, 200u) << name;
        EXPECT_GE(centre & 0xFF, 200u) << name;
    }

    const std::string text = run("inspect " + dir.file("out/v0.txt"), &status);
    ASSERT_EQ(status, 0) << errors();
    const QJsonObject json = parsed(text);
    EXPECT_EQ(json["escaped"], true) << text;
    EXPECT_EQ(json["header"].toObject(),
              (QJsonObject{{"width", 40}, {"height", 24}, {"positions", 8}, {"entries", 8}})) << text;
    EXPECT_TRUE(hasEntry(json, {{"kind", "S"}, {"position", 0}, {"name", "v0s0.jpg"}}));
    EXPECT_TRUE(hasEntry(json, {{"kind", "D"}, {"position", 1}, {"name", "v0d1.jpg"}}));
    EXPECT_TRUE(hasEntry(json, {{"kind", "d"}, {"position", 7}, {"name", QJsonValue()}}));
    // 15 blocks of the key sheet come first in the block numbers.
    const QJsonArray blocks = json["blockNumbers"].toArray();
    ASSERT_GE(blocks.size(), 2);
    EXPECT_EQ(blocks[0], 15);

    // A frame list inspects as plain text with no block numbers.
    const QJsonObject list = parsed(run("inspect " + dir.file("vn0.txt"), &status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(list["escaped"], false);
    EXPECT_EQ(list["blockNumbers"], QJsonArray());
}

TEST_F(EncodeCommandTest, OptionsShapeTheStore) {
    int status = -1;
    const std::string out = run("encode " + dir.file("vn0.txt") + " " + dir.file("v1.txt") +
                                    " --size 20x12 --step 1 --quality 90 --diff-quality 50 --flags 1031",
                                &status);
    ASSERT_EQ(status, 0) << errors();
    EXPECT_EQ(out.substr(0, 21), "positions=4 entries=3");
    const std::string text = run("inspect " + dir.file("v1.txt"));
    const QJsonObject json = parsed(text);
    EXPECT_EQ(json["header"].toObject(),
              (QJsonObject{{"width", 20}, {"height", 12}, {"positions", 4}, {"entries", 3}})) << text;
    EXPECT_TRUE(hasEntry(json, {{"kind", "N"}, {"position", 3}, {"name", "v1n2.jpg"}})) << text;

    run("encode " + dir.file("vn0.txt") + " " + dir.file("v2.txt") + " --flags all-key", &status);
    EXPECT_EQ(status, 0);
    const QJsonArray allKey = parsed(run("inspect " + dir.file("v2.txt")))["entries"].toArray();
    EXPECT_FALSE(allKey.isEmpty());
    for (const QJsonValue& entry : allKey)
        EXPECT_NE(entry["kind"].toString(), "S");
}

TEST_F(EncodeCommandTest, BadInputFailsWithAMessage) {
    int status = 0;
    run("encode " + dir.file("vn0.txt") + " " + dir.file("v3.txt") + " --flags 12", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors().find("--flags has 2 digits but the source gives 8 positions"), std::string::npos);
    run("encode " + dir.file("vn0.txt") + " " + dir.file("v3.txt") + " --size 0x5", &status);
    EXPECT_EQ(status, 1);
    run("encode " + dir.file("vn0.txt") + " " + dir.file("v3.txt") + " --quality 101", &status);
    EXPECT_EQ(status, 1);
    run("encode " + dir.file("nothing.txt") + " " + dir.file("v3.txt"), &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors().find("cannot open"), std::string::npos);

    std::ofstream(dir.file("v4.txt")) << "10 10 3 5\nN 0 f0.png\n";
    run("decode " + dir.file("v4.txt") + " " + dir.file("x"), &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors().find("entry line 1 missing"), std::string::npos) << errors();
    run("inspect " + dir.file("v4.txt"), &status);
    EXPECT_EQ(status, 1);
    std::ofstream(dir.file("v5.txt")) << "10 10 1 1\nN 0 absent.png\n";
    run("decode " + dir.file("v5.txt") + " " + dir.file("x"), &status);
    EXPECT_EQ(status, 1);
}

// The command lines of encode, decode, inspect and framelist: --help lists
// each option as scripts spell it; an unknown option or one without its value
// stops with status 2 and one line naming it, before anything is written; a
// malformed number is refused with a message naming the option and the text.
TEST_F(EncodeCommandTest, CommandLinesAreCheckedBeforeAnyWork) {
    int status = -1;
    const std::string help = run("encode --help", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(help.rfind("usage: veltrotool encode [options] SOURCE INDEX\n", 0), 0u) << help;
    for (const char* option : {"--size <WxH>", "--step <S>", "--quality <Q>", "--diff-quality <Q>", "--flags <F>",
                               "--adaptive-keys", "SOURCE", "INDEX"})
        EXPECT_NE(help.find(option), std::string::npos) << option << " in\n" << help;
    for (const char* command : {"decode", "inspect", "framelist"}) {
        const std::string text = run(std::string(command) + " -h", &status);
        EXPECT_EQ(status, 0) << command;
        EXPECT_EQ(text.rfind(std::string("usage: veltrotool ") + command + " ", 0), 0u) << text;
    }

    const std::string source = dir.file("vn0.txt"), index = dir.file("refused/v0.txt");
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> named;
    } refused[] = {
        {"encode " + source + " " + index + " --qualty 50", 2, {"unknown option \"--qualty\""}},
        {"encode " + source + " " + index + " --quality", 2, {"--quality", "missing value"}},
        {"encode -q " + source + " " + index, 2, {"unknown option \"-q\""}},
        {"encode " + source + " " + index + " --adaptive-keys=yes", 2, {"--adaptive-keys"}},
        {"decode --all " + index + " " + dir.file("x"), 2, {"unknown option \"--all\""}},
        {"framelist " + index + " " + source + " --sorted", 2, {"--sorted"}},
        {"encode " + source + " " + index + " --step two", 1, {"--step", "\"two\""}},
        {"encode " + source + " " + index + " --diff-quality 101", 1, {"--diff-quality", "0 to 100", "\"101\""}},
        {"encode " + source + " " + index + " --quality 7.5", 1, {"--quality", "\"7.5\""}},
        {"encode " + source + " " + index + " --size 320", 1, {"--size"}},
    };
    for (const auto& c : refused) {
        const std::string out = run(c.arguments, &status);
        EXPECT_EQ(status, c.status) << c.arguments;
        EXPECT_TRUE(out.empty()) << c.arguments;
        const std::string message = errors();
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        for (const std::string& part : c.named)
            EXPECT_NE(message.find(part), std::string::npos) << c.arguments << ": " << message;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("refused")));

    // Options may come anywhere and also as --name=value.
    run("encode --quality=90 " + source + " --step=1 " + dir.file("v6.txt"), &status);
    ASSERT_EQ(status, 0) << errors();
    EXPECT_EQ(parsed(run("inspect " + dir.file("v6.txt")))["header"].toObject()["positions"], 4);
}

}  // namespace
}  // namespace veltro
