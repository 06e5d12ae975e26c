// AppWindow: drag strip, mini mode, the quit chain and help pages.
#include "app/base/app_window.h"

#include <QPoint>
#include <QUrl>
#include <QWidget>
#include <limits>

#include "app/base/app_state.h"
#include "image/file_utils.h"
#include "services/canvas.h"
#include "services/desktop.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "ui/dialogs.h"
#include "ui/layout.h"

namespace veltro {

namespace {

// The common section every application window starts from.
constexpr const char* kCommonSection = "lmwin";

// Time of the last press on any window's strip (process-wide, so a press on
// one window and the next on another still count as a double press).
int64_t& lastStripPress() {
    static int64_t time = std::numeric_limits<int64_t>::min() / 2;
    return time;
}

// The pointer position on the screen for a point of window's client area.
QPoint screenPoint(const Window& window, int x, int y) {
    QWidget* widget = window.platformWindow();
    return widget ? widget->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
}

}  // namespace

bool confirmQuit(Window* owner) {
    if (quitConfirmed())
        return true;
    // The captions are looked up once and kept for the run.
    static const std::vector<std::string> captions = {resources().textCopy("b_quit"),
                                                      resources().textCopy("b_dontquit")};
    if (askChoice(owner, resources().textCopy("quit?"), captions) != 0)
        return false;
    setQuitConfirmed(true);
    return true;
}

AppWindow::AppWindow(Window* owner, int x, int y, int clientWidth, int clientHeight)
    : DialogWindow(owner, x, y, clientWidth, clientHeight, WindowFrame::FramePopup) {
    if (!loadLayout(*this, kCommonSection))
        veltro::showMessage(formatText(resources().text("e_no_dialog"), {kCommonSection}));
    m_icon = resources().image("icon.png");
    if (Widget* restore = widgetById(kCommandRestore))
        restore->setVisible(false);
}

AppWindow::~AppWindow() = default;

std::string AppWindow::helpPage() const { return "index.html"; }

void AppWindow::onLeftDown(int x, int y, int) {
    if (y >= kStripHeight || y < 0)
        return;
    if (x < kStripWidth) {
        int64_t now = processMilliseconds();
        int64_t since = now - lastStripPress();
        if (since >= 0 && since < kDoublePressMilliseconds) {
            // The toggling press is used up, so a third quick press starts
            // a drag instead of toggling back.
            lastStripPress() = std::numeric_limits<int64_t>::min() / 2;
            toggleMiniMode();
            return;
        }
        lastStripPress() = now;
    }
    int left = 0, top = 0;
    outerRect(&left, &top, nullptr, nullptr);
    QPoint pointer = screenPoint(*this, x, y);
    m_dragOffsetX = left - pointer.x();
    m_dragOffsetY = top - pointer.y();
    m_dragging = true;
    captureMouse(true);
}

void AppWindow::onLeftUp(int, int, int) {
    m_dragging = false;
    captureMouse(false);
}

void AppWindow::onMouseMove(int x, int y, int) {
    if (!m_dragging) {
        setCursor(y >= 0 && y < kStripHeight ? kCursorMove : kCursorPointer);
        return;
    }
    QPoint pointer = screenPoint(*this, x, y);
    int left = pointer.x() + m_dragOffsetX;
    int top = pointer.y() + m_dragOffsetY;
    if (Window* parent = owner())
        parent->moveTo(left, top);
    moveTo(left, top);
}

void AppWindow::onCommand(int id) {
    switch (id) {
    case kCommandQuit:
        onClose();
        break;
    case kCommandMini:
    case kCommandRestore:
        toggleMiniMode();
        break;
    case kCommandHelp:
        openHelp();
        break;
    default:
        break;
    }
}

void AppWindow::onKey(int) {}

void AppWindow::onClose() {
    if (!exists())
        return;
    if (!confirmQuit(this))
        return;
    if (owner() && isModalRunning()) {
        endModal(-1);
        return;
    }
    DialogWindow::onClose();
}

void AppWindow::toggleMiniMode() {
    if (auto* parent = dynamic_cast<AppWindow*>(owner()))
        parent->toggleMiniMode();
    Canvas* buffer = backBuffer();
    if (!buffer)
        return;
    Widget* restore = widgetById(kCommandRestore);
    if (!m_mini) {
        m_stripSave = std::make_unique<Canvas>(kStripWidth, kStripHeight);
        m_stripSave->copyFrom(0, 0, *buffer, 0, 0, kStripWidth, kStripHeight);
        if (m_icon)
            buffer->drawImage(0, 0, kStripWidth, kStripHeight, *m_icon);
        outerRect(nullptr, nullptr, &m_savedWidth, &m_savedHeight);
        resizeClient(kStripWidth, kStripHeight);
        if (restore)
            restore->setVisible(true);
        m_mini = true;
        drawWidgets();
    } else {
        if (m_stripSave)
            buffer->copyFrom(0, 0, *m_stripSave, 0, 0, kStripWidth, kStripHeight);
        resizeClient(m_savedWidth - extraWidth(), m_savedHeight - extraHeight());
        if (restore)
            restore->setVisible(false);
        m_mini = false;
    }
    flush();
}

bool AppWindow::openHelp() {
    std::string path = joinPath(joinPath(executableDirectory(), "doc"), helpPage());
    return openDocument(QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString());
}

}  // namespace veltro
