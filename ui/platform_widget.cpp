// PlatformWidget: the Qt widget of a Window. It paints from the back buffer
// and translates Qt's input events into the window's routing.
#include "ui/platform_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QUrl>
#include <QWheelEvent>

#include "services/canvas.h"
#include "ui/window.h"

namespace veltro {

namespace {

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

}  // namespace

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
    int steps = takeWheelSteps(event->angleDelta().y());
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
            m_window->onDropFile(QFile::encodeName(url.toLocalFile()).toStdString(), p.x(), p.y());
    }
}

}  // namespace veltro
