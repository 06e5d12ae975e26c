// Window, Widget and the event loop driven through real Qt events on the
// offscreen platform: key translation and routing, mouse routing, the back
// buffer, the top-level registry, modal runs, wheel routing, dropped files,
// control notifications and cursors.
#include "ui/window.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "ui/dialog_window.h"
#include "ui/dialogs.h"
#include "ui/drawn_button.h"
#include "ui/native_control.h"
#include "ui/slider.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::pixelAt;
using testing::settle;

// A window that records what reaches its own handlers.
class RecordingWindow : public Window {
public:
    RecordingWindow(Window* owner = nullptr, int x = 0, int y = 0, int w = 200, int h = 100)
        : Window(owner, x, y, w, h, WindowFrame::FramePopup) {}
    void onKey(int code) override { keys.push_back(code); }
    void onLeftDown(int x, int y, int) override { downs.push_back({x, y}); }
    void onLeftUp(int x, int y, int) override { ups.push_back({x, y}); }
    void onRightDown(int x, int y, int) override { rightDowns.push_back({x, y}); }
    void onCommand(int id) override { commands.push_back(id); }
    void onDropFile(const std::string& path, int x, int y) override { drops.push_back({path, x, y}); }
    void onSize(int w, int h) override { sizes.push_back({w, h}); }

    struct Drop {
        std::string path;
        int x, y;
    };
    std::vector<int> keys, commands;
    std::vector<QPoint> downs, ups, rightDowns, sizes;
    std::vector<Drop> drops;
};

// A widget that records its calls and consumes everything.
class ProbeWidget : public Widget {
public:
    ProbeWidget(Window* parent, int x, int y, int w, int h, int id) : Widget(parent, x, y, w, h, id) {}
    bool onKey(int code) override {
        keys.push_back(code);
        return consumeKeys;
    }
    bool onButtonDown(int x, int y) override {
        log.push_back("down " + std::to_string(x) + "," + std::to_string(y));
        return true;
    }
    bool onButtonUp(int x, int y) override {
        log.push_back("up " + std::to_string(x) + "," + std::to_string(y));
        return true;
    }
    void onEnter(int, int) override { log.push_back("enter"); }
    void onLeave(int, int) override { log.push_back("leave"); }
    bool onMouseMove(int, int) override { return true; }
    bool onWheel(int steps) override {
        wheel += steps;
        return consumeWheel;
    }
    std::vector<int> keys;
    std::vector<std::string> log;
    bool consumeKeys = true;
    bool consumeWheel = true;
    int wheel = 0;
};

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void TearDown() override { settle(); }
};

// ---- keys ----

TEST_F(WindowTest, TranslationTableAndCharactersReachOnKey) {
    RecordingWindow window;
    window.show(true);
    QWidget* w = window.platformWindow();
    QTest::keyClick(w, Qt::Key_Left);
    QTest::keyClick(w, Qt::Key_Right);
    QTest::keyClick(w, Qt::Key_Up);
    QTest::keyClick(w, Qt::Key_Down);
    QTest::keyClick(w, Qt::Key_Home);
    QTest::keyClick(w, Qt::Key_End);
    QTest::keyClick(w, Qt::Key_Delete);
    QTest::keyClick(w, Qt::Key_Return);
    QTest::keyClick(w, Qt::Key_Space);
    QTest::keyClick(w, Qt::Key_Backspace);
    QTest::keyClick(w, Qt::Key_A);
    QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.keys, (std::vector<int>{2, 6, 16, 14, 1, 5, 4, 13, 32, 8, 'a', 26}));
}

TEST_F(WindowTest, TypingQStopsTheEventLoopOnlyInAPlainWindow) {
    Window plain(nullptr, 0, 0, 50, 50, WindowFrame::FramePopup);
    plain.show(true);
    bool timedOut = false;
    QTimer::singleShot(20, [&] { QTest::keyClick(plain.platformWindow(), Qt::Key_Q); });
    QTimer::singleShot(3000, [&] {
        timedOut = true;
        quitEventLoop();
    });
    runEventLoop();
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(plain.exists());

    // A focus widget that consumes the key keeps it from the window.
    auto* probe = plain.addWidget(std::make_unique<ProbeWidget>(&plain, 0, 0, 10, 10, 1));
    plain.setFocusWidget(probe);
    QTimer::singleShot(20, [&] { QTest::keyClick(plain.platformWindow(), Qt::Key_Q); });
    QTimer::singleShot(300, [&] { quitEventLoop(); });
    bool stillRunningAfterQ = false;
    QTimer::singleShot(150, [&] { stillRunningAfterQ = eventLoopRunning(); });
    runEventLoop();
    EXPECT_TRUE(stillRunningAfterQ);
    EXPECT_EQ(probe->keys, std::vector<int>{'q'});
}

TEST_F(WindowTest, TabCyclesTheFocusAndALoneWidgetKeepsIt) {
    RecordingWindow window;
    window.show(true);
    auto* a = window.addWidget(std::make_unique<ProbeWidget>(&window, 0, 0, 10, 10, 1));
    auto* b = window.addWidget(std::make_unique<ProbeWidget>(&window, 20, 0, 10, 10, 2));
    auto* c = window.addWidget(std::make_unique<ProbeWidget>(&window, 40, 0, 10, 10, 3));
    window.setFocusWidget(c);
    QTest::keyClick(window.platformWindow(), Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), a);
    b->setEnabled(false);
    QTest::keyClick(window.platformWindow(), Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), c);
    // No focus widget: the walk starts after the last place.
    window.setFocusWidget(nullptr);
    QTest::keyClick(window.platformWindow(), Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), a);
    EXPECT_TRUE(window.keys.empty());

    a->setVisible(false);
    window.setFocusWidget(c);
    QTest::keyClick(window.platformWindow(), Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), c) << "the only eligible widget keeps the focus";
    EXPECT_TRUE(window.keys.empty()) << "Tab is consumed even when nothing moved";
    EXPECT_TRUE(a->keys.empty() && c->keys.empty());
}

TEST_F(WindowTest, KeysGoToTheFocusWidgetFirst) {
    RecordingWindow window;
    window.show(true);
    auto* probe = window.addWidget(std::make_unique<ProbeWidget>(&window, 0, 0, 10, 10, 1));
    QTest::keyClick(window.platformWindow(), Qt::Key_X);
    EXPECT_EQ(window.keys, std::vector<int>{'x'}) << "no focus widget: the window gets the key";
    window.setFocusWidget(probe);
    QTest::keyClick(window.platformWindow(), Qt::Key_Left);
    EXPECT_EQ(probe->keys, std::vector<int>{2});
    probe->consumeKeys = false;
    QTest::keyClick(window.platformWindow(), Qt::Key_Y);
    EXPECT_EQ(window.keys, (std::vector<int>{'x', 'y'}));

    // A window without widgets hands Tab to onKey.
    RecordingWindow empty;
    empty.show(true);
    QTest::keyClick(empty.platformWindow(), Qt::Key_Tab);
    EXPECT_EQ(empty.keys, std::vector<int>{9});
}

TEST_F(WindowTest, PumpHandsTabInANativeControlToTheWindowRouting) {
    RecordingWindow window;
    auto* edit = window.addWidget(std::make_unique<EditField>(&window, 0, 0, 80, 20, 0));
    auto* probe = window.addWidget(std::make_unique<ProbeWidget>(&window, 100, 0, 10, 10, 1));
    window.show(true);
    window.setFocusWidget(edit);
    QCoreApplication::postEvent(edit->nativeHandle(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
    pumpMessages(&window);
    EXPECT_EQ(window.focusWidget(), probe);
    EXPECT_TRUE(window.keys.empty());
    // Other keys typed into the control stay with it.
    window.setFocusWidget(edit);
    QTest::keyClicks(edit->nativeHandle(), "hi");
    EXPECT_EQ(edit->text(), "hi");
    EXPECT_TRUE(window.keys.empty());
}

// ---- mouse ----

TEST_F(WindowTest, AButtonFiresOnlyWhenReleasedOverIt) {
    RecordingWindow window;
    window.show(true);
    auto* button = window.addWidget(std::make_unique<DrawnButton>(&window, 10, 10, 60, 30, 42, "OK"));
    QWidget* w = window.platformWindow();

    QTest::mouseMove(w, QPoint(20, 20));
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(window.pressedWidget(), button);
    EXPECT_EQ(window.focusWidget(), button);
    QTest::mouseMove(w, QPoint(150, 80));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(150, 80));
    EXPECT_TRUE(window.commands.empty()) << "released outside: no command";
    EXPECT_TRUE(window.ups.empty()) << "the release was consumed by the pressed widget";
    EXPECT_EQ(window.pressedWidget(), nullptr);

    QTest::mouseMove(w, QPoint(20, 20));
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(25, 22));
    EXPECT_EQ(window.commands, std::vector<int>{42});
}

TEST_F(WindowTest, PressReleaseAndHoverAreRoutedRelativeToTheWidget) {
    RecordingWindow window;
    window.show(true);
    auto* probe = window.addWidget(std::make_unique<ProbeWidget>(&window, 50, 40, 30, 30, 1));
    QWidget* w = window.platformWindow();
    QTest::mouseMove(w, QPoint(55, 45));
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(55, 45));
    QTest::mouseMove(w, QPoint(5, 5));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(probe->log, (std::vector<std::string>{"enter", "down 5,5", "leave", "up -45,-35"}));
    EXPECT_TRUE(window.downs.empty());

    // A press on empty space reaches the window and clears the focus.
    window.setFocusWidget(probe);
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(150, 90));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(150, 90));
    EXPECT_EQ(window.downs, std::vector<QPoint>{QPoint(150, 90)});
    EXPECT_EQ(window.ups, std::vector<QPoint>{QPoint(150, 90)});
    EXPECT_EQ(window.focusWidget(), nullptr);

    // The right button uses the same routing.
    QTest::mousePress(w, Qt::RightButton, {}, QPoint(60, 50));
    QTest::mouseRelease(w, Qt::RightButton, {}, QPoint(60, 50));
    EXPECT_TRUE(window.rightDowns.empty());
    EXPECT_EQ(probe->log.back(), "up 10,10");
}

TEST_F(WindowTest, RemovingAWidgetClearsEveryReference) {
    RecordingWindow window;
    auto* probe = window.addWidget(std::make_unique<ProbeWidget>(&window, 0, 0, 10, 10, 7));
    auto* other = window.addWidget(std::make_unique<ProbeWidget>(&window, 20, 0, 10, 10, 8));
    window.setFocusWidget(other);
    EXPECT_EQ(window.widgetById(8), other);
    window.removeWidget(probe);
    EXPECT_EQ(window.focusWidget(), nullptr);
    EXPECT_EQ(window.widgets().size(), 1u);
    EXPECT_EQ(window.widgetById(7), nullptr);
    EXPECT_EQ(window.widgetAt(25, 5), other);
    other->setEnabled(false);
    EXPECT_EQ(window.widgetAt(25, 5), nullptr);
    EXPECT_EQ(window.widgetAt(30, 5), nullptr) << "the right edge is outside";
}

// ---- back buffer ----

TEST_F(WindowTest, BackBufferGrowsWithTheClientAndNeverShrinks) {
    RecordingWindow window(nullptr, 0, 0, 200, 100);
    EXPECT_EQ(pixelAt(window, 0, 0), 0xFFFFFFu);
    window.backBuffer()->fillRect(0, 0, 10, 10, 0x123456);
    window.resizeClient(150, 60);
    EXPECT_EQ(window.backBuffer()->width(), 200);
    EXPECT_EQ(window.backBuffer()->height(), 100);
    window.resizeClient(260, 60);
    EXPECT_EQ(window.backBuffer()->width(), 260) << "wider: a buffer of exactly the new size";
    EXPECT_EQ(window.backBuffer()->height(), 60);
    EXPECT_EQ(pixelAt(window, 5, 5), 0x123456u) << "old content kept at the top-left";
    EXPECT_EQ(pixelAt(window, 255, 5), 0xFFFFFFu);
    EXPECT_EQ(window.sizes.back(), QPoint(260, 60));

    // Painting copies the back buffer and nothing else.
    window.show(true);
    settle();
    EXPECT_EQ(std::count(window.sizes.begin(), window.sizes.end(), QPoint(260, 60)), 1)
        << "each new size is reported once";
    window.clear();
    window.backBuffer()->fillRect(0, 0, 20, 20, 0x00FF00);
    window.flush();
    QImage shot = window.platformWindow()->grab().toImage();
    EXPECT_EQ(shot.pixel(10, 10) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(shot.pixel(100, 40) & 0xFFFFFF, 0x808080u);
}

TEST_F(WindowTest, DestroyedWindowIgnoresDrawing) {
    RecordingWindow window;
    window.destroy();
    EXPECT_FALSE(window.exists());
    EXPECT_EQ(window.backBuffer(), nullptr);
    window.clear();
    window.flush();
    window.setTitle("x");
    window.center();
    EXPECT_EQ(window.showMessage("nobody sees this"), 0);
    window.destroy();
}

TEST_F(WindowTest, AWindowInsideItsOwnerGoesWithIt) {
    auto owner = std::make_unique<Window>(nullptr, 0, 0, 200, 200, WindowFrame::FramePopup);
    Window inside(owner.get(), 10, 10, 50, 50, WindowFrame::FrameMain);
    EXPECT_EQ(inside.platformWindow()->parentWidget(), owner->platformWindow());
    owner.reset();
    EXPECT_FALSE(inside.exists()) << "destroyed with its owner's platform window";
    inside.flush();
}

TEST_F(WindowTest, LeavingTheWindowUnlightsTheHoverWidget) {
    RecordingWindow window;
    window.show(true);
    auto* probe = window.addWidget(std::make_unique<ProbeWidget>(&window, 0, 0, 50, 50, 1));
    QTest::mouseMove(window.platformWindow(), QPoint(10, 10));
    EXPECT_EQ(window.hoverWidget(), probe);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window.platformWindow(), &leave);
    EXPECT_EQ(window.hoverWidget(), nullptr);
    EXPECT_EQ(probe->log.back(), "leave");
}

// ---- registry and loops ----

TEST_F(WindowTest, ClosingTheLastTopLevelWindowEndsTheLoop) {
    auto first = std::make_unique<Window>(nullptr, 0, 0, 50, 50, WindowFrame::FramePopup);
    auto second = std::make_unique<Window>(nullptr, 60, 0, 50, 50, WindowFrame::FramePopup);
    auto owned = std::make_unique<Window>(first.get(), 0, 0, 20, 20, WindowFrame::FrameTool);
    first->show(true);
    second->show(true);
    owned->show(true);
    std::vector<std::string> steps;
    bool timedOut = false;
    QTimer::singleShot(10, [&] {
        owned->platformWindow()->close();
        steps.push_back(eventLoopRunning() ? "owned closed, running" : "owned closed, stopped");
    });
    QTimer::singleShot(30, [&] {
        first->platformWindow()->close();
        steps.push_back(eventLoopRunning() ? "first closed, running" : "first closed, stopped");
    });
    QTimer::singleShot(50, [&] { second->platformWindow()->close(); });
    QTimer::singleShot(3000, [&] {
        timedOut = true;
        quitEventLoop();
    });
    runEventLoop();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(steps, (std::vector<std::string>{"owned closed, running", "first closed, running"}));
    EXPECT_FALSE(second->exists());
    EXPECT_TRUE(topLevelWindows().empty());
}

// A dialog that ends its run with the id of any command.
class ScriptedDialog : public DialogWindow {
public:
    ScriptedDialog(Window* owner) : DialogWindow(owner, 0, 0, 100, 60, WindowFrame::FrameTool) {}
    void onCommand(int id) override { endModal(id); }
};

TEST_F(WindowTest, ModalRunsNestAndDisableTheirOwners) {
    Window main(nullptr, 0, 0, 300, 200, WindowFrame::FramePopup);
    main.show(true);
    ScriptedDialog outer(&main);
    ScriptedDialog inner(&outer);
    std::vector<std::string> seen;
    int innerResult = 0;
    DialogHandler previous = setDialogHandler([&](ShownDialog& shown) {
        if (shown.window == &outer) {
            QTimer::singleShot(0, [&] {
                seen.push_back(std::string("main enabled during outer: ") +
                               (main.platformWindow()->isEnabled() ? "yes" : "no"));
                innerResult = inner.runModal();
                seen.push_back(std::string("outer enabled after inner: ") +
                               (outer.platformWindow()->isEnabled() ? "yes" : "no"));
                outer.onCommand(5);
            });
        } else if (shown.window == &inner) {
            QTimer::singleShot(0, [&] {
                seen.push_back(std::string("outer enabled during inner: ") +
                               (outer.platformWindow()->isEnabled() ? "yes" : "no"));
                inner.onCommand(7);
            });
        }
    });
    int outerResult = outer.runModal();
    setDialogHandler(previous);
    EXPECT_EQ(innerResult, 7);
    EXPECT_EQ(outerResult, 5);
    EXPECT_EQ(seen, (std::vector<std::string>{"main enabled during outer: no", "outer enabled during inner: no",
                                              "outer enabled after inner: yes"}));
    EXPECT_TRUE(main.platformWindow()->isEnabled());
}

TEST_F(WindowTest, ClosingAModalDialogYieldsMinusOne) {
    Window main(nullptr, 0, 0, 300, 200, WindowFrame::FramePopup);
    ScriptedDialog dialog(&main);
    QTimer::singleShot(10, [&] { dialog.platformWindow()->close(); });
    EXPECT_EQ(dialog.runModal(), -1);
    EXPECT_FALSE(dialog.exists());
    dialog.onClose();  // a second close finds nothing left to release
    EXPECT_TRUE(main.platformWindow()->isEnabled());

    // A plain window destroyed during its modal run ends the run as closed.
    Window plain(&main, 0, 0, 50, 50, WindowFrame::FrameTool);
    QTimer::singleShot(10, [&] { plain.platformWindow()->close(); });
    EXPECT_EQ(plain.runModal(), -1);
}

// ---- wheel ----

TEST_F(WindowTest, WheelGoesToTheWindowUnderThePointer) {
    RecordingWindow a(nullptr, 0, 0, 200, 100);
    RecordingWindow b(nullptr, 400, 300, 200, 100);
    auto* sliderA = a.addWidget(std::make_unique<Slider>(&a, 0, 0, 200, 20, 1, true));
    auto* sliderB = b.addWidget(std::make_unique<Slider>(&b, 0, 0, 200, 20, 1, true));
    sliderA->setValue(50);
    sliderB->setValue(50);
    a.show(true);
    b.show(true);
    QWidget foreign;
    foreign.setGeometry(800, 0, 100, 100);
    foreign.show();
    settle();

    auto turn = [&](QPoint global, int delta) {
        QPoint local = a.platformWindow()->mapFromGlobal(global);
        QWheelEvent event(local, global, QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(a.platformWindow(), &event);
    };
    turn(b.platformWindow()->mapToGlobal(QPoint(20, 10)), 240);
    EXPECT_EQ(sliderB->value(), 48) << "two steps away from the user lower the value";
    EXPECT_EQ(sliderA->value(), 50);
    turn(a.platformWindow()->mapToGlobal(QPoint(20, 10)), -120);
    EXPECT_EQ(sliderA->value(), 51);
    turn(foreign.mapToGlobal(QPoint(10, 10)), 120);
    EXPECT_EQ(sliderA->value(), 51);
    EXPECT_EQ(sliderB->value(), 48);
    EXPECT_TRUE(b.commands.size() == 1 && a.commands.size() == 1);
}

TEST_F(WindowTest, WheelRoutingTriesTheWidgetUnderThePointerThenTheOthers) {
    RecordingWindow window;
    auto* first = window.addWidget(std::make_unique<ProbeWidget>(&window, 0, 0, 10, 10, 1));
    auto* under = window.addWidget(std::make_unique<ProbeWidget>(&window, 50, 0, 10, 10, 2));
    auto* last = window.addWidget(std::make_unique<ProbeWidget>(&window, 80, 0, 10, 10, 3));
    under->consumeWheel = false;
    first->consumeWheel = false;
    EXPECT_TRUE(window.onWheel(3, 55, 5));
    EXPECT_EQ(under->wheel, 6) << "asked first as the widget at the point, then again in list order";
    EXPECT_EQ(first->wheel, 3);
    EXPECT_EQ(last->wheel, 3);
    last->setEnabled(false);
    EXPECT_FALSE(window.onWheel(1, 100, 50)) << "disabled widgets are not asked";
    EXPECT_EQ(last->wheel, 3);
}

// ---- drops, notifications, cursors ----

TEST_F(WindowTest, DroppedFilesReportTheirPointOrMinusOneOutside) {
    RecordingWindow window;
    window.show(true);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/a.avi"), QUrl::fromLocalFile("/tmp/b c.jpg")});
    // Delivered as the drag manager would, straight to the window's handler.
    QObject* target = window.platformWindow();
    QDragEnterEvent enter(QPoint(30, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    target->event(&enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent inside(QPointF(30, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    target->event(&inside);
    QDropEvent outside(QPointF(-5, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    target->event(&outside);
    ASSERT_EQ(window.drops.size(), 4u);
    EXPECT_EQ(window.drops[0].path, "/tmp/a.avi");
    EXPECT_EQ(window.drops[1].path, "/tmp/b c.jpg");
    EXPECT_EQ(QPoint(window.drops[1].x, window.drops[1].y), QPoint(30, 40));
    EXPECT_EQ(QPoint(window.drops[2].x, window.drops[2].y), QPoint(-1, -1));
}

TEST_F(WindowTest, OnlyClickSelectionAndEditNotificationsReachOnCommand) {
    RecordingWindow window;
    auto* edit = window.addWidget(std::make_unique<EditField>(&window, 0, 0, 80, 20, 3));
    auto* button = window.addWidget(std::make_unique<PushButton>(&window, 0, 30, 80, 20, 4, "Go"));
    auto* other = window.addWidget(std::make_unique<PushButton>(&window, 100, 30, 80, 20, 5, "Other"));
    window.show(true);
    window.setFocusWidget(edit);
    window.setFocusWidget(other);  // the edit field loses the focus: dropped
    EXPECT_TRUE(window.commands.empty());
    edit->setText("abc");
    QTest::mouseClick(button->nativeHandle(), Qt::LeftButton);
    window.dispatchControlCommand(0x10009, kNotifyClicked);
    window.dispatchControlCommand(9, 0x300);
    EXPECT_EQ(window.commands, (std::vector<int>{3, 4, 9}));
}

TEST_F(WindowTest, CursorTableAndImageCursors) {
    RecordingWindow window;
    window.show(true);
    window.setCursor(kCursorHand);
    EXPECT_EQ(window.platformWindow()->cursor().shape(), Qt::PointingHandCursor);
    window.setCursor(99);
    EXPECT_EQ(window.platformWindow()->cursor().shape(), Qt::BlankCursor);
    EXPECT_EQ(window.cursorIndex(), 99);

    int before = cursorCount();
    EXPECT_GE(before, kBuiltinCursorCount);
    ImageBuffer image(40, 3);
    image.hasAlpha = 1;
    image.at(0, 0) = 0xFF000000;  // black
    image.at(1, 0) = 0xFF00FF00;  // any other colour: white
    image.at(2, 0) = 0x00000000;  // transparent
    int index = addImageCursor(image, 3, 4);
    EXPECT_EQ(index, before);
    EXPECT_EQ(addImageCursor(image, 0, 0), before + 1);
    window.setCursor(index);
    QCursor cursor = window.platformWindow()->cursor();
    EXPECT_EQ(cursor.hotSpot(), QPoint(3, 4));
    QImage bits = cursor.bitmap().toImage().convertToFormat(QImage::Format_Mono);
    QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_Mono);
    ASSERT_EQ(bits.width(), 32) << "the system cursor size; pixels beyond it are dropped";
    auto set = [](const QImage& img, int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == 0; };
    EXPECT_TRUE(set(mask, 0, 0) && set(bits, 0, 0)) << "black";
    EXPECT_TRUE(set(mask, 1, 0) && !set(bits, 1, 0)) << "white";
    EXPECT_FALSE(set(mask, 2, 0)) << "transparent";

    // Hovering a slider shows its double arrow.
    auto* slider = window.addWidget(std::make_unique<Slider>(&window, 0, 0, 100, 20, 1, true));
    QTest::mouseMove(window.platformWindow(), QPoint(13, 7));
    EXPECT_EQ(window.cursorIndex(), slider->cursor());
    EXPECT_EQ(window.platformWindow()->cursor().shape(), Qt::SizeHorCursor);
}

}  // namespace
}  // namespace veltro
