// Window, Widget and the event loop on Qt: one PlatformWidget per Window that
// paints from the back buffer and translates Qt events into the window's
// routing (widgets first, then the window's handlers).
#include "ui/window.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "services/canvas.h"
#include "ui/dialogs.h"
#include "ui/platform_widget.h"

namespace veltro {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;
// Longest text the base window's message box shows (the rest is cut).
constexpr size_t kWindowMessageLimit = 511;
// Size of an image cursor (the usual system cursor size).
constexpr int kImageCursorSize = 32;
// One wheel notch.
constexpr int kWheelDelta = 120;

struct LoopState {
    std::vector<Window*> topLevel;
    bool running = false;
    Window* pumpWindow = nullptr;
    int wheelRemainder = 0;
};

LoopState& loop() {
    static LoopState state;
    return state;
}

// The cursor table: built on first use (it needs the application object) and
// kept for the run.
std::vector<QCursor>& cursorTable();

// A monochrome picture whose set bits (index 1) are the bitmap's colour1.
QImage monoImage(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    image.setColorCount(2);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    image.fill(0);
    return image;
}

// Body of the built-in arrow cursor pointing right: a shaft and a head
// whose tip is at (14, 7).
bool arrowBody(int x, int y) {
    if (y >= 6 && y <= 8 && x >= 2 && x <= 8)
        return true;
    int spread = 4 - std::abs(y - 7);
    return spread >= 0 && x >= 9 && x <= 9 + spread;
}

// A 16x16 arrow, black with a white outline, mirrored for the left arrow.
QCursor arrowCursor(bool pointsRight) {
    QImage bits = monoImage(16, 16);
    QImage mask = monoImage(16, 16);
    auto body = [&](int x, int y) {
        if (x < 0 || y < 0 || x > 15 || y > 15)
            return false;
        return arrowBody(pointsRight ? x : 15 - x, y);
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool black = body(x, y);
            bool outline = false;
            for (int dy = -1; dy <= 1 && !black && !outline; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    outline = outline || body(x + dx, y + dy);
            bits.setPixel(x, y, black ? 1 : 0);
            mask.setPixel(x, y, (black || outline) ? 1 : 0);
        }
    }
    return QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), 7, 7);
}

std::vector<QCursor>& cursorTable() {
    static std::vector<QCursor> table;
    if (table.empty()) {
        table.reserve(kBuiltinCursorCount + 10);
        table.push_back(arrowCursor(true));
        table.push_back(arrowCursor(false));
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::WaitCursor);
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::CrossCursor);
        table.emplace_back(Qt::ArrowCursor);
        table.emplace_back(Qt::PointingHandCursor);
        table.emplace_back(Qt::IBeamCursor);
        table.emplace_back(Qt::SizeAllCursor);
        table.emplace_back(Qt::SizeHorCursor);
        table.emplace_back(Qt::SizeVerCursor);
        table.emplace_back(Qt::SizeBDiagCursor);
        table.emplace_back(Qt::SizeFDiagCursor);
        table.emplace_back(Qt::ForbiddenCursor);
    }
    return table;
}

// Cuts text to at most limit bytes without splitting a UTF-8 character.
std::string cutText(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// Translates a Qt key press into the key code handed to handlers: the keys of
// the translation table, then characters. 0 when the key yields nothing.
int translateKey(const QKeyEvent& event, bool* fromTable) {
    *fromTable = true;
    switch (event.key()) {
    case Qt::Key_Left: return kKeyLeft;
    case Qt::Key_Right: return kKeyRight;
    case Qt::Key_Up: return kKeyUp;
    case Qt::Key_Down: return kKeyDown;
    case Qt::Key_Home: return kKeyHome;
    case Qt::Key_End: return kKeyEnd;
    case Qt::Key_Delete: return kKeyDelete;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return kKeyTab;
    default: break;
    }
    *fromTable = false;
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return kKeyEnter;
    case Qt::Key_Backspace: return kKeyBackspace;
    case Qt::Key_Escape: return 27;
    default: break;
    }
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return event.key() - Qt::Key_A + 1;
    QString text = event.text();
    if (text.isEmpty())
        return 0;
    return static_cast<int>(text.toUcs4().value(0));
}

int modifierBits(Qt::KeyboardModifiers modifiers) {
    int bits = 0;
    if (modifiers & Qt::ShiftModifier)
        bits |= kModShift;
    if (modifiers & Qt::ControlModifier)
        bits |= kModControl;
    return bits;
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

void installTabInterceptor() {
    static TabInterceptor* interceptor = nullptr;
    if (!interceptor && qApp) {
        interceptor = new TabInterceptor;
        interceptor->setParent(qApp);
        qApp->installEventFilter(interceptor);
    }
}

// Waits for input for at most ms milliseconds.
void waitForInput(int ms) {
    static QTimer* timer = nullptr;
    if (!timer) {
        timer = new QTimer(qApp);
        timer->setSingleShot(true);
    }
    timer->start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    timer->stop();
}

// Deletes the platform windows whose destruction had to wait until their own
// event handlers returned.
void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

// ---- PlatformWidget -------------------------------------------------------

int PlatformWidget::s_dispatchDepth = 0;

PlatformWidget::PlatformWidget(Window* window, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), m_window(window) {
    setObjectName(kWindowClassName);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
}

PlatformWidget::~PlatformWidget() {
    if (Window* window = m_window) {
        m_window = nullptr;
        window->m_platform = nullptr;
        window->destroy();
    }
}

bool PlatformWidget::event(QEvent* event) {
    DispatchGuard guard;
    return QWidget::event(event);
}

void PlatformWidget::paintEvent(QPaintEvent* event) {
    if (!m_window || !m_window->backBuffer())
        return;
    QPainter painter(this);
    const QImage& image = m_window->backBuffer()->surface();
    QRect area = event->rect() & QRect(0, 0, image.width(), image.height());
    if (!area.isEmpty())
        painter.drawImage(area.topLeft(), image, area);
}

void PlatformWidget::resizeEvent(QResizeEvent* event) {
    if (m_window)
        m_window->handleResize(event->size().width(), event->size().height());
}

void PlatformWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_window)
        m_window->onClose();
}

void PlatformWidget::keyPressEvent(QKeyEvent* event) {
    // Keys typed into a native control stay with that control.
    QWidget* focus = QApplication::focusWidget();
    if (!m_window || (focus && focus != this && isAncestorOf(focus))) {
        event->ignore();
        return;
    }
    bool fromTable = false;
    int code = translateKey(*event, &fromTable);
    if (code == 0) {
        event->ignore();
        return;
    }
    m_window->handleKey(code);
}

bool PlatformWidget::focusNextPrevChild(bool) {
    // Tab is an ordinary key here: the window's key routing cycles the focus.
    return false;
}

void PlatformWidget::mouseEvent(QMouseEvent* event, int kind) {
    if (!m_window)
        return;
    QPoint p = event->position().toPoint();
    m_window->handleMouse(kind, p.x(), p.y(), modifierBits(event->modifiers()));
}

void PlatformWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        mouseEvent(event, kLeftDown);
    else if (event->button() == Qt::RightButton)
        mouseEvent(event, kRightDown);
}

void PlatformWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        mouseEvent(event, kLeftUp);
    else if (event->button() == Qt::RightButton)
        mouseEvent(event, kRightUp);
}

void PlatformWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is a second press.
    mousePressEvent(event);
}

void PlatformWidget::mouseMoveEvent(QMouseEvent* event) { mouseEvent(event, kMove); }

void PlatformWidget::leaveEvent(QEvent*) {
    // The pointer left the window: no widget stays lit under it.
    if (m_window && QApplication::mouseButtons() == Qt::NoButton)
        m_window->clearHover();
}

void PlatformWidget::wheelEvent(QWheelEvent* event) {
    if (!m_window)
        return;
    QPoint global = event->globalPosition().toPoint();
    LoopState& state = loop();
    state.wheelRemainder += event->angleDelta().y();
    int steps = state.wheelRemainder / kWheelDelta;
    state.wheelRemainder -= steps * kWheelDelta;
    if (steps != 0)
        m_window->handleWheel(steps, global.x(), global.y());
}

void PlatformWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void PlatformWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void PlatformWidget::dropEvent(QDropEvent* event) {
    if (!m_window || !event->mimeData()->hasUrls())
        return;
    QPointer<PlatformWidget> self(this);
    m_window->show(true);
    QPoint p = event->position().toPoint();
    if (!rect().contains(p))
        p = QPoint(-1, -1);
    event->acceptProposedAction();
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!self || !m_window)
            break;
        if (url.isLocalFile())
            m_window->onDropFile(url.toLocalFile().toStdString(), p.x(), p.y());
    }
}

// ---- Widget ---------------------------------------------------------------

Widget::Widget(Window* parent, int x, int y, int width, int height, int id)
    : m_x(x), m_y(y), m_width(width), m_height(height), m_id(id) {
    if (parent)
        parent->addWidget(this);
}

Widget::~Widget() {
    if (m_parent)
        m_parent->removeWidget(this);
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
        Window* tie = owner ? owner : (loop().topLevel.empty() ? nullptr : loop().topLevel.front());
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
        loop().topLevel.push_back(this);
        m_registered = true;
    }
}

Window::~Window() {
    destroy();
    // Owned widgets leave the list as they are deleted.
    while (!m_ownedWidgets.empty())
        m_ownedWidgets.pop_back();
    for (Widget* w : m_widgets)
        w->m_parent = nullptr;
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
    showMessageBox(this, cutText(text, kWindowMessageLimit), false);
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

Widget* Window::addWidget(Widget* widget) {
    if (!widget)
        return nullptr;
    if (widget->m_parent && widget->m_parent != this)
        widget->m_parent->removeWidget(widget);
    if (std::find(m_widgets.begin(), m_widgets.end(), widget) == m_widgets.end()) {
        if (m_widgets.size() == m_widgets.capacity())
            m_widgets.reserve(m_widgets.capacity() + 20);
        m_widgets.push_back(widget);
    }
    widget->m_parent = this;
    return widget;
}

void Window::adoptWidget(std::unique_ptr<Widget> widget) {
    if (!widget)
        return;
    addWidget(widget.get());
    m_ownedWidgets.push_back(std::move(widget));
}

void Window::removeWidget(Widget* widget) {
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

void Window::deleteWidgets() {
    while (!m_ownedWidgets.empty())
        m_ownedWidgets.pop_back();
    while (!m_widgets.empty()) {
        Widget* w = m_widgets.back();
        delete w;  // its destructor removes it from the list
        if (!m_widgets.empty() && m_widgets.back() == w)
            m_widgets.pop_back();
    }
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
    std::vector<QCursor>& table = cursorTable();
    if (index >= 0 && index < static_cast<int>(table.size()))
        m_platform->setCursor(table[index]);
    else
        m_platform->setCursor(Qt::BlankCursor);
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
    notifyModalShown(*this);
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
        auto& list = loop().topLevel;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (list.empty())
            loop().running = false;
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

// ---- process-wide ---------------------------------------------------------

void runEventLoop() {
    LoopState& state = loop();
    // Without a top-level window nothing could ever end the loop.
    state.running = !state.topLevel.empty();
    installTabInterceptor();
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
    installTabInterceptor();
    Window* previous = state.pumpWindow;
    state.pumpWindow = window;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    deleteClosedWindows();
    waitForInput(10);
    deleteClosedWindows();
    state.pumpWindow = previous;
}

const std::vector<Window*>& topLevelWindows() { return loop().topLevel; }

int addImageCursor(const ImageBuffer& image, int hotX, int hotY) {
    QImage bits = monoImage(kImageCursorSize, kImageCursorSize);
    QImage mask = monoImage(kImageCursorSize, kImageCursorSize);
    int width = std::min(image.width, kImageCursorSize);
    int height = std::min(image.height, kImageCursorSize);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = image.at(x, y);
            if (!isSetPixel(pixel))
                continue;
            mask.setPixel(x, y, 1);
            bits.setPixel(x, y, (pixel & 0xFFFFFF) == 0 ? 1 : 0);
        }
    }
    std::vector<QCursor>& table = cursorTable();
    table.emplace_back(QBitmap::fromImage(bits), QBitmap::fromImage(mask), hotX, hotY);
    return static_cast<int>(table.size()) - 1;
}

int cursorCount() { return static_cast<int>(cursorTable().size()); }

}  // namespace veltro
