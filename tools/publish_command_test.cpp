// Drives the built veltrotool on a real movie file: publish a page, list the
// album, reopen the page, show its viewer data file; bad input ends with a
// message, a failure status and no page.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tools/tool_test_support.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

using Result = veltro::testing::CommandResult;

Result run(const std::string& command) { return veltro::testing::runCommandLine(command); }

class PublishCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tool = std::getenv("VELTROTOOL");
        ASSERT_TRUE(tool) << "VELTROTOOL is not set";
        m_tool = tool;
        char pattern[] = "/tmp/veltro-publish-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        m_dir = pattern;
        m_clip = m_dir + "/clip.avi";
        Result made = run("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=10 -frames:v 40 "
                          "-c:v mjpeg -q:v 3 '" + m_clip + "' 2>&1");
        ASSERT_EQ(made.status, 0) << made.out;
        m_album = m_dir + "/album";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    Result tool(const std::string& args, bool withErrors = false) {
        return run("QT_QPA_PLATFORM=offscreen '" + m_tool + "' " + args + (withErrors ? " 2>&1" : " 2>/dev/null"));
    }

    std::string m_tool, m_dir, m_clip, m_album;
};

// A stroke reaching outside the picture is held inside it, inset by 4
// pixels, as the edit window holds the pointer for the draw tool.
TEST_F(PublishCommandTest, StrokesOutsideThePictureAreHeldInside) {
    Result published = tool("publish '" + m_clip + "' --album '" + m_album + "' --path '-50,-50 1000,1000'");
    ASSERT_EQ(published.status, 0) << published.out;
    Result reopened = tool("reopen '" + m_album + "/new0'");
    ASSERT_EQ(reopened.status, 0);
    EXPECT_NE(reopened.out.find(".P 4 4 0 1\n"), std::string::npos) << reopened.out;
    EXPECT_EQ(reopened.out.find("65486"), std::string::npos) << reopened.out;
}

TEST_F(PublishCommandTest, PublishListReopenAndInspectAPage) {
    Result published = tool("publish '" + m_clip + "' --album '" + m_album +
                            "' --title 'First page' --path '4,24 20,24 40,24 60,24' --first 5 --last 30 "
                            "--quality 80 --max-frame 10");
    ASSERT_EQ(published.status, 0) << published.out;
    const std::string page = m_album + "/new0";
    EXPECT_EQ(published.out, page + "\n");
    for (const char* name : {"v0.txt", "veltro.txt", "veltro-data.js", "thumb.jpg", "index.html", "data.txt",
                             "new0.zip"})
        EXPECT_TRUE(fs::is_regular_file(page + "/" + name)) << name;
    EXPECT_EQ(run("unzip -tq '" + page + "/new0.zip' 2>&1").status, 0);

    Result second = tool("publish '" + m_clip + "' --album '" + m_album + "' --title Second");
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(second.out, m_album + "/new1\n");

    Result album = tool("album '" + m_album + "'");
    ASSERT_EQ(album.status, 0);
    std::regex line(R"(new[01]\t(First page|Second)\t\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t\d+KB)");
    std::istringstream lines(album.out);
    std::string text;
    int count = 0;
    while (std::getline(lines, text)) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        ++count;
    }
    EXPECT_EQ(count, 2);

    Result reopened = tool("reopen '" + page + "'");
    ASSERT_EQ(reopened.status, 0);
    EXPECT_NE(reopened.out.find(".OVS 0 " + m_clip + "\n"), std::string::npos) << reopened.out;
    EXPECT_NE(reopened.out.find(".O 2\n"), std::string::npos);
    EXPECT_NE(reopened.out.find(".P 4 24 5 1\n"), std::string::npos) << reopened.out;

    Result inspected = tool("inspect '" + page + "/veltro.txt'");
    const QJsonObject data = QJsonDocument::fromJson(QByteArray::fromStdString(inspected.out)).object();
    EXPECT_EQ(data["headerValue"], 0) << inspected.out;
    EXPECT_EQ(data["version"], 3);
    EXPECT_EQ(data["movieCount"], 1);
    bool pointFound = false;
    for (const QJsonValue& object : data["objects"].toArray())
        pointFound = pointFound || object["points"].toArray().contains(QJsonArray{4, 24, 5, 1});
    EXPECT_TRUE(pointFound) << inspected.out;
}

TEST_F(PublishCommandTest, BadInputFailsWithAMessageAndNoPage) {
    Result missing = tool("publish '" + m_dir + "/none.avi' --album '" + m_album + "'", true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("does not exist"), std::string::npos);
    Result badPath = tool("publish '" + m_clip + "' --album '" + m_album + "' --path 'x,y'", true);
    EXPECT_EQ(badPath.status, 1);
    EXPECT_NE(badPath.out.find("--path"), std::string::npos);
    Result noAlbum = tool("publish '" + m_clip + "'", true);
    EXPECT_EQ(noAlbum.status, 1);
    EXPECT_FALSE(fs::exists(m_album));

    // An album that cannot be created.
    std::ofstream(m_dir + "/blocked") << "x";
    Result blocked = tool("publish '" + m_clip + "' --album '" + m_dir + "/blocked/album'", true);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.out.find("publishing failed"), std::string::npos) << blocked.out;

    // A page with a corrupted viewer data file does not reopen.
    fs::create_directories(m_album + "/new0");
    std::ofstream(m_album + "/new0/veltro.txt") << "NCRF garbage that is not a page";
    Result reopened = tool("reopen '" + m_album + "/new0'", true);
    EXPECT_EQ(reopened.status, 1);
    EXPECT_NE(reopened.out.find("cannot reopen"), std::string::npos) << reopened.out;
    EXPECT_EQ(tool("album '" + m_dir + "/nowhere'").status, 1);
}

// publish's command line: --help lists every option as the viewer tests and
// users' scripts spell it; an unknown option or one without its value stops
// with status 2 and one line naming it, a malformed number with status 1 and
// its option named; no album is made in any of these cases.
TEST_F(PublishCommandTest, CommandLineIsCheckedBeforeAnyWork) {
    Result help = tool("publish --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: veltrotool publish [options] SOURCE\n", 0), 0u) << help.out;
    for (const char* option : {"--album <DIR>", "--path <x,y x,y ...>", "--follow <x,y>", "--box <w,h>", "--first <F>",
                               "--last <L>", "--title <T>", "--comment <C>", "--quality <Q>", "--diff-quality <Q>",
                               "--max-frame <M>", "--template <IMAGE>", "--adaptive-keys", "--image <x,y,w,h:IMAGE>",
                               "--path-image <IMAGE>", "--thumbnail <IMAGE>"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " in\n" << help.out;
    for (const char* command : {"album", "reopen"})
        EXPECT_EQ(tool(std::string(command) + " --help").out.rfind(std::string("usage: veltrotool ") + command, 0), 0u);

    const std::string base = "publish '" + m_clip + "' --album '" + m_album + "' ";
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> named;
    } refused[] = {
        {base + "--titel Hello", 2, {"unknown option \"--titel\""}},
        {base + "--title", 2, {"--title", "missing value"}},
        {"publish '" + m_clip + "' --path '1,1 9,9' --album", 2, {"--album", "missing value"}},
        {base + "--first x", 1, {"--first", "\"x\""}},
        {base + "--max-frame 0", 1, {"--max-frame", "from 1 to 65535", "\"0\""}},
        {base + "--quality 100.0", 1, {"--quality", "\"100.0\""}},
        {base + "--path '1,1 2,2,2'", 1, {"--path"}},
        {base + "'" + m_clip + "'", 1, {"usage: veltrotool publish"}},
    };
    for (const auto& c : refused) {
        Result r = run("QT_QPA_PLATFORM=offscreen '" + m_tool + "' " + c.arguments + " 2>&1 >/dev/null");
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        for (const std::string& part : c.named)
            EXPECT_NE(r.out.find(part), std::string::npos) << c.arguments << ": " << r.out;
    }
    EXPECT_FALSE(fs::exists(m_album));
}

// Image objects, the path's pictures and its thumbnails given on the command
// line become the page's objects and files; bad ones end with a message.
TEST_F(PublishCommandTest, PicturesGivenToPublishBecomeObjectsOfThePage) {
    std::vector<std::string> pictures;
    for (const char* colour : {"red", "lime", "blue", "yellow", "white"}) {
        const std::string file = m_dir + "/" + colour + ".png";
        Result made = run(std::string("ffmpeg -loglevel error -y -f lavfi -i color=c=") + colour +
                          ":s=6x4 -frames:v 1 '" + file + "' 2>&1");
        ASSERT_EQ(made.status, 0) << made.out;
        pictures.push_back(file);
    }
    Result published = tool("publish '" + m_clip + "' --album '" + m_album + "' --path '8,8 56,40' --image '1,2,30,20:" +
                            pictures[0] + "' --path-image '" + pictures[1] + "' --path-image '" + pictures[2] +
                            "' --thumbnail '" + pictures[3] + "' --thumbnail '" + pictures[4] + "' --thumbnail '" +
                            pictures[3] + "'");
    ASSERT_EQ(published.status, 0) << published.out;
    const std::string page = m_album + "/new0";
    Result inspected = tool("inspect '" + page + "/veltro.txt'");
    ASSERT_EQ(inspected.status, 0);
    const QJsonObject data = QJsonDocument::fromJson(QByteArray::fromStdString(inspected.out)).object();
    auto text = [](const QJsonArray& array) { return QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString(); };
    EXPECT_EQ(text(data["images"].toArray()), R"(["i0.gif","i1.gif","i2.gif","i3.gif","i4.gif"])");
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(fs::is_regular_file(page + "/i" + std::to_string(i) + ".gif")) << i;
    const QJsonArray objects = data["objects"].toArray();
    ASSERT_EQ(objects.size(), 3);
    const QJsonObject path = objects[0].toObject();
    const QJsonObject image = objects[1].toObject();
    EXPECT_EQ(image["type"].toInt(), 1);
    EXPECT_EQ(image["imageIndex"].toInt(), 0);
    EXPECT_EQ(text(QJsonArray({image["x"], image["y"], image["w"], image["h"]})), "[1,2,30,20]");
    ASSERT_EQ(path["type"].toInt(), 2);
    // The second picture serves the later states.
    QJsonArray states;
    for (const auto& state : path["paths"].toArray())
        states.append(state.toObject()["imageIndex"]);
    EXPECT_EQ(text(states), "[1,2,2]");
    // A picture given twice is one listed image.
    EXPECT_EQ(text(path["thumbnails"].toArray()), "[3,4,3]");

    for (const std::string& bad : std::vector<std::string>{
             "--image '1,2,30:" + pictures[0] + "'", "--image '1,2,0,5:" + pictures[0] + "'", "--image '1,2,3,4'",
          "--image '1,2,3,4:" + m_dir + "/none.png'", "--thumbnail '" + m_dir + "/none.png'",
          "--path-image a --path-image b --path-image c --path-image d"}) {
        Result refused = tool("publish '" + m_clip + "' --album '" + m_dir + "/refused' " + bad, true);
        EXPECT_EQ(refused.status, 1) << bad;
        EXPECT_FALSE(refused.out.empty()) << bad;
        EXPECT_FALSE(fs::exists(m_dir + "/refused/new0")) << bad;
    }
}

}  // namespace
}  // namespace veltro
