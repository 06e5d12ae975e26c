// The shipped resource set against the layout loader: every section of
// build/dist/res/dialog.txt loads without a message, every picture it names
// exists, the sections the program opens are all there, and a window of each
// is saved as a screenshot for people to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "image/image_format.h"
#include "ui/dialog_window.h"
#include "ui/layout.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

std::string shippedResourceDir() {
    const char* dist = std::getenv("VELTRO_DIST_DIR");
    return dist ? std::string(dist) + "/res" : std::string();
}

std::vector<LayoutLine> readLayoutLines(const std::string& path) {
    std::vector<LayoutLine> lines;
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (auto line = parseLayoutLine(text))
            lines.push_back(*line);
    }
    return lines;
}

class ShippedLayoutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        dir = shippedResourceDir();
        if (dir.empty() || !fs::exists(dir + "/dialog.txt"))
            GTEST_SKIP() << "no shipped dialog.txt in " << (dir.empty() ? "(VELTRO_DIST_DIR unset)" : dir)
                         << " yet: build the resource set (res/) first";
        registerStandardImageFormats();
        previous = setResources(std::make_unique<Resources>(dir));
        lines = readLayoutLines(dir + "/dialog.txt");
        for (const LayoutLine& line : lines)
            if (line.kind == 'D' && std::find(sections.begin(), sections.end(), line.name) == sections.end())
                sections.push_back(line.name);
    }
    void TearDown() override {
        if (previous)
            setResources(std::move(previous));
        testing::settle();
    }

    std::string dir;
    std::vector<LayoutLine> lines;
    std::vector<std::string> sections;
    std::unique_ptr<Resources> previous;
};

TEST_F(ShippedLayoutTest, HoldsEverySectionTheProgramOpens) {
    for (const char* name : {"lmwin", "lmmenuwin", "lmsetting", "lmeditwin", "lmsavewin", "lmalbumwin", "imagelist"})
        EXPECT_NE(std::find(sections.begin(), sections.end(), name), sections.end()) << name;
}

TEST_F(ShippedLayoutTest, EveryPictureItNamesExists) {
    std::set<std::string> missing;
    for (const LayoutLine& line : lines) {
        if (line.kind == 'I') {
            for (const char* state : {"n", "p", "r", "d"})
                if (!fs::exists(dir + "/" + line.text + state + ".png"))
                    missing.insert(line.text + state + ".png");
        } else if (line.kind == 'P' && !fs::exists(dir + "/" + line.text)) {
            missing.insert(line.text);
        }
    }
    for (const std::string& name : missing)
        ADD_FAILURE() << "missing picture " << name;
}

TEST_F(ShippedLayoutTest, EverySectionLoadsWithoutAMessageAndIsPhotographed) {
    ASSERT_FALSE(sections.empty());
    for (const std::string& name : sections) {
        testing::RecordMessages messages;
        auto window = std::make_unique<DialogWindow>(nullptr, name);
        EXPECT_TRUE(messages.messages().empty())
            << name << ": " << (messages.messages().empty() ? "" : messages.messages().front());
        EXPECT_GT(window->platformWindow()->width(), 10) << name << " sets its size";
        window->drawWidgets();
        window->show(true);
        testing::saveScreenshot(*window, "layout_" + name);
    }
}

TEST_F(ShippedLayoutTest, ApplicationWindowsCombineTheCommonSectionWithTheirOwn) {
    for (const char* name : {"lmmenuwin", "lmeditwin", "lmsavewin", "lmalbumwin"}) {
        if (std::find(sections.begin(), sections.end(), name) == sections.end())
            continue;
        testing::RecordMessages messages;
        DialogWindow window(nullptr, 0, 0, 10, 10, WindowFrame::FramePopup);
        ASSERT_TRUE(loadLayout(window, "lmwin"));
        ASSERT_TRUE(loadLayout(window, name));
        EXPECT_TRUE(messages.messages().empty()) << name;
        window.drawWidgets();
        window.show(true);
        testing::saveScreenshot(window, std::string("app_") + name);
    }
}

}  // namespace
}  // namespace veltro
