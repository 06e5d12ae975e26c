// The Qt widget behind every Window: it paints only by copying the window's
// back buffer and hands every input event to the window's routing. Window
// code and the window tests use it; nothing else needs to.
#pragma once

#include <QWidget>

namespace veltro {

class Window;

// One Qt widget of the window class "MORUPLAT:WIN".
class PlatformWidget : public QWidget {
public:
    enum MouseKind { kMove, kLeftDown, kLeftUp, kRightDown, kRightUp };

    PlatformWidget(Window* window, QWidget* parent, Qt::WindowFlags flags);
    // A platform window deleted with its Qt parent (a window living inside
    // its owner) leaves its Window destroyed rather than dangling.
    ~PlatformWidget() override;

    // The Window this platform window belongs to (nullptr once destroyed).
    Window* window_() const { return m_window; }
    // Unbinds the Window; later events get Qt's default handling.
    void detach() { m_window = nullptr; }

    // How deep the program is inside event handlers of its windows and
    // controls; a platform window is only deleted at depth 0.
    static int dispatchDepth() { return s_dispatchDepth; }

    // Marks the time spent in an event handler.
    struct DispatchGuard {
        DispatchGuard() { ++s_dispatchDepth; }
        ~DispatchGuard() { --s_dispatchDepth; }
        DispatchGuard(const DispatchGuard&) = delete;
        DispatchGuard& operator=(const DispatchGuard&) = delete;
    };

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void mouseEvent(QMouseEvent* event, int kind);

    Window* m_window;
    static int s_dispatchDepth;
};

}  // namespace veltro
