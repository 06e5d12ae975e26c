// AppWindow on the offscreen platform: mini mode from double presses on the
// strip, dragging, the quit chain with its single question, the ignored quit
// key and the help pages.
#include "app/base/app_window.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/base/app_state.h"
#include "app/base/app_test_support.h"
#include "services/desktop.h"
#include "ui/native_control.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

// An application window with its own help page, like the edit window.
class EditLikeWindow : public AppWindow {
public:
    explicit EditLikeWindow(Window* owner) : AppWindow(owner, 0, 0, 100, 100) {}
    std::string helpPage() const override { return "edit.html"; }
};

class AppWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        // Each test starts well after the last press of the one before.
        static int64_t start = 1000000;
        start += 100000;
        m_now = start;
        setProcessClock([this] { return m_now; });
    }
    void TearDown() override {
        setProcessClock({});
        testing::settle();
    }

    // A real left press and release at (x, y) of the window's client area.
    void pressStrip(Window& window, int x, int y) {
        QTest::mousePress(window.platformWindow(), Qt::LeftButton, {}, QPoint(x, y));
        QTest::mouseRelease(window.platformWindow(), Qt::LeftButton, {}, QPoint(x, y));
    }
    void advance(int64_t ms) { m_now += ms; }

    testing::ShippedResources m_shipped;
    int64_t m_now = 0;
};

TEST_F(AppWindowTest, CarriesTheStripButtonsWithRestoreHidden) {
    AppWindow window(nullptr, 0, 0, 100, 100);
    for (int id : {kCommandQuit, kCommandMini, kCommandRestore, kCommandHelp})
        ASSERT_NE(window.widgetById(id), nullptr) << id;
    EXPECT_FALSE(window.widgetById(kCommandRestore)->isVisible());
    EXPECT_TRUE(window.widgetById(kCommandQuit)->isVisible());
    EXPECT_EQ(window.platformWindow()->windowTitle().toStdString(), "VELTRO Lite");
    EXPECT_TRUE(window.platformWindow()->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(AppWindowTest, TwoStripPressesWithinHalfASecondToggleMiniModeAndBack) {
    AppWindow window(nullptr, 0, 0, 100, 100);
    window.show(true);
    window.drawWidgets();
    // A mark in the strip that mini mode must keep and give back.
    window.backBuffer()->fillRect(20, 10, 8, 8, 0x123456);
    pressStrip(window, 50, 20);
    advance(400);
    pressStrip(window, 60, 20);
    ASSERT_TRUE(window.isMini());
    EXPECT_EQ(window.platformWindow()->width(), kStripWidth);
    EXPECT_EQ(window.platformWindow()->height(), kStripHeight);
    EXPECT_TRUE(window.widgetById(kCommandRestore)->isVisible());
    EXPECT_NE(testing::pixelAt(window, 24, 14), 0x123456u) << "the icon covers the strip";
    testing::saveScreenshot(window, "app_window_mini");

    // The press that toggled is used up: a third quick press does not toggle back.
    advance(100);
    pressStrip(window, 60, 20);
    EXPECT_TRUE(window.isMini());

    // The restore button gives the window its size and its strip back.
    QTest::mouseClick(window.platformWindow(), Qt::LeftButton, {}, QPoint(170, 20));
    EXPECT_FALSE(window.isMini());
    EXPECT_EQ(window.platformWindow()->width(), 720);
    EXPECT_EQ(window.platformWindow()->height(), 540);
    EXPECT_FALSE(window.widgetById(kCommandRestore)->isVisible());
    EXPECT_EQ(testing::pixelAt(window, 24, 14), 0x123456u);
}

TEST_F(AppWindowTest, PressesSixHundredMillisecondsApartStartTwoDrags) {
    AppWindow window(nullptr, 0, 0, 100, 100);
    window.show(true);
    pressStrip(window, 50, 20);
    advance(600);
    pressStrip(window, 60, 20);
    EXPECT_FALSE(window.isMini());
    // Right of the strip width, or below the strip, presses never toggle.
    advance(600);
    pressStrip(window, 300, 20);
    advance(100);
    pressStrip(window, 310, 20);
    EXPECT_FALSE(window.isMini());
    advance(600);
    pressStrip(window, 50, 100);
    advance(100);
    pressStrip(window, 50, 100);
    EXPECT_FALSE(window.isMini());
}

TEST_F(AppWindowTest, MiniModeFollowsUpTheOwnerChain) {
    AppWindow main(nullptr, 0, 0, 100, 100);
    EditLikeWindow edit(&main);
    main.show(true);
    edit.show(true);
    edit.onCommand(kCommandMini);
    EXPECT_TRUE(edit.isMini());
    EXPECT_TRUE(main.isMini());
    edit.onCommand(kCommandRestore);
    EXPECT_FALSE(edit.isMini());
    EXPECT_FALSE(main.isMini());
    EXPECT_EQ(main.platformWindow()->width(), 720);
}

TEST_F(AppWindowTest, DraggingTheStripMovesTheWindowAndItsOwnerTogether) {
    AppWindow main(nullptr, 0, 0, 100, 100);
    EditLikeWindow edit(&main);
    main.show(true);
    edit.show(true);
    edit.moveTo(100, 80);
    main.moveTo(100, 80);
    QWidget* widget = edit.platformWindow();
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(300, 20));
    ASSERT_TRUE(edit.isDragging());
    QTest::mouseMove(widget, QPoint(350, 60));
    int left = 0, top = 0;
    edit.outerRect(&left, &top, nullptr, nullptr);
    EXPECT_EQ(left, 150);
    EXPECT_EQ(top, 120);
    main.outerRect(&left, &top, nullptr, nullptr);
    EXPECT_EQ(left, 150);
    EXPECT_EQ(top, 120);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(350, 60));
    EXPECT_FALSE(edit.isDragging());
}

TEST_F(AppWindowTest, TheStripShowsTheMoveCursorAndTheRestThePointer) {
    AppWindow window(nullptr, 0, 0, 100, 100);
    window.show(true);
    QTest::mouseMove(window.platformWindow(), QPoint(300, 20));
    EXPECT_EQ(window.cursorIndex(), kCursorMove);
    QTest::mouseMove(window.platformWindow(), QPoint(300, 200));
    EXPECT_EQ(window.cursorIndex(), kCursorPointer);
}

TEST_F(AppWindowTest, QuitFromAnOwnedWindowAsksOnceAndClosesTheWholeChain) {
    AppWindow main(nullptr, 0, 0, 100, 100);
    main.show(true);
    int questions = 0;
    std::string asked;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind == DialogKind::Choice) {
            ++questions;
            asked = dialog.text;
            dialog.window->onCommand(0);  // "Quit"
        } else if (dialog.kind == DialogKind::ModalWindow) {
            // The user presses the quit button of the edit-like window.
            Widget* quit = dialog.window->widgetById(kCommandQuit);
            QTest::mouseClick(dialog.window->platformWindow(), Qt::LeftButton, {},
                              QPoint(quit->x() + 5, quit->y() + 5));
        }
    });
    EditLikeWindow edit(&main);
    int result = edit.runModal();
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(quitConfirmed());
    // The caller treats -1 by closing itself the same way: no second question.
    main.onCommand(kCommandQuit);
    EXPECT_FALSE(main.exists());
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(asked, "Quit VELTRO Lite?");
}

TEST_F(AppWindowTest, StayingKeepsEveryWindowOpen) {
    AppWindow main(nullptr, 0, 0, 100, 100);
    main.show(true);
    int questions = 0;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind == DialogKind::Choice) {
            ++questions;
            dialog.window->onCommand(1);  // "Stay"
        } else if (dialog.kind == DialogKind::ModalWindow && questions == 0) {
            dialog.window->onCommand(kCommandQuit);
            // Still running after "Stay": the window ends its run itself.
            EXPECT_TRUE(dialog.window->isModalRunning());
            EXPECT_TRUE(dialog.window->exists());
            dialog.window->endModal(0);
        }
    });
    EditLikeWindow edit(&main);
    EXPECT_EQ(edit.runModal(), 0);
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(quitConfirmed());
    main.onCommand(kCommandQuit);
    EXPECT_TRUE(main.exists());
    EXPECT_EQ(questions, 2);
}

TEST_F(AppWindowTest, TheQuitKeyNeverEndsTheProgramFromAnApplicationWindow) {
    // The bare platform window ends the loop on "q" (so this test can fail).
    {
        Window plain(nullptr, 0, 0, 50, 50, WindowFrame::FramePopup);
        plain.show(true);
        QTimer::singleShot(0, plain.platformWindow(), [&] { QTest::keyClick(plain.platformWindow(), 'q'); });
        QTimer::singleShot(2000, plain.platformWindow(), [&] { plain.destroy(); });
        runEventLoop();
        EXPECT_TRUE(plain.exists()) << "a bare window's quit key ends the loop at once";
        plain.destroy();
    }
    AppWindow main(nullptr, 0, 0, 100, 100);
    main.show(true);
    bool loopRanOn = false;
    QTimer::singleShot(0, main.platformWindow(), [&] { QTest::keyClick(main.platformWindow(), 'q'); });
    QTimer::singleShot(200, main.platformWindow(), [&] {
        loopRanOn = eventLoopRunning();
        main.destroy();
    });
    runEventLoop();
    EXPECT_TRUE(loopRanOn);
}

TEST_F(AppWindowTest, HelpOpensTheWindowsPageFromTheDocFolder) {
    std::vector<std::string> opened;
    DocumentOpener previous = setDocumentOpener([&](const std::string& url) {
        opened.push_back(url);
        return false;  // a failure is ignored
    });
    AppWindow main(nullptr, 0, 0, 100, 100);
    EditLikeWindow edit(&main);
    main.onCommand(kCommandHelp);
    edit.onCommand(kCommandHelp);
    setDocumentOpener(std::move(previous));
    ASSERT_EQ(opened.size(), 2u);
    std::string doc = "file://" + std::filesystem::absolute(testing::distDirectory()).string() + "/doc/";
    EXPECT_EQ(opened[0], doc + "index.html");
    EXPECT_EQ(opened[1], doc + "edit.html");
    EXPECT_TRUE(main.exists());
}

}  // namespace
}  // namespace veltro
