// The program's shared state and the template thumbnail list.
#include "app/base/app_state.h"

#include <algorithm>
#include <chrono>

#include "image/file_utils.h"
#include "image/image_format.h"

namespace veltro {

namespace {

struct AppState {
    std::string executableDirectory;
    std::string workDirectory;
    std::string sampleDirectory;
    std::vector<TemplateThumbnail> thumbnails;
    Window* mainWindow = nullptr;
    bool quitConfirmed = false;
    std::function<int64_t()> clock;
};

AppState& state() {
    static AppState instance;
    return instance;
}

// Ascending byte order with unsigned bytes; a shorter prefix sorts first.
bool byteLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

}  // namespace

const std::string& executableDirectory() { return state().executableDirectory; }
void setExecutableDirectory(std::string directory) { state().executableDirectory = std::move(directory); }

const std::string& workDirectory() { return state().workDirectory; }
void setWorkDirectory(std::string directory) { state().workDirectory = std::move(directory); }

const std::string& sampleDirectory() { return state().sampleDirectory; }
void setSampleDirectory(std::string directory) { state().sampleDirectory = std::move(directory); }

void thumbnailSize(int width, int height, int* thumbWidth, int* thumbHeight) {
    *thumbWidth = 0;
    *thumbHeight = 0;
    if (width <= 0 || height <= 0)
        return;
    int64_t h = static_cast<int64_t>(height) * kThumbnailSize / width;
    if (h > kThumbnailSize) {
        *thumbHeight = kThumbnailSize;
        *thumbWidth = static_cast<int>(static_cast<int64_t>(width) * kThumbnailSize / height);
    } else {
        *thumbWidth = kThumbnailSize;
        *thumbHeight = static_cast<int>(h);
    }
}

std::vector<TemplateThumbnail> loadTemplateThumbnails(const std::string& templateDirectory) {
    std::vector<TemplateThumbnail> list;
    if (templateDirectory.empty() || !isDirectory(templateDirectory))
        return list;
    std::vector<std::string> names;
    for (const std::string& path : listDirectory(templateDirectory, "*.*"))
        names.push_back(fileName(path));
    std::sort(names.begin(), names.end(), byteLess);
    for (const std::string& name : names) {
        if (name == "." || name == "..")
            continue;
        std::string path = joinPath(templateDirectory, name);
        if (isDirectory(path) || !findImageFormat(path))
            continue;
        TemplateThumbnail entry{path, nullptr};
        if (ImagePtr picture = loadImage(path)) {
            int w = 0, h = 0;
            thumbnailSize(picture->width, picture->height, &w, &h);
            // A picture so thin that a side would vanish keeps one pixel of it.
            entry.thumbnail = scaleNearest(*picture, std::max(w, 1), std::max(h, 1));
        }
        list.push_back(std::move(entry));
    }
    return list;
}

const std::vector<TemplateThumbnail>& templateThumbnails() { return state().thumbnails; }
void setTemplateThumbnails(std::vector<TemplateThumbnail> thumbnails) { state().thumbnails = std::move(thumbnails); }

Window* currentMainWindow() { return state().mainWindow; }
void setCurrentMainWindow(Window* window) { state().mainWindow = window; }

bool quitConfirmed() { return state().quitConfirmed; }
void setQuitConfirmed(bool confirmed) { state().quitConfirmed = confirmed; }

int64_t processMilliseconds() {
    if (state().clock)
        return state().clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void setProcessClock(std::function<int64_t()> clock) { state().clock = std::move(clock); }

}  // namespace veltro
