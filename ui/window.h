// The platform window every window of the program is built on and the child
// widgets that receive input before it. The event loop is in
// ui/event_loop.h, the cursor table in ui/cursors.h (both included here).
//
// A Window owns one Qt widget (object name "MORUPLAT:WIN") that paints only
// by copying the window's back buffer; everything else draws into the back
// buffer and flushes the touched rectangle. Mouse and key input is offered to
// the child widgets first (hover, pressed and focus references, Tab cycling),
// and only what they leave reaches the window's own handlers. Everything runs
// on the one UI thread; dialogs run as nested modal loops (Window::runModal)
// and long operations keep the interface alive with pumpMessages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/cursors.h"
#include "ui/event_loop.h"

class QWidget;

namespace veltro {

class Canvas;
class PlatformWidget;
class Window;

// The object name of every platform window of the program; the wheel rule
// ("is the window under the pointer one of ours?") tests it.
inline constexpr const char* kWindowClassName = "MORUPLAT:WIN";

// Key codes handed to handlers for the keys of the translation table (the
// control characters of line editing); printable keys arrive as characters.
inline constexpr int kKeyLeft = 2;
inline constexpr int kKeyRight = 6;
inline constexpr int kKeyUp = 16;
inline constexpr int kKeyDown = 14;
inline constexpr int kKeyHome = 1;
inline constexpr int kKeyEnd = 5;
inline constexpr int kKeyDelete = 4;
inline constexpr int kKeyTab = 9;
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeySpace = 32;

// Modifier bits passed with mouse events.
inline constexpr int kModShift = 1;
inline constexpr int kModControl = 2;

// Notification codes of native controls that reach Window::onCommand; every
// other notification is dropped.
inline constexpr int kNotifyClicked = 0;
inline constexpr int kNotifySelectionChanged = 1;
inline constexpr int kNotifyEditUpdated = 1024;
// Notifications an edit field sends when it gains or loses the focus (dropped).
inline constexpr int kNotifySetFocus = 0x100;
inline constexpr int kNotifyKillFocus = 0x200;

// How a window is framed.
enum class WindowFrame {
    FrameMain = 0,         // main window (a child inside its owner when owned)
    FrameTool = 1,         // tool window with a caption (dialogs, progress)
    FramePopup = 2,        // borderless window (application windows, splash)
    FrameSizableTool = 4,  // tool window with a sizing border
};

// A child element of a window: drawn widgets and native controls. A widget
// belongs to its window, which owns it from Window::addWidget on and deletes
// it with itself, with removeWidget or with deleteWidgets.
class Widget {
public:
    // A widget at (x, y) of size width x height in parent's client
    // coordinates. parent is the window the widget is made for (a native
    // control creates its platform control inside it); the widget joins it
    // when handed to parent->addWidget.
    Widget(Window* parent, int x, int y, int width, int height, int id);
    // Leaves the window it is in, if any.
    virtual ~Widget();
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    // Moves the widget (store only; native controls also move their control).
    virtual void setPosition(int x, int y);
    // Resizes the widget.
    virtual void setSize(int width, int height);
    // Moves and resizes the widget.
    virtual void setRect(int x, int y, int width, int height);
    // Enables or disables input to the widget.
    virtual void setEnabled(bool enabled);
    // True when the widget takes input.
    virtual bool isEnabled() const;
    // Shows or hides the widget.
    virtual void setVisible(bool visible);
    // True when the widget is shown.
    virtual bool isVisible() const;
    // Paints the widget into its parent's back buffer over its rectangle.
    virtual void draw();
    // Paints the widget into canvas at (x, y, width, height).
    virtual void paint(Canvas& canvas, int x, int y, int width, int height);
    // Paints into the parent's back buffer and flushes the rectangle.
    virtual void refresh();
    // The platform control of a native control; nullptr for drawn widgets.
    virtual QWidget* nativeHandle() const;
    // A key code; true when consumed.
    virtual bool onKey(int code);
    // Pointer moved, relative to the widget's top-left; true when consumed.
    virtual bool onMouseMove(int x, int y);
    // A button went down over the widget; true when consumed.
    virtual bool onButtonDown(int x, int y);
    // The pressed button went up (anywhere); true when consumed.
    virtual bool onButtonUp(int x, int y);
    // The pointer entered the widget.
    virtual void onEnter(int x, int y);
    // The pointer left the widget.
    virtual void onLeave(int x, int y);
    // The cursor table index shown over the widget.
    virtual int cursor() const;
    // A wheel turn (positive away from the user); true when consumed.
    virtual bool onWheel(int steps);

    // The window the widget belongs to, or nullptr.
    Window* parent() const { return m_parent; }
    int x() const { return m_x; }
    int y() const { return m_y; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The command id passed to the parent's Window::onCommand.
    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    // True when (x, y) in client coordinates lies inside the rectangle.
    bool contains(int x, int y) const;
    // True when the widget is its parent's hover, pressed or focus widget.
    bool isHover() const;
    bool isPressed() const;
    bool hasFocus() const;

protected:
    // Calls the parent's Window::onCommand with the widget's id.
    void fireCommand();
    // The window forgets its platform part: a native control drops its
    // handle, which the platform destroys together with the window.
    virtual void forgetNativeHandle() {}

private:
    friend class Window;

    Window* m_parent = nullptr;
    int m_x, m_y, m_width, m_height;
    int m_id;
    bool m_enabled = true;
    bool m_visible = true;
};

// One platform window with its back buffer and child widgets.
class Window {
public:
    // A hidden window of client size clientWidth x clientHeight at (x, y);
    // registered as top-level when it has no owner.
    Window(Window* owner, int x, int y, int clientWidth, int clientHeight, WindowFrame frame);
    // Destroys the platform window, then the widgets it still owns.
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Stretch-copies a rectangle of source into the back buffer.
    virtual void drawCanvasScaled(int dx, int dy, int dw, int dh, const Canvas& source, int sx, int sy,
                                  int sw, int sh);
    // Copies the whole of source into the back buffer at (x, y).
    virtual void drawCanvas(int x, int y, const Canvas& source);
    // Fills the back buffer with grey 808080.
    virtual void clear();
    // A message box owned by this window (caption "Message", OK); 0 without
    // a platform window, else 1 once closed.
    virtual int showMessage(const std::string& text);
    // Copies that rectangle of the back buffer to the screen at once.
    virtual void flushRect(int x, int y, int width, int height);
    // Copies the whole back buffer to the screen.
    virtual void flush();
    // Sets the title of the platform window.
    virtual void setTitle(const std::string& title);
    // A key no widget consumed; typing "q" stops the event loop.
    virtual void onKey(int code);
    // Left button down outside any consuming widget; captures the mouse.
    virtual void onLeftDown(int x, int y, int modifiers);
    // Left button up; releases the mouse.
    virtual void onLeftUp(int x, int y, int modifiers);
    // Pointer moved outside any consuming widget.
    virtual void onMouseMove(int x, int y, int modifiers);
    // Right button down; captures the mouse.
    virtual void onRightDown(int x, int y, int modifiers);
    // Right button up; releases the mouse.
    virtual void onRightUp(int x, int y, int modifiers);
    // The client area changed size.
    virtual void onSize(int width, int height);
    // Close request; destroys the window. May be called twice.
    virtual void onClose();
    // A widget or native control fired its id.
    virtual void onCommand(int id);
    // A menu or accelerator command.
    virtual void onMenuCommand(int id);
    // A file dropped at (x, y), or (-1, -1) when dropped outside the client.
    virtual void onDropFile(const std::string& path, int x, int y);
    // A wheel turn over the window; routes it to the widgets. True when consumed.
    virtual bool onWheel(int steps, int x, int y);

    // Takes ownership of widget (deleted with the window, by removeWidget or
    // by deleteWidgets), appends it to the widget list and makes this window
    // its parent; returns it for further setup.
    template <class T>
    T* addWidget(std::unique_ptr<T> widget) {
        T* raw = widget.get();
        adoptWidget(std::unique_ptr<Widget>(std::move(widget)));
        return raw;
    }
    // Takes widget out of the list, clears the hover, pressed and focus
    // references and deletes it. A widget handler may remove its own widget
    // as long as it returns without touching the widget.
    void removeWidget(Widget* widget);
    // Deletes every widget of the window.
    void deleteWidgets();
    // The first widget with that command id, or nullptr.
    Widget* widgetById(int id) const;
    // The first enabled, visible widget containing (x, y), or nullptr.
    Widget* widgetAt(int x, int y) const;
    // Draws every visible widget in list order.
    void drawWidgets();
    // The widgets in hit-test, drawing and Tab order.
    const std::vector<Widget*>& widgets() const { return m_widgets; }
    // A notification from the native control with that id: clicked (0),
    // selection changed (1) and edit text updated (1024) reach onCommand with
    // the low 16 bits of the id; every other notification is dropped.
    void dispatchControlCommand(int id, int notification);
    // Moves the focus; a native control also gets the keyboard focus.
    void setFocusWidget(Widget* widget);
    Widget* focusWidget() const { return m_focus; }
    Widget* hoverWidget() const { return m_hover; }
    Widget* pressedWidget() const { return m_pressed; }

    // Sets the pointer shape from the cursor table; an index outside it
    // hides the pointer.
    void setCursor(int index);
    // The cursor table index last set (-1 before any).
    int cursorIndex() const { return m_cursorIndex; }
    // Centres the outer window on the screen.
    void center();
    // Sets the client size, keeping the position.
    void resizeClient(int width, int height);
    // Moves the outer window, keeping its size.
    void moveTo(int x, int y);
    // Moves the outer window and sets the client size.
    void moveResize(int x, int y, int width, int height);
    // The outer rectangle on the screen; each output may be nullptr.
    void outerRect(int* left, int* top, int* width, int* height) const;
    // Extra width and height of the frame (outer size = client + extras).
    int extraWidth() const { return m_extraWidth; }
    int extraHeight() const { return m_extraHeight; }
    // Shows the window and brings it to the foreground, or hides it.
    void show(bool visible);
    // Enables or disables input to the window.
    void enable(bool enabled);
    // Captures the mouse (true) or releases it (false).
    void captureMouse(bool capture);

    // Runs the window modally: the owner is disabled, the window shown, and
    // messages pumped until endModal (or the window is destroyed, which
    // yields -1). Returns the modal result.
    int runModal();
    // A key code as the platform delivers it: offered to the widgets (Tab
    // cycles the focus), then to onKey when none consumed it.
    void handleKey(int code);

    // Ends the modal run with result.
    void endModal(int result);
    bool isModalRunning() const { return m_modalRunning; }
    int modalResult() const { return m_modalResult; }

    // Destroys the platform window and the back buffer and leaves the
    // top-level registry; afterwards drawing and flushing do nothing.
    void destroy();
    // True while the platform window exists.
    bool exists() const { return m_platform != nullptr; }
    // The back buffer (nullptr after destroy); it grows with the client area
    // and never shrinks.
    Canvas* backBuffer() const { return m_backBuffer.get(); }
    // The platform window (nullptr after destroy).
    QWidget* platformWindow() const;
    // The window given as owner at construction, or nullptr.
    Window* owner() const { return m_owner; }
    WindowFrame frame() const { return m_frame; }

private:
    friend class PlatformWidget;
    friend class Widget;

    // Input routing: offered to the widgets first; true when consumed.
    bool routeMouseMove(int x, int y);
    bool routeButtonDown(int x, int y);
    bool routeButtonUp(int x, int y);
    bool routeKey(int code);
    // The pointer left the window: the hover widget is told and forgotten.
    void clearHover();
    // Platform events, after translation.
    void handleMouse(int kind, int x, int y, int modifiers);
    void handleResize(int width, int height);
    void handleWheel(int steps, int globalX, int globalY);
    void updateExtras();

    void adoptWidget(std::unique_ptr<Widget> widget);
    // Drops every reference to widget without deleting it (its destructor
    // is running).
    void forgetWidget(Widget* widget);

    PlatformWidget* m_platform = nullptr;
    std::unique_ptr<Canvas> m_backBuffer;
    // The widgets in list order (views of m_ownedWidgets).
    std::vector<Widget*> m_widgets;
    std::vector<std::unique_ptr<Widget>> m_ownedWidgets;
    Widget* m_hover = nullptr;
    Widget* m_pressed = nullptr;
    Widget* m_focus = nullptr;
    Window* m_owner;
    WindowFrame m_frame;
    int m_extraWidth = 0;
    int m_extraHeight = 0;
    int m_modalResult = 0;
    bool m_modalRunning = false;
    bool m_registered = false;
    int m_cursorIndex = -1;
    int m_reportedWidth = -1;
    int m_reportedHeight = -1;
};

}  // namespace veltro
