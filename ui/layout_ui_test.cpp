// Layouts loaded from dialog.txt files the tests write: sections, widgets,
// labels and pictures, the first-section-wins rule, second sections appended,
// missing pictures and files, and the line parser on hostile lines.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include "ui/dialog_window.h"
#include "ui/image_button.h"
#include "ui/native_control.h"
#include "ui/slider.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::pixelAt;

class LayoutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        res.writeImage("bokn.png", 24, 16, 0xFF00AA00);
        res.writeImage("bokp.png", 24, 16, 0xFF005500);
        res.writeImage("bokr.png", 24, 16, 0xFF00FF00);
        res.writeImage("bokd.png", 24, 16, 0xFF808080);
        res.writeImage("pic.png", 8, 6, 0xFFFF0000);
    }
    void TearDown() override { testing::settle(); }
    int faceColour() {
        Canvas probe(1, 1);
        probe.fillButtonFace(0, 0, 1, 1);
        return probe.surface().pixel(0, 0) & 0xFFFFFF;
    }

    testing::ResourceDir res;
    testing::RecordMessages messages;
};

TEST_F(LayoutTest, ASectionBuildsItsWidgetsInLineOrder) {
    res.writeText("dialog.txt",
                  "A comment line.\n"
                  ".D other 50 50 Not this one\n"
                  ".B 9 0 0 10 10 Wrong\n"
                  "..\n"
                  ".D test 320 200 Test window\n"
                  ".B 0 10 10 80 24 OK button\r\n"
                  ".C 1 10 40 80 24 Check me\n"
                  "  indented lines are comments\n"
                  ".E 2 10 70 80 24\n"
                  ".M 3 10 100 80 24\n"
                  ".T 4 100 10 80 60\n"
                  ".I 5 200 10 0 0 bok\n"
                  ".S 6 100 100 120 16\n"
                  ".S 7 250 60 16 120\n"
                  ".X 8 0 0 10 10 unknown kinds are skipped\n"
                  ".P 300 180 0 0 pic.png\n"
                  ".P 200 150 16 12 pic.png\n"
                  ".L 10 150 100 20 Label\n"
                  "..\n"
                  ".B 10 0 0 10 10 after the end\n");
    DialogWindow window(nullptr, "test");
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(window.backBuffer()->width(), 320);
    EXPECT_EQ(window.platformWindow()->windowTitle().toStdString(), "Test window");
    ASSERT_EQ(window.widgets().size(), 8u);
    std::vector<int> ids;
    for (Widget* w : window.widgets())
        ids.push_back(w->id());
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_NE(dynamic_cast<PushButton*>(window.widgetById(0)), nullptr);
    EXPECT_EQ(static_cast<NativeControl*>(window.widgetById(0))->text(), "OK button");
    EXPECT_NE(dynamic_cast<CheckButton*>(window.widgetById(1)), nullptr);
    EXPECT_NE(dynamic_cast<EditField*>(window.widgetById(2)), nullptr);
    EXPECT_NE(dynamic_cast<ComboList*>(window.widgetById(3)), nullptr);
    EXPECT_NE(dynamic_cast<ListBox*>(window.widgetById(4)), nullptr);
    auto* image = dynamic_cast<ImageButton*>(window.widgetById(5));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 24) << "size 0 takes the normal image's";
    EXPECT_EQ(image->height(), 16);
    EXPECT_NE(image->image(ImageButton::Disabled), nullptr);
    EXPECT_EQ(image->ownership(), 0) << "resource images are never owned";
    EXPECT_TRUE(dynamic_cast<Slider*>(window.widgetById(6))->isHorizontal());
    EXPECT_FALSE(dynamic_cast<Slider*>(window.widgetById(7))->isHorizontal());
    EXPECT_EQ(window.focusWidget(), window.widgetById(0));

    EXPECT_EQ(pixelAt(window, 304, 184), 0xFF0000u) << "picture at its own size";
    EXPECT_EQ(pixelAt(window, 215, 161), 0xFF0000u) << "picture stretched to 16 x 12";
    EXPECT_EQ(pixelAt(window, 217, 163), static_cast<uint32_t>(faceColour()));
    bool labelDrawn = false;
    for (int y = 150; y < 170 && !labelDrawn; ++y)
        for (int x = 10; x < 60 && !labelDrawn; ++x)
            labelDrawn = pixelAt(window, x, y) == 0;
    EXPECT_TRUE(labelDrawn);
    window.drawWidgets();
    testing::saveScreenshot(window, "layout_test_section");
}

TEST_F(LayoutTest, FirstSectionWinsAndASectionMayRunToTheEndOfTheFile) {
    res.writeText("dialog.txt",
                  ".D twice 100 80 First\n.B 0 0 0 10 10 a\n..\n"
                  ".D twice 300 300 Second\n.B 0 0 0 10 10 b\n.B 1 0 0 10 10 c\n..\n"
                  ".D open 120 90 Open\n.B 3 0 0 10 10 d\n.B 4 0 20 10 10 e");
    Window window(nullptr, 0, 0, 10, 10, WindowFrame::FrameTool);
    EXPECT_TRUE(loadLayout(window, "twice"));
    EXPECT_EQ(window.widgets().size(), 1u);
    EXPECT_EQ(window.platformWindow()->windowTitle().toStdString(), "First");
    EXPECT_EQ(window.backBuffer()->width(), 100);

    Window open(nullptr, 0, 0, 10, 10, WindowFrame::FrameTool);
    EXPECT_TRUE(loadLayout(open, "open"));
    EXPECT_EQ(open.widgets().size(), 2u) << "every line up to the end of the file";

    Window none(nullptr, 0, 0, 33, 22, WindowFrame::FrameTool);
    EXPECT_TRUE(loadLayout(none, "absent")) << "a readable file without the section";
    EXPECT_EQ(none.backBuffer()->width(), 33);
    EXPECT_TRUE(none.widgets().empty());
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(LayoutTest, ASecondSectionResizesRetitlesRefillsItsAreaAndAppends) {
    res.writeText("dialog.txt",
                  ".D common 200 100 Common\n.B 0 0 0 10 10 a\n..\n"
                  ".D own 120 60 Own\n.B 5 0 20 10 10 b\n..\n");
    Window window(nullptr, 0, 0, 10, 10, WindowFrame::FramePopup);
    ASSERT_TRUE(loadLayout(window, "common"));
    window.backBuffer()->fillRect(0, 0, 200, 100, 0x123456);
    ASSERT_TRUE(loadLayout(window, "own"));
    EXPECT_EQ(window.platformWindow()->windowTitle().toStdString(), "Own");
    EXPECT_EQ(window.platformWindow()->width(), 120);
    EXPECT_EQ(window.backBuffer()->width(), 200) << "the back buffer never shrinks";
    EXPECT_EQ(pixelAt(window, 50, 30), static_cast<uint32_t>(faceColour()));
    EXPECT_EQ(pixelAt(window, 150, 80), 0x123456u) << "only the new section's rectangle is refilled";
    ASSERT_EQ(window.widgets().size(), 2u);
    EXPECT_EQ(window.widgets()[1]->id(), 5);
}

TEST_F(LayoutTest, MissingPicturesAreReportedAndSkipped) {
    res.writeText("dialog.txt",
                  ".D pics 100 100 Pictures\n"
                  ".I 1 0 0 0 0 nothing\n"
                  ".P 0 0 0 0 gone.png\n"
                  ".I 2 0 0 0 0 half\n"
                  "..\n");
    res.writeImage("halfn.png", 10, 10, 0xFF0000FF);
    DialogWindow window(nullptr, "pics");
    ASSERT_EQ(window.widgets().size(), 1u);
    auto* half = static_cast<ImageButton*>(window.widgets()[0]);
    EXPECT_EQ(half->image(ImageButton::Pressed), nullptr);
    const std::vector<std::string>& seen = messages.messages();
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[1], "No image data for ImageButton (nothing)");
    EXPECT_EQ(seen[3], "No image data for Image (gone.png)");
    EXPECT_EQ(seen[4], "Cannot read image resource (halfp.png)");
    EXPECT_EQ(seen[6], "Cannot read image resource (halfd.png)");
}

TEST_F(LayoutTest, AnUnreadableFileReportsTheDialogName) {
    res.writeText("res.txt", "e_no_dialog Layout %s is missing\n");
    DialogWindow window(nullptr, "lmnothing");
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0], "Layout lmnothing is missing");
    EXPECT_EQ(window.platformWindow()->width(), 10);
    EXPECT_TRUE(window.widgets().empty());

    auto previous = setResources(std::make_unique<Resources>());
    Window plain(nullptr, 0, 0, 10, 10, WindowFrame::FrameTool);
    EXPECT_FALSE(loadLayout(plain, "x")) << "no resource directory";
    setResources(std::move(previous));
}

TEST_F(LayoutTest, HostileSizesAndLongLinesStayBounded) {
    std::string longCaption(3000, 'w');
    res.writeText("dialog.txt",
                  ".D big 99999999 -5 " + longCaption + "\n" +
                  ".B 0 0 0 99999999 99999999 " + longCaption + "\n"
                  ".B 1 0 0 1 99999999999999999999 overflow is no number\n"
                  ".B 2 x y 1 1 letters are no numbers\n"
                  ".B\n.\n" + std::string(1023, ' ') + ".B 3 0 0 5 5 second piece of a long line\n..\n");
    Window window(nullptr, 0, 0, 10, 10, WindowFrame::FrameTool);
    ASSERT_TRUE(loadLayout(window, "big"));
    EXPECT_EQ(window.backBuffer()->width(), kLayoutMaxSize);
    EXPECT_EQ(window.backBuffer()->height(), 1) << "a wider client gets a buffer of exactly its size";
    EXPECT_EQ(window.platformWindow()->windowTitle().size(), static_cast<int>(kLayoutTextLimit));
    ASSERT_EQ(window.widgets().size(), 2u);
    EXPECT_EQ(window.widgets()[0]->width(), kLayoutMaxSize);
    EXPECT_EQ(window.widgets()[1]->id(), 3);
}

TEST(LayoutLineTest, ParsesEveryKindAndRejectsBrokenLines) {
    auto d = parseLayoutLine(".D lmwin 720 540 VELTRO Lite  ");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->name, "lmwin");
    EXPECT_EQ(d->width, 720);
    EXPECT_EQ(d->text, "VELTRO Lite");
    auto b = parseLayoutLine(".B\t7 -3 +4 50 20 Open  file");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->id, 7);
    EXPECT_EQ(b->x, -3);
    EXPECT_EQ(b->y, 4);
    EXPECT_EQ(b->text, "Open  file");
    auto l = parseLayoutLine(".L 1 2 3 4");
    ASSERT_TRUE(l);
    EXPECT_EQ(l->text, "");
    EXPECT_EQ(parseLayoutLine("..")->kind, '.');
    EXPECT_FALSE(parseLayoutLine(""));
    EXPECT_FALSE(parseLayoutLine("."));
    EXPECT_FALSE(parseLayoutLine("B 1 2 3 4 5"));
    EXPECT_FALSE(parseLayoutLine(".b 1 2 3 4 5 lower case is another kind"));
    EXPECT_FALSE(parseLayoutLine(".E 1 2 3 4"));
    EXPECT_FALSE(parseLayoutLine(".E 1 2 3 4x 5"));
    EXPECT_FALSE(parseLayoutLine(".D"));
    EXPECT_FALSE(parseLayoutLine(std::string_view(".B 1\0 2 3 4 5", 13)));
}

}  // namespace
}  // namespace veltro
