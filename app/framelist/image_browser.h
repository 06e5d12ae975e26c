// The program's own picture chooser: a window titled "openimage" showing a
// folder's sub-folders and pictures as a 5 x 4 grid of thumbnails with a
// slider, walking into folders, choosing one or several pictures. Thumbnails
// are built on worker threads (the visible ones first) while the progress
// window counts them; its Stop keeps what was built and the window stays
// usable throughout.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/framelist/image_browser_model.h"
#include "app/framelist/thumbnail_loader.h"
#include "ui/dialog_window.h"

class QTimer;

namespace veltro {

class PushButton;
class Slider;

// Client size and command ids of the browser.
inline constexpr int kBrowserWidth = 520;
inline constexpr int kBrowserHeight = 490;
inline constexpr int kBrowserSliderId = 1;
inline constexpr int kBrowserFolderId = 3;
inline constexpr int kBrowserOkId = 4;
inline constexpr int kBrowserCancelId = 5;
// Two presses on the same selected item closer than this confirm.
inline constexpr int kBrowserDoubleClickMilliseconds = 500;

class ImageBrowser : public DialogWindow {
public:
    // A hidden browser owned by owner, in single or multiple selection.
    ImageBrowser(Window* owner, bool multiple);
    ~ImageBrowser() override;

    // Lists directory and starts building its thumbnails; false (with a
    // message, the listing unchanged) when it cannot be read.
    bool load(const std::string& directory);

    void onCommand(int id) override;
    void onLeftDown(int x, int y, int modifiers) override;
    void onMouseMove(int x, int y, int modifiers) override;
    bool onWheel(int steps, int x, int y) override;
    void onDropFile(const std::string& path, int x, int y) override;
    void onClose() override;

    // Takes the finished thumbnails into the items, redraws the cells that
    // changed and advances the progress window (runs on a timer while
    // thumbnails are being built).
    void collectThumbnails();
    // Waits for every thumbnail (tests and the benchmark) and collects them.
    void finishThumbnails();
    // Draws the grid, the path bar and the items on screen.
    void redraw();

    // The selected pictures (unreadable ones left out, after a message).
    std::vector<std::string> chosenPaths();
    const ImageBrowserModel& model() const { return m_model; }
    ThumbnailLoader& loader() { return m_loader; }
    Slider* slider() const { return m_slider; }

private:
    void confirm();
    void scrollTo(int row);
    void drawItem(int index);
    void preferVisible();
    void stopProgress();

    ImageBrowserModel m_model;
    ThumbnailLoader m_loader;
    std::unique_ptr<QTimer> m_timer;
    Slider* m_slider = nullptr;
    int m_lastClickItem = -1;
    long long m_lastClickTime = 0;
    bool m_progressShown = false;
    // True while collectThumbnails runs: the progress window is pumping
    // messages then, so it must not be closed, nor a folder loaded, until
    // that returns.
    bool m_collecting = false;
    bool m_closeProgressLater = false;
    // Thumbnails taken from the loader since the folder was loaded.
    int m_collected = 0;
    std::optional<std::string> m_pendingLoad;
};

// Runs the browser modally on startDirectory (the working folder when empty
// or unreadable). On "OK" with pictures selected, their full paths in name
// order; none when cancelled or closed.
std::optional<std::vector<std::string>> chooseImages(Window* owner, const std::string& startDirectory,
                                                     bool multiple);

}  // namespace veltro
