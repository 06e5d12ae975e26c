// What the program's windows share for the whole run: where the program and
// its data live, the page-template thumbnails the save window offers, the
// main window the flows return to, the quit-confirmed flag and the clock the
// drag strips measure double presses with. Start-up fills it; every window
// reads it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

class Window;

// The directory holding the program file (its "res", "template" and "doc"
// folders sit beside it).
const std::string& executableDirectory();
void setExecutableDirectory(std::string directory);

// The working directory for temporary clips and recordings: "tmp" beside the
// program, or a per-user cache folder when the install folder is read-only.
const std::string& workDirectory();
void setWorkDirectory(std::string directory);

// The folder holding the first-run sample clip (empty when there is none).
const std::string& sampleDirectory();
void setSampleDirectory(std::string directory);

// One page background: the template file and its thumbnail (none when the
// file did not load).
struct TemplateThumbnail {
    std::string path;
    ImagePtr thumbnail;
};

// Width and height a thumbnail is scaled into.
inline constexpr int kThumbnailSize = 70;

// The size a width x height picture gets as a template thumbnail: width 70
// and height h * 70 / w, or, when that height exceeds 70, height 70 and width
// w * 70 / h (integer division).
void thumbnailSize(int width, int height, int* thumbWidth, int* thumbHeight);

// Lists templateDirectory in ascending byte order, skips folders and names no
// registered image format claims, and loads each picture as a thumbnail. A
// missing directory gives an empty list.
std::vector<TemplateThumbnail> loadTemplateThumbnails(const std::string& templateDirectory);

// The template thumbnails of this run (empty until start-up builds them).
const std::vector<TemplateThumbnail>& templateThumbnails();
void setTemplateThumbnails(std::vector<TemplateThumbnail> thumbnails);

// The main window, which the flows return to (nullptr outside a run).
Window* currentMainWindow();
void setCurrentMainWindow(Window* window);

// Set by the first confirmed quit, so the windows closing down the chain
// after it ask no more.
bool quitConfirmed();
void setQuitConfirmed(bool confirmed);

// Milliseconds of the process clock (steady, arbitrary origin).
int64_t processMilliseconds();
// Replaces the clock (tests); an empty function restores the real one.
void setProcessClock(std::function<int64_t()> clock);

}  // namespace veltro
