// The small reusable dialogs: message boxes, the choice window with up to ten
// buttons, the open-file, save-file and colour choosers, the folder browser
// and the single process-wide progress window. Callers pass texts they have
// already looked up. Every dialog also passes through the seam of
// ui/dialog_seam.h (setDialogHandler), so tests answer them without a person.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/progress.h"
#include "ui/dialog_seam.h"

namespace veltro {

class Window;

// Most buttons a choice window shows.
inline constexpr int kMaxChoiceButtons = 10;

// A message box with caption "Message" and an OK button, owned by owner's
// platform window (or by none); informationIcon adds the information icon.
void showMessageBox(Window* owner, const std::string& text, bool informationIcon);
// The message box for errors and notices: information icon, owned by the
// window that has the keyboard focus.
void showFocusedMessage(const std::string& text);
// The window that has the keyboard focus, or nullptr.
Window* focusedWindow();

// Offers text with one button per caption (at most ten); the index of the
// pressed button, -1 when the window was closed, 0 without captions.
int askChoice(Window* owner, const std::string& text, const std::vector<std::string>& captions);

// Converts a double-NUL list of description/pattern pairs ("PNG\0*.png\0\0")
// into a Qt filter text ("PNG (*.png)"), pairs joined by ";;". Reads no
// further than the string's own size.
std::string toQtFilter(const std::string& doubleNulList);
// Lets the user pick an existing file. The name starts from *buffer (or from
// the default buffer, which keeps the last choice); the chosen path is stored
// there and returned. None when cancelled.
std::optional<std::string> chooseOpenFile(Window* owner, const std::string& filter, std::string* buffer = nullptr);
// Lets the user pick a file to write; the same buffer rule with its own
// default buffer. None when cancelled.
std::optional<std::string> chooseSaveFile(Window* owner, const std::string& filter, std::string* buffer = nullptr);
// Lets the user pick a colour starting from initial (0xRRGGBB); the result is
// 0xFF000000 | RRGGBB. None when cancelled. The 16 custom colours the user
// edits are kept for the run.
std::optional<uint32_t> chooseColour(Window* owner, uint32_t initial);
// The 16 custom colours of the colour chooser (0xRRGGBB).
const std::array<uint32_t, 16>& customColours();
// Lets the user pick a folder (the chooser can create new folders), starting
// from *buffer or the default buffer; the path is stored there and returned.
std::optional<std::string> browseFolder(Window* owner, std::string* buffer = nullptr);

// Shows the progress window with caption (closing an earlier one); false
// when it could not be created.
bool showProgress(Window* owner, const std::string& caption);
// Draws done out of total and pumps messages once; false when there is no
// progress window (the user pressed "Stop" or closed it, or none was shown).
bool updateProgress(int done, int total);
// Deletes the progress window.
void closeProgress();
// The progress window while one exists.
Window* progressWindow();
// The text the progress bar shows for done out of total ("7/9 (77%)"),
// empty when total is not positive.
std::string progressText(int done, int total);

// The progress window as the Progress interface long operations report to.
class WindowProgress : public Progress {
public:
    explicit WindowProgress(Window* owner = nullptr) : m_owner(owner) {}
    bool begin(const std::string& caption) override { return showProgress(m_owner, caption); }
    bool update(int done, int total) override { return updateProgress(done, total); }
    void end() override { closeProgress(); }

private:
    Window* m_owner;
};

}  // namespace veltro
