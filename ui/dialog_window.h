// The window every dialog and application window is built on: a Window whose
// size, title, buttons, fields, labels and pictures come from a named section
// of "dialog.txt" (see ui/layout.h), which ends its modal run with -1 when
// closed and shows messages owned by the window that has the focus.
#pragma once

#include <string>

#include "ui/window.h"

namespace veltro {

class DialogWindow : public Window {
public:
    // A dialog of the given client size, modal result 0.
    DialogWindow(Window* owner, int x, int y, int clientWidth, int clientHeight, WindowFrame frame);
    // A tool window laid out from section of "dialog.txt"; shows "e_no_dialog"
    // when the file cannot be read. The widget with id 0 gets the focus.
    DialogWindow(Window* owner, const std::string& section);
    // A message box owned by the window that has the keyboard focus.
    int showMessage(const std::string& text) override;
    // Re-enables the owner, destroys the window and ends the modal run with -1.
    void onClose() override;
};

}  // namespace veltro
