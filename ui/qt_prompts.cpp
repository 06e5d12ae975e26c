// QtPrompts: the seam's calls mapped onto the common dialogs.
#include "ui/qt_prompts.h"

#include "ui/dialogs.h"

namespace veltro {

void QtPrompts::showMessage(const std::string& text) { showFocusedMessage(text); }

int QtPrompts::askChoice(const std::string& text, const std::vector<std::string>& captions) {
    return veltro::askChoice(focusedWindow(), text, captions);
}

std::string QtPrompts::chooseOpenFile(const std::string& filter, const std::string& initial) {
    std::string buffer = initial;
    return veltro::chooseOpenFile(focusedWindow(), filter, &buffer).value_or(std::string());
}

std::string QtPrompts::chooseSaveFile(const std::string& filter, const std::string& initial) {
    std::string buffer = initial;
    return veltro::chooseSaveFile(focusedWindow(), filter, &buffer).value_or(std::string());
}

}  // namespace veltro
