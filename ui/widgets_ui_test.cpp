// The drawn widgets on real windows: the slider's value rule at its edges,
// keys, wheel and tracking flag; drawn and image buttons firing, painting and
// falling back when pictures are missing.
#include <gtest/gtest.h>

#include <QTest>

#include "ui/drawn_button.h"
#include "ui/image_button.h"
#include "ui/slider.h"
#include "ui/ui_test_support.h"
#include "ui/window.h"

namespace veltro {
namespace {

using testing::pixelAt;

// Records each command with the slider's value and tracking flag at that
// moment.
class CommandWindow : public Window {
public:
    CommandWindow() : Window(nullptr, 0, 0, 300, 200, WindowFrame::FramePopup) {}
    void onCommand(int id) override {
        commands.push_back(id);
        if (auto* slider = dynamic_cast<Slider*>(widgetById(id)))
            seen.push_back({slider->value(), slider->isTracking()});
    }
    std::vector<int> commands;
    std::vector<std::pair<int, bool>> seen;
};

class WidgetsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override { window.show(true); }
    void TearDown() override { testing::settle(); }
    QWidget* platform() { return window.platformWindow(); }
    CommandWindow window;
};

TEST_F(WidgetsTest, SliderDragFollowsTheValueRuleAndClampsAtTheEdges) {
    auto* slider = window.addWidget(std::make_unique<Slider>(&window, 0, 0, 100, 20, 3, true));
    QTest::mouseMove(platform(), QPoint(10, 10));
    QTest::mousePress(platform(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(slider->value(), 0);
    QTest::mouseMove(platform(), QPoint(50, 10));
    EXPECT_EQ(slider->value(), 50);  // (50 - 10) * 101 / 80
    QTest::mouseMove(platform(), QPoint(90, 10));
    EXPECT_EQ(slider->value(), 100) << "101 is clamped to the maximum";
    QTest::mouseMove(platform(), QPoint(12, 10));
    EXPECT_EQ(slider->value(), 2);
    // Beyond the slider the pointer moves over something else: the value stays.
    QTest::mouseMove(platform(), QPoint(250, 10));
    EXPECT_EQ(slider->value(), 2);
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, QPoint(250, 10));
    ASSERT_GE(window.seen.size(), 2u);
    EXPECT_TRUE(window.seen.front().second) << "dragging tracks";
    EXPECT_FALSE(window.seen.back().second) << "release ends tracking before the command";
    EXPECT_FALSE(slider->isTracking());

    // Without the button held, moving over it changes nothing.
    size_t commands = window.commands.size();
    QTest::mouseMove(platform(), QPoint(60, 10));
    EXPECT_EQ(window.commands.size(), commands);
}

TEST_F(WidgetsTest, VerticalSliderUsesItsHeight) {
    auto* slider = window.addWidget(std::make_unique<Slider>(&window, 10, 10, 20, 110, 4, false));
    slider->setRange(-5, 5);
    EXPECT_FALSE(slider->isHorizontal());
    // L = 110, t = 22: (p - 11) * 11 / 88 - 5.
    QTest::mousePress(platform(), Qt::LeftButton, {}, QPoint(15, 10 + 11 + 44));
    EXPECT_EQ(slider->value(), 0);
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, QPoint(15, 65));
    EXPECT_EQ(slider->cursor(), kCursorSizeVertical);
}

TEST_F(WidgetsTest, SliderKeysStepInsideTheRangeAndAreAlwaysConsumed) {
    auto* slider = window.addWidget(std::make_unique<Slider>(&window, 0, 0, 100, 20, 5, true));
    slider->setRange(0, 2);
    EXPECT_TRUE(slider->onKey(kKeyLeft));
    EXPECT_TRUE(window.commands.empty()) << "at the minimum nothing changes or fires";
    EXPECT_TRUE(slider->onKey(kKeyRight));
    EXPECT_TRUE(slider->onKey(kKeyDown));
    EXPECT_TRUE(slider->onKey(kKeyDown));
    EXPECT_EQ(slider->value(), 2);
    EXPECT_TRUE(slider->onKey(kKeyUp));
    EXPECT_EQ(slider->value(), 1);
    EXPECT_FALSE(slider->onKey('a'));
    EXPECT_EQ(window.seen, (std::vector<std::pair<int, bool>>{{1, false}, {2, false}, {1, false}}));

    EXPECT_TRUE(slider->onWheel(5));
    EXPECT_EQ(slider->value(), 0) << "the wheel lowers the value, clamped";
    EXPECT_TRUE(window.seen.back().second) << "the wheel tracks";
    EXPECT_TRUE(slider->onWheel(-1));
    EXPECT_EQ(slider->value(), 1);
}

TEST_F(WidgetsTest, SliderPaintsItsThumbAndNothingMoreWithAnEmptyRange) {
    auto* slider = window.addWidget(std::make_unique<Slider>(&window, 0, 0, 100, 20, 6, true));
    slider->setValue(100);
    slider->draw();
    // Thumb 20 wide at the right end: its white top edge, black right edge.
    EXPECT_EQ(pixelAt(window, 85, 1), 0xFFFFFFu);
    EXPECT_EQ(pixelAt(window, 98, 10), 0x000000u);
    EXPECT_EQ(pixelAt(window, 40, 10), 0xE0E0E0u);

    slider->setRange(7, 7);
    slider->draw();
    for (int x = 0; x < 100; x += 9)
        EXPECT_EQ(pixelAt(window, x, 1), 0xE0E0E0u) << x;
    EXPECT_TRUE(slider->onWheel(1));
    EXPECT_EQ(slider->value(), 7);
}

TEST_F(WidgetsTest, DrawnButtonFiresOnSpaceAndEnterAndPaintsItsStates) {
    auto* button = window.addWidget(std::make_unique<DrawnButton>(&window, 10, 10, 80, 30, 9, "Go"));
    EXPECT_TRUE(button->onKey(kKeySpace));
    EXPECT_TRUE(button->onKey(kKeyEnter));
    EXPECT_FALSE(button->onKey('x'));
    EXPECT_EQ(window.commands, (std::vector<int>{9, 9}));

    button->draw();
    EXPECT_EQ(pixelAt(window, 12, 11), 0xFFFFFFu) << "raised: white top edge";
    EXPECT_EQ(pixelAt(window, 88, 20), 0x000000u) << "black outer right edge";
    EXPECT_EQ(pixelAt(window, 15, 15), 0xC0C0C0u);
    QTest::mouseMove(platform(), QPoint(20, 20));
    EXPECT_EQ(pixelAt(window, 15, 15), 0xE0E0E0u) << "lit under the pointer";
    QTest::mousePress(platform(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(pixelAt(window, 11, 11), 0x606060u) << "sunken while pressed";
    EXPECT_EQ(pixelAt(window, 10, 10), 0x000000u) << "focus outline";
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(window.commands.size(), 3u);

    button->setEnabled(false);
    button->draw();
    bool engraved = false;
    for (int y = 12; y < 38 && !engraved; ++y)
        for (int x = 12; x < 88 && !engraved; ++x)
            engraved = pixelAt(window, x, y) == 0x808080u;
    EXPECT_TRUE(engraved) << "a disabled caption is drawn in grey";
}

TEST_F(WidgetsTest, ImageButtonShowsTheImageOfItsStateAndFallsBack) {
    window.backBuffer()->fillRect(0, 0, 300, 200, 0x336699);
    ImagePtr normal = std::make_unique<ImageBuffer>(20, 20);
    for (uint32_t& p : normal->pixels)
        p = 0xFF00FF00;
    normal->at(0, 0) = 0x00000000;  // a transparent corner shows the background
    normal->hasAlpha = 1;
    ImagePtr rollover = copyImage(*normal);
    for (uint32_t& p : rollover->pixels)
        p = isSetPixel(p) ? 0xFFFF0000 : p;

    auto* button = window.addWidget(std::make_unique<ImageButton>(&window, 50, 50, 20, 20, 11, "b"));
    button->setOwnedImage(ImageButton::Normal, std::move(normal));
    button->setOwnedImage(ImageButton::Rollover, std::move(rollover));
    EXPECT_EQ(button->ownership(), 0b0101) << "normal and rollover";
    button->draw();
    ASSERT_NE(button->background(), nullptr);
    EXPECT_EQ(pixelAt(window, 55, 55), 0x00FF00u);
    EXPECT_EQ(pixelAt(window, 50, 50), 0x336699u);

    QTest::mouseMove(platform(), QPoint(55, 55));
    EXPECT_EQ(pixelAt(window, 55, 55), 0xFF0000u) << "rollover under the pointer";
    QTest::mousePress(platform(), Qt::LeftButton, {}, QPoint(55, 55));
    // No pressed image: the normal one, two pixels right and down.
    EXPECT_EQ(pixelAt(window, 51, 51), 0x336699u);
    EXPECT_EQ(pixelAt(window, 53, 53), 0x00FF00u);
    QTest::mouseMove(platform(), QPoint(200, 150));
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_TRUE(window.commands.empty()) << "released outside: nothing fires";

    button->setEnabled(false);
    button->draw();
    EXPECT_EQ(pixelAt(window, 55, 55), 0x336699u) << "disabled without a picture: only the background";

    // Without a normal image it paints as a drawn button.
    auto* plain = window.addWidget(std::make_unique<ImageButton>(&window, 100, 100, 40, 20, 12, "none"));
    plain->draw();
    EXPECT_EQ(pixelAt(window, 102, 101), 0xFFFFFFu);
    plain->setVisible(false);
    window.backBuffer()->fillRect(100, 100, 40, 20, 0x112233);
    plain->draw();
    EXPECT_EQ(pixelAt(window, 102, 101), 0x112233u) << "invisible buttons paint nothing";
}

TEST_F(WidgetsTest, ACommandHandlerMayDeleteTheButton) {
    class DeletingWindow : public Window {
    public:
        DeletingWindow() : Window(nullptr, 0, 0, 100, 100, WindowFrame::FramePopup) {}
        void onCommand(int) override { deleteWidgets(); }
    } deleting;
    deleting.show(true);
    auto* button = deleting.addWidget(std::make_unique<DrawnButton>(&deleting, 0, 0, 50, 20, 1, "x"));
    EXPECT_TRUE(button->onKey(kKeyEnter));
    EXPECT_TRUE(deleting.widgets().empty());
}

}  // namespace
}  // namespace veltro
