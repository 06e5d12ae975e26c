// Window and Widget on Qt: one PlatformWidget per Window, the widget list the
// window owns, and the input routing (widgets first, then the window's
// handlers).
#include "ui/window.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "services/canvas.h"
#include "ui/dialog_seam.h"
#include "ui/platform_widget.h"

namespace veltro {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;
// Longest text the base window's message box shows (the rest is cut).
constexpr size_t kWindowMessageLimit = 511;

// Cuts text to at most limit bytes without splitting a UTF-8 character.
std::string cutText(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

// ---- Widget ---------------------------------------------------------------

// The widget joins its window through Window::addWidget, which owns it; the
// window given here only tells native controls where to create their control.
Widget::Widget(Window* /*parent*/, int x, int y, int width, int height, int id)
    : m_x(x), m_y(y), m_width(width), m_height(height), m_id(id) {}

Widget::~Widget() {
    if (m_parent)
        m_parent->forgetWidget(this);
}

void Widget::setPosition(int x, int y) {
    m_x = x;
    m_y = y;
}

void Widget::setSize(int width, int height) {
    m_width = width;
    m_height = height;
}

void Widget::setRect(int x, int y, int width, int height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
}

void Widget::setEnabled(bool enabled) { m_enabled = enabled; }
bool Widget::isEnabled() const { return m_enabled; }
void Widget::setVisible(bool visible) { m_visible = visible; }
bool Widget::isVisible() const { return m_visible; }

void Widget::draw() {
    if (m_parent && m_parent->backBuffer())
        paint(*m_parent->backBuffer(), m_x, m_y, m_width, m_height);
}

void Widget::paint(Canvas&, int, int, int, int) {}

void Widget::refresh() {
    if (!m_parent || !m_parent->backBuffer())
        return;
    paint(*m_parent->backBuffer(), m_x, m_y, m_width, m_height);
    m_parent->flushRect(m_x, m_y, m_width, m_height);
}

QWidget* Widget::nativeHandle() const { return nullptr; }
bool Widget::onKey(int) { return false; }
bool Widget::onMouseMove(int, int) { return false; }
bool Widget::onButtonDown(int, int) { return false; }
bool Widget::onButtonUp(int, int) { return false; }
void Widget::onEnter(int, int) {}
void Widget::onLeave(int, int) {}
int Widget::cursor() const { return kCursorPointer; }
bool Widget::onWheel(int) { return false; }

bool Widget::contains(int x, int y) const {
    return x >= m_x && x < m_x + m_width && y >= m_y && y < m_y + m_height;
}

bool Widget::isHover() const { return m_parent && m_parent->hoverWidget() == this; }
bool Widget::isPressed() const { return m_parent && m_parent->pressedWidget() == this; }
bool Widget::hasFocus() const { return m_parent && m_parent->focusWidget() == this; }

void Widget::fireCommand() {
    if (m_parent)
        m_parent->onCommand(m_id);
}

// ---- Window ---------------------------------------------------------------

Window::Window(Window* owner, int x, int y, int clientWidth, int clientHeight, WindowFrame frame)
    : m_owner(owner), m_frame(frame) {
    m_widgets.reserve(10);
    clientWidth = std::max(clientWidth, 1);
    clientHeight = std::max(clientHeight, 1);
    m_backBuffer = std::make_unique<Canvas>(clientWidth, clientHeight);
    m_backBuffer->fillRect(0, 0, clientWidth, clientHeight, kWhite);

    // A window framed as FrameMain with an owner lives inside it; every other
    // window is a top-level Qt window tied to its owner (or to the first
    // top-level window) by the window system only, so that disabling an owner
    // during a modal run never disables the windows it owns.
    QWidget* qtParent = nullptr;
    Qt::WindowFlags flags;
    switch (frame) {
    case WindowFrame::FrameMain:
        if (owner && owner->platformWindow())
            qtParent = owner->platformWindow();
        else
            flags = Qt::Window;
        break;
    case WindowFrame::FrameTool:
        flags = Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                Qt::MSWindowsFixedSizeDialogHint;
        break;
    case WindowFrame::FrameSizableTool:
        flags = owner ? (Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
                      : Qt::Window;
        break;
    case WindowFrame::FramePopup:
    default:
        flags = Qt::Window | Qt::FramelessWindowHint;
        break;
    }
    m_platform = new PlatformWidget(this, qtParent, flags);
    m_platform->resize(clientWidth, clientHeight);
    if (frame == WindowFrame::FrameTool)
        m_platform->setFixedSize(clientWidth, clientHeight);

    if (!qtParent) {
        Window* tie = owner ? owner : (topLevelWindows().empty() ? nullptr : topLevelWindows().front());
        if (tie && tie->platformWindow()) {
            m_platform->winId();
            QWindow* handle = m_platform->windowHandle();
            QWidget* tieWidget = tie->platformWindow()->window();
            tieWidget->winId();
            if (handle && tieWidget->windowHandle())
                handle->setTransientParent(tieWidget->windowHandle());
        }
    }
    if (frame == WindowFrame::FrameTool && owner && owner->platformWindow()) {
        QPoint screen = owner->platformWindow()->mapToGlobal(QPoint(x, y));
        x = screen.x();
        y = screen.y();
    }
    m_platform->move(x, y);
    if (!owner) {
        registerTopLevelWindow(this);
        m_registered = true;
    }
}

Window::~Window() {
    destroy();
    deleteWidgets();
}

QWidget* Window::platformWindow() const { return m_platform; }

void Window::drawCanvasScaled(int dx, int dy, int dw, int dh, const Canvas& source, int sx, int sy, int sw,
                              int sh) {
    if (m_platform && m_backBuffer)
        m_backBuffer->stretchFrom(dx, dy, dw, dh, source, sx, sy, sw, sh);
}

void Window::drawCanvas(int x, int y, const Canvas& source) {
    if (m_platform && m_backBuffer)
        m_backBuffer->copyFrom(x, y, source, 0, 0, source.width(), source.height());
}

void Window::clear() {
    if (m_platform && m_backBuffer)
        m_backBuffer->fillRect(0, 0, m_backBuffer->width(), m_backBuffer->height(), kGrey);
}

int Window::showMessage(const std::string& text) {
    if (!m_platform)
        return 0;
    showQtMessageBox(m_platform, cutText(text, kWindowMessageLimit), false);
    return 1;
}

void Window::flushRect(int x, int y, int width, int height) {
    if (!m_platform || width <= 0 || height <= 0)
        return;
    if (m_platform->isVisible())
        m_platform->repaint(x, y, width, height);
}

void Window::flush() {
    if (m_backBuffer)
        flushRect(0, 0, m_backBuffer->width(), m_backBuffer->height());
}

void Window::setTitle(const std::string& title) {
    if (m_platform)
        m_platform->setWindowTitle(QString::fromStdString(title));
}

void Window::onKey(int code) {
    if (code == 'q')
        quitEventLoop();
}

void Window::onLeftDown(int, int, int) { captureMouse(true); }
void Window::onLeftUp(int, int, int) { captureMouse(false); }
void Window::onMouseMove(int, int, int) {}
void Window::onRightDown(int, int, int) { captureMouse(true); }
void Window::onRightUp(int, int, int) { captureMouse(false); }
void Window::onSize(int, int) {}
void Window::onClose() { destroy(); }
void Window::onCommand(int) {}
void Window::onMenuCommand(int) {}
void Window::onDropFile(const std::string&, int, int) {}

bool Window::onWheel(int steps, int x, int y) {
    if (Widget* under = widgetAt(x, y)) {
        if (under->onWheel(steps))
            return true;
    }
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        Widget* w = m_widgets[i];
        if (w->isEnabled() && w->isVisible() && w->onWheel(steps))
            return true;
    }
    return false;
}

void Window::adoptWidget(std::unique_ptr<Widget> widget) {
    if (!widget)
        return;
    if (widget->m_parent && widget->m_parent != this)
        widget->m_parent->forgetWidget(widget.get());
    widget->m_parent = this;
    m_widgets.push_back(widget.get());
    m_ownedWidgets.push_back(std::move(widget));
}

void Window::forgetWidget(Widget* widget) {
    auto it = std::find(m_widgets.begin(), m_widgets.end(), widget);
    if (it != m_widgets.end())
        m_widgets.erase(it);
    if (widget && widget->m_parent == this)
        widget->m_parent = nullptr;
    // A removed widget must never stay referenced, whichever one it was.
    m_hover = nullptr;
    m_pressed = nullptr;
    m_focus = nullptr;
}

void Window::removeWidget(Widget* widget) {
    auto owned = std::find_if(m_ownedWidgets.begin(), m_ownedWidgets.end(),
                              [widget](const std::unique_ptr<Widget>& w) { return w.get() == widget; });
    std::unique_ptr<Widget> doomed;
    if (owned != m_ownedWidgets.end()) {
        doomed = std::move(*owned);
        m_ownedWidgets.erase(owned);
    }
    forgetWidget(widget);
    // Deleted last, once the window no longer knows it.
    doomed.reset();
}

void Window::deleteWidgets() {
    std::vector<std::unique_ptr<Widget>> doomed = std::move(m_ownedWidgets);
    m_ownedWidgets.clear();
    for (Widget* w : m_widgets)
        w->m_parent = nullptr;
    m_widgets.clear();
    m_hover = nullptr;
    m_pressed = nullptr;
    m_focus = nullptr;
    // Deleted newest first, once the window no longer knows them.
    while (!doomed.empty())
        doomed.pop_back();
}

void Window::dispatchControlCommand(int id, int notification) {
    if (!m_platform)
        return;
    if (notification == kNotifyClicked || notification == kNotifySelectionChanged ||
        notification == kNotifyEditUpdated)
        onCommand(id & 0xFFFF);
}

Widget* Window::widgetById(int id) const {
    for (Widget* w : m_widgets)
        if (w->id() == id)
            return w;
    return nullptr;
}

Widget* Window::widgetAt(int x, int y) const {
    for (Widget* w : m_widgets)
        if (w->isEnabled() && w->isVisible() && w->contains(x, y))
            return w;
    return nullptr;
}

void Window::drawWidgets() {
    for (size_t i = 0; i < m_widgets.size(); ++i)
        if (m_widgets[i]->isVisible())
            m_widgets[i]->draw();
}

void Window::setFocusWidget(Widget* widget) {
    Widget* old = m_focus;
    m_focus = widget;
    if (old && old != widget)
        old->refresh();
    if (widget) {
        widget->refresh();
        if (QWidget* control = widget->nativeHandle())
            control->setFocus(Qt::OtherFocusReason);
        else if (m_platform)
            m_platform->setFocus(Qt::OtherFocusReason);
    }
}

void Window::setCursor(int index) {
    if (!m_platform)
        return;
    m_cursorIndex = index;
    m_platform->setCursor(cursorShape(index));
}

void Window::center() {
    if (!m_platform)
        return;
    QScreen* screen = m_platform->screen() ? m_platform->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->geometry();
    int width = 0, height = 0;
    outerRect(nullptr, nullptr, &width, &height);
    moveTo(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
}

void Window::resizeClient(int width, int height) {
    if (!m_platform)
        return;
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (m_frame == WindowFrame::FrameTool)
        m_platform->setFixedSize(width, height);
    else
        m_platform->resize(width, height);
    // Qt defers the resize event of a hidden window; the back buffer follows
    // the client size at once.
    handleResize(width, height);
}

void Window::moveTo(int x, int y) {
    if (m_platform)
        m_platform->move(x, y);
}

void Window::moveResize(int x, int y, int width, int height) {
    moveTo(x, y);
    resizeClient(width, height);
}

void Window::outerRect(int* left, int* top, int* width, int* height) const {
    QRect outer;
    if (m_platform) {
        outer = m_platform->frameGeometry();
        outer.setSize(QSize(m_platform->width() + m_extraWidth, m_platform->height() + m_extraHeight));
        if (m_platform->parentWidget())
            outer.moveTopLeft(m_platform->parentWidget()->mapToGlobal(m_platform->pos()));
    }
    if (left)
        *left = outer.x();
    if (top)
        *top = outer.y();
    if (width)
        *width = outer.width();
    if (height)
        *height = outer.height();
}

void Window::updateExtras() {
    if (!m_platform || !m_platform->isWindow())
        return;
    QRect outer = m_platform->frameGeometry();
    m_extraWidth = std::max(0, outer.width() - m_platform->width());
    m_extraHeight = std::max(0, outer.height() - m_platform->height());
}

void Window::show(bool visible) {
    if (!m_platform)
        return;
    if (visible) {
        m_platform->show();
        m_platform->raise();
        m_platform->activateWindow();
        if (!m_focus || !m_focus->nativeHandle())
            m_platform->setFocus(Qt::ActiveWindowFocusReason);
        updateExtras();
    } else {
        m_platform->hide();
    }
}

void Window::enable(bool enabled) {
    if (m_platform)
        m_platform->setEnabled(enabled);
}

void Window::captureMouse(bool capture) {
    if (!m_platform)
        return;
    if (capture) {
        if (m_platform->isVisible())
            m_platform->grabMouse();
    } else if (QWidget::mouseGrabber() == m_platform) {
        m_platform->releaseMouse();
    }
}

int Window::runModal() {
    QPointer<QWidget> ownerWidget = m_owner ? m_owner->platformWindow() : nullptr;
    // A capture held by a window underneath would keep the pointer from the
    // modal window.
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (m_owner)
        m_owner->enable(false);
    show(true);
    m_modalRunning = true;
    notifyModalShown(*this, m_platform ? m_platform->windowTitle().toStdString() : std::string());
    while (m_modalRunning) {
        // A window destroyed without ending its run counts as closed.
        if (!m_platform) {
            m_modalRunning = false;
            m_modalResult = -1;
            break;
        }
        pumpMessages(this);
    }
    if (m_owner && ownerWidget)
        m_owner->enable(true);
    return m_modalResult;
}

void Window::endModal(int result) {
    m_modalResult = result;
    m_modalRunning = false;
}

void Window::destroy() {
    PlatformWidget* platform = m_platform;
    std::unique_ptr<Canvas> buffer = std::move(m_backBuffer);
    m_platform = nullptr;
    if (platform) {
        for (Widget* w : m_widgets)
            if (w->nativeHandle())
                w->forgetNativeHandle();
        platform->detach();
        if (QWidget::mouseGrabber() == platform)
            platform->releaseMouse();
        platform->hide();
        // Deleting a Qt widget from inside one of its own event handlers (a
        // close request, a click on a child control) would pull it from under
        // Qt; such deletions wait until the handlers have returned.
        if (PlatformWidget::dispatchDepth() > 0)
            platform->deleteLater();
        else
            delete platform;
    }
    if (m_registered) {
        m_registered = false;
        unregisterTopLevelWindow(this);
    }
}

// ---- routing --------------------------------------------------------------

bool Window::routeMouseMove(int x, int y) {
    Widget* w = widgetAt(x, y);
    if (w != m_hover) {
        Widget* old = m_hover;
        m_hover = w;
        if (old)
            old->onLeave(x - old->x(), y - old->y());
        if (w && m_hover == w)
            w->onEnter(x - w->x(), y - w->y());
    }
    Widget* hover = m_hover;
    if (!hover)
        return false;
    setCursor(hover->cursor());
    return hover->onMouseMove(x - hover->x(), y - hover->y());
}

void Window::clearHover() {
    Widget* old = m_hover;
    m_hover = nullptr;
    if (old)
        old->onLeave(-1 - old->x(), -1 - old->y());
}

bool Window::routeButtonDown(int x, int y) {
    captureMouse(true);
    routeMouseMove(x, y);
    Widget* hover = m_hover;
    if (hover && hover->isEnabled() && hover->isVisible()) {
        m_pressed = hover;
        setFocusWidget(hover);
        if (m_hover != hover || !m_pressed)
            return true;
        return hover->onButtonDown(x - hover->x(), y - hover->y());
    }
    m_pressed = nullptr;
    setFocusWidget(nullptr);
    return false;
}

bool Window::routeButtonUp(int x, int y) {
    captureMouse(false);
    Widget* pressed = m_pressed;
    if (pressed && pressed->isEnabled() && pressed->isVisible()) {
        m_pressed = nullptr;
        pressed->onButtonUp(x - pressed->x(), y - pressed->y());
        return true;
    }
    return false;
}

bool Window::routeKey(int code) {
    if (code == kKeyTab && !m_widgets.empty()) {
        int count = static_cast<int>(m_widgets.size());
        auto it = std::find(m_widgets.begin(), m_widgets.end(), m_focus);
        int start = it == m_widgets.end() ? count - 1 : static_cast<int>(it - m_widgets.begin());
        for (int step = 1; step < count; ++step) {
            Widget* w = m_widgets[(start + step) % count];
            if (w->isEnabled() && w->isVisible()) {
                setFocusWidget(w);
                break;
            }
        }
        // With no focus widget the walk also reaches the last place itself.
        if (it == m_widgets.end() && !m_focus) {
            Widget* last = m_widgets[start];
            if (last->isEnabled() && last->isVisible())
                setFocusWidget(last);
        }
        return true;
    }
    if (!m_focus)
        return false;
    return m_focus->onKey(code);
}

void Window::handleKey(int code) {
    if (!routeKey(code))
        onKey(code);
}

void Window::handleMouse(int kind, int x, int y, int modifiers) {
    using PW = PlatformWidget;
    switch (kind) {
    case PW::kMove:
        if (!routeMouseMove(x, y))
            onMouseMove(x, y, modifiers);
        break;
    case PW::kLeftDown:
        if (!routeButtonDown(x, y))
            onLeftDown(x, y, modifiers);
        break;
    case PW::kLeftUp:
        if (!routeButtonUp(x, y))
            onLeftUp(x, y, modifiers);
        break;
    case PW::kRightDown:
        if (!routeButtonDown(x, y))
            onRightDown(x, y, modifiers);
        break;
    case PW::kRightUp:
        if (!routeButtonUp(x, y))
            onRightUp(x, y, modifiers);
        break;
    default:
        break;
    }
}

void Window::handleResize(int width, int height) {
    if (!m_backBuffer)
        return;
    if (width > m_backBuffer->width() || height > m_backBuffer->height()) {
        auto grown = std::make_unique<Canvas>(width, height);
        grown->fillRect(0, 0, width, height, kWhite);
        grown->copyFrom(0, 0, *m_backBuffer, 0, 0, m_backBuffer->width(), m_backBuffer->height());
        m_backBuffer = std::move(grown);
    }
    // Qt repeats a hidden window's resize when it is shown; handlers hear of
    // each new size once.
    if (width == m_reportedWidth && height == m_reportedHeight)
        return;
    m_reportedWidth = width;
    m_reportedHeight = height;
    onSize(width, height);
}

void Window::handleWheel(int steps, int globalX, int globalY) {
    QWidget* under = QApplication::widgetAt(globalX, globalY);
    auto* target = dynamic_cast<PlatformWidget*>(under);
    if (!target || target->objectName() != kWindowClassName || !target->window_())
        return;
    QPoint local = target->mapFromGlobal(QPoint(globalX, globalY));
    target->window_()->onWheel(steps, local.x(), local.y());
}

}  // namespace veltro
