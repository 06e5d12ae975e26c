// The one seam every dialog passes through, so tests answer dialogs without
// a person: the Qt dialogs (message boxes and choosers) and every modal run
// of our own windows report to the installed handler. It sits below the
// windows and the dialogs alike: it knows a Window only as a pointer.
#pragma once

#include <functional>
#include <string>

class QDialog;
class QWidget;

namespace veltro {

class Window;

// The kinds of dialog the seam reports.
enum class DialogKind { Message, Choice, OpenFile, SaveFile, Colour, Folder, ModalWindow };

// A dialog that has just been shown.
struct ShownDialog {
    DialogKind kind;
    // Our own window (choice windows and every modal run), else nullptr.
    Window* window = nullptr;
    // The Qt dialog of messages and choosers, else nullptr. A handler
    // finishes it (accept, reject or a button click); one left open is
    // cancelled.
    QDialog* dialog = nullptr;
    // The message or choice text, or the window title.
    std::string text;
};

// Sees every dialog as it is shown, instead of a person.
using DialogHandler = std::function<void(ShownDialog&)>;
// Installs a handler (an empty one restores real dialogs) and returns the
// previous one. With a handler the Qt dialogs are Qt's own widget dialogs.
// Without one on the offscreen platform, where nobody could answer, message
// boxes, choosers and choice windows print their text to stderr and count as
// closed instead of waiting forever.
DialogHandler setDialogHandler(DialogHandler handler);
// True while a handler is installed.
bool dialogHandlerInstalled();
// Called by Window::runModal once the window is shown; title is the window's
// title, reported unless the run was announced with announceModal.
void notifyModalShown(Window& window, const std::string& title);
// Says what the next modal run is (a choice window, with its text) instead
// of a plain modal window.
void announceModal(DialogKind kind, const std::string& text);

// True when no person can see a dialog (the offscreen platform) and no
// handler answers it: the text goes to stderr and the caller counts the
// dialog as cancelled.
bool nobodyCanAnswer(const std::string& text);
// Runs a Qt dialog: for a person with exec, or shown and handed to the
// handler, which must finish it (an unfinished dialog counts as cancelled).
int runQtDialog(QDialog& dialog, DialogKind kind, const std::string& text);
// A message box with caption "Message" and an OK button, owned by the Qt
// widget owner (or by none); informationIcon adds the information icon.
void showQtMessageBox(QWidget* owner, const std::string& text, bool informationIcon);

}  // namespace veltro
