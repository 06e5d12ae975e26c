// AppWindow: the common base of the program's full-size windows (main, edit,
// save and album windows). A borderless window with a 48-pixel strip on top
// that drags it, a double press on the strip's left part that shrinks it to
// its strip ("mini" mode) and back, the quit button that closes the whole
// chain of open windows after one question, and the help button that opens
// the window's page from the "doc" folder in the desktop's browser.
#pragma once

#include <memory>
#include <string>

#include "ui/dialog_window.h"

namespace veltro {

class Canvas;

// Height of the drag strip, and width of the part that a double press
// toggles mini mode on (also the size of a window in mini mode).
inline constexpr int kStripHeight = 48;
inline constexpr int kStripWidth = 200;
// Two strip presses closer than this toggle mini mode.
inline constexpr int kDoublePressMilliseconds = 500;

// Command ids of the strip buttons every application window has.
inline constexpr int kCommandQuit = 0;
inline constexpr int kCommandMini = 1;
inline constexpr int kCommandRestore = 2;
inline constexpr int kCommandHelp = 3;

// The quit question: confirmed at once when an earlier quit was confirmed;
// otherwise asks "quit?" with the buttons "b_quit" and "b_dontquit" and sets
// the quit-confirmed flag on the first one. True when confirmed.
bool confirmQuit(Window* owner);

class AppWindow : public DialogWindow {
public:
    // A borderless window at (x, y) of the given client size, carrying the
    // strip buttons of the "lmwin" layout; the restore button stays hidden
    // until mini mode. Derived windows load their own section afterwards.
    AppWindow(Window* owner, int x, int y, int clientWidth, int clientHeight);
    ~AppWindow() override;

    // The page of the "doc" folder the help button opens.
    virtual std::string helpPage() const;

    // A press on the strip starts dragging the window; a second press left of
    // the strip width within 500 ms of the last one toggles mini mode instead.
    void onLeftDown(int x, int y, int modifiers) override;
    void onLeftUp(int x, int y, int modifiers) override;
    // Drags the window (and its owner) while the button is down; otherwise
    // shows the move cursor over the strip.
    void onMouseMove(int x, int y, int modifiers) override;
    // Quit, mini mode, restore and help.
    void onCommand(int id) override;
    // Keys no widget took. The platform's quit key is ignored here: an
    // application window may hold open work, and only the quit button (with
    // its question) ends the program.
    void onKey(int code) override;
    // Closing an owned application window is a quit: asked once, then the
    // modal run ends with -1 so the whole chain closes.
    void onClose() override;

    // Shrinks the window to its strip or gives it its size back; the owners
    // up the chain follow first.
    void toggleMiniMode();
    bool isMini() const { return m_mini; }
    bool isDragging() const { return m_dragging; }

    // Opens the help page; false when the desktop could not take it.
    bool openHelp();

private:
    bool m_mini = false;
    bool m_dragging = false;
    std::unique_ptr<Canvas> m_stripSave;
    int m_savedWidth = 0;
    int m_savedHeight = 0;
    int m_dragOffsetX = 0;
    int m_dragOffsetY = 0;
    const ImageBuffer* m_icon = nullptr;
};

}  // namespace veltro
