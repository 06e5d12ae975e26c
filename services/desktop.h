// The desktop around the program: handing files and pages to the system's
// associated program, the screen size, the pointer position, the button-face
// colour and sleeping. The window layer feeds in what only it knows (screen,
// pointer); models and tests read it here without any window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace veltro {

// Hands a file or page to the desktop's associated program; true when the
// hand-over succeeded. A call made while another is still running fails at once.
bool openDocument(const std::string& path);
// What openDocument runs; the default starts "xdg-open PATH".
using DocumentOpener = std::function<bool(const std::string& path)>;
// Installs a replacement (tests, the window layer); an empty one restores the
// default. Returns the previous opener.
DocumentOpener setDocumentOpener(DocumentOpener opener);

// A screen position in pixels.
struct ScreenPoint {
    int x = 0;
    int y = 0;
};
// The system's button-face colour as 0x00RRGGBB.
uint32_t buttonFaceColour();
// Screen size in pixels, as last reported by the window layer (1024 x 768 before).
int screenWidth();
int screenHeight();
// The window layer reports the screen size here once it knows it.
void setScreenSize(int width, int height);
// The pointer's screen position (the origin until the window layer answers).
ScreenPoint cursorPosition();
// The window layer installs the pointer query here; empty restores the default.
void setCursorQuery(std::function<ScreenPoint()> query);
// Blocks the calling thread for the given time.
void sleep(int milliseconds);

}  // namespace veltro
