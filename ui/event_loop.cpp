// The event loop on Qt: the main loop, the pump step with its short wait, and
// the Tab routing for the window a pump step was given.
#include "ui/event_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "ui/window.h"

namespace veltro {

namespace {

// One wheel notch in Qt's angle units.
constexpr int kWheelDelta = 120;

struct LoopState {
    std::vector<Window*> topLevel;
    bool running = false;
    // The window the innermost pump step was given, or nullptr.
    Window* pumpWindow = nullptr;
    // True while an outer pump step has its Tab filter installed.
    bool tabFilterInstalled = false;
    int wheelRemainder = 0;
};

LoopState& loop() {
    static LoopState state;
    return state;
}

// Sees Tab pressed in the window a pump step was given, wherever the Qt focus
// is inside it, and hands it to that window's key routing.
class TabInterceptor : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override {
        Window* window = loop().pumpWindow;
        if (!window || event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
            return false;
        auto* target = qobject_cast<QWidget*>(object);
        QWidget* platform = window->platformWindow();
        if (!target || !platform || (target != platform && !platform->isAncestorOf(target)))
            return false;
        window->handleKey(kKeyTab);
        return true;
    }
};

// The Tab filter of the outermost pump step: installed on the application
// object for the step's duration and removed with it, so nothing outlives
// the application object.
class ScopedTabFilter {
public:
    ScopedTabFilter() {
        LoopState& state = loop();
        if (state.tabFilterInstalled || !QCoreApplication::instance())
            return;
        QCoreApplication::instance()->installEventFilter(&m_filter);
        state.tabFilterInstalled = true;
        m_installed = true;
    }
    ~ScopedTabFilter() {
        if (!m_installed)
            return;
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeEventFilter(&m_filter);
        loop().tabFilterInstalled = false;
    }
    ScopedTabFilter(const ScopedTabFilter&) = delete;
    ScopedTabFilter& operator=(const ScopedTabFilter&) = delete;

private:
    TabInterceptor m_filter;
    bool m_installed = false;
};

// Waits for input for at most ms milliseconds.
void waitForInput(int ms) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Deletes the platform windows whose destruction had to wait until their own
// event handlers returned.
void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

void runEventLoop() {
    LoopState& state = loop();
    // Without a top-level window nothing could ever end the loop.
    state.running = !state.topLevel.empty();
    while (state.running) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        deleteClosedWindows();
        if (!state.running)
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        deleteClosedWindows();
        if (!state.running)
            break;
    }
}

void quitEventLoop() { loop().running = false; }

bool eventLoopRunning() { return loop().running; }

void pumpMessages(Window* window) {
    LoopState& state = loop();
    ScopedTabFilter tabFilter;
    Window* previous = state.pumpWindow;
    state.pumpWindow = window;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    deleteClosedWindows();
    waitForInput(10);
    deleteClosedWindows();
    state.pumpWindow = previous;
}

const std::vector<Window*>& topLevelWindows() { return loop().topLevel; }

void registerTopLevelWindow(Window* window) { loop().topLevel.push_back(window); }

void unregisterTopLevelWindow(Window* window) {
    auto& list = loop().topLevel;
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
    if (list.empty())
        loop().running = false;
}

int takeWheelSteps(int angleDelta) {
    LoopState& state = loop();
    state.wheelRemainder += angleDelta;
    int steps = state.wheelRemainder / kWheelDelta;
    state.wheelRemainder -= steps * kWheelDelta;
    return steps;
}

}  // namespace veltro
