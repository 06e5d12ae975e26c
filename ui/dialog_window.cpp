// DialogWindow: layout-built windows that end their modal run when closed.
#include "ui/dialog_window.h"

#include "services/prompts.h"
#include "services/resources.h"
#include "ui/layout.h"

namespace veltro {

DialogWindow::DialogWindow(Window* owner, int x, int y, int clientWidth, int clientHeight, WindowFrame frame)
    : Window(owner, x, y, clientWidth, clientHeight, frame) {}

DialogWindow::DialogWindow(Window* owner, const std::string& section)
    : Window(owner, 0, 0, 10, 10, WindowFrame::FrameTool) {
    if (!loadLayout(*this, section))
        veltro::showMessage(formatText(resources().text("e_no_dialog"), {section}));
    if (Widget* first = widgetById(0))
        setFocusWidget(first);
}

int DialogWindow::showMessage(const std::string& text) {
    veltro::showMessage(text);
    return 1;
}

void DialogWindow::onClose() {
    if (owner())
        owner()->enable(true);
    destroy();
    endModal(-1);
}

}  // namespace veltro
