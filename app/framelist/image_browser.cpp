#include "app/framelist/image_browser.h"

#include <QTimer>

#include <algorithm>
#include <cstdlib>

#include "app/base/app_state.h"
#include "image/file_utils.h"
#include "services/canvas.h"
#include "services/font.h"
#include "services/resources.h"
#include "ui/dialogs.h"
#include "ui/native_control.h"
#include "ui/slider.h"

namespace veltro {

namespace {

constexpr int kGridWidth = kBrowserColumns * kBrowserCell;
constexpr int kGridHeight = kBrowserRows * kBrowserCell;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kCellFrame = 0xE0E0E0;
constexpr uint32_t kSelectedFrame = 0xFF0000;
constexpr uint32_t kPlaceholder = 0xF0F0F0;
constexpr uint32_t kGreyText = 0x808080;
constexpr int kNameWidth = 96;
constexpr int kPathBarWidth = 436;
// How often finished thumbnails are collected while some are being built.
constexpr int kCollectMilliseconds = 15;

// The longest start of text (whole UTF-8 characters) that, with "...", fits
// width pixels; the text itself when it fits.
std::string fitted(Canvas& canvas, const std::string& text, int width, bool keepEnd) {
    int w = 0;
    canvas.textExtent(text, &w, nullptr);
    if (w <= width)
        return text;
    std::string part = text;
    while (!part.empty()) {
        // Drop one whole character from the cut side.
        if (keepEnd) {
            size_t n = 1;
            while (n < part.size() && (static_cast<unsigned char>(part[n]) & 0xC0) == 0x80)
                ++n;
            part.erase(0, n);
        } else {
            size_t n = part.size() - 1;
            while (n > 0 && (static_cast<unsigned char>(part[n]) & 0xC0) == 0x80)
                --n;
            part.erase(n);
        }
        const std::string candidate = keepEnd ? "..." + part : part + "...";
        canvas.textExtent(candidate, &w, nullptr);
        if (w <= width)
            return candidate;
    }
    return std::string();
}

// Text centred in a field of width pixels at (x, y).
void drawCentred(Canvas& canvas, int x, int y, int width, const std::string& text, uint32_t colour) {
    const std::string shown = fitted(canvas, text, width, false);
    int w = 0, h = 0;
    canvas.textExtent(shown, &w, &h);
    canvas.drawText(x + (width - w) / 2, y, w, h, shown, colour);
}

// The folder the browser opened last in this run.
std::string& lastFolder() {
    static std::string folder;
    return folder;
}

}  // namespace

ImageBrowser::ImageBrowser(Window* owner, bool multiple)
    : DialogWindow(owner, 0, 0, kBrowserWidth, kBrowserHeight, WindowFrame::FrameTool), m_model(multiple),
      m_timer(std::make_unique<QTimer>()) {
    setTitle(resources().textCopy("openimage"));
    addWidget(std::make_unique<PushButton>(this, 440, 0, 80, 30, kBrowserFolderId, "..."));
    m_slider = addWidget(std::make_unique<Slider>(this, 500, kBrowserGridTop, 20, kGridHeight, kBrowserSliderId, false));
    addWidget(std::make_unique<PushButton>(this, 90, 445, 80, 35, kBrowserOkId, "OK"));
    addWidget(std::make_unique<PushButton>(this, 350, 445, 95, 35, kBrowserCancelId, resources().textCopy("b_cancel")));
    m_slider->setRange(0, 0);
    m_slider->setThumbRatio(1.0);
    if (Canvas* canvas = backBuffer()) {
        canvas->fillButtonFace(0, 0, kBrowserWidth, kBrowserHeight);
        canvas->selectFont(Font::defaultFont());
    }
    m_timer->setInterval(kCollectMilliseconds);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { collectThumbnails(); });
    center();
}

ImageBrowser::~ImageBrowser() {
    m_timer->stop();
    m_loader.stop();
    stopProgress();
}

bool ImageBrowser::load(const std::string& directory) {
    if (m_collecting) {
        // Asked from a handler running inside the progress window's update:
        // done once that update has returned.
        m_pendingLoad = directory;
        return true;
    }
    setCursor(kCursorWatch);
    m_loader.stop();
    stopProgress();
    if (!m_model.list(directory)) {
        setCursor(kCursorPointer);
        showMessage("The folder \"" + directory + "\" cannot be read.");
        return false;
    }
    lastFolder() = m_model.directory();
    m_lastClickItem = -1;
    m_loader.start(m_model.picturePaths());
    m_collected = 0;
    const int rows = (m_model.count() + kBrowserColumns - 1) / kBrowserColumns;
    m_slider->setRange(0, m_model.sliderMaximum());
    m_slider->setValue(0);
    m_slider->setThumbRatio(rows > kBrowserRows ? double(kBrowserRows) / rows : 1.0);
    preferVisible();
    redraw();
    if (m_loader.busy()) {
        m_progressShown = showProgress(this, resources().textCopy("loading_image"));
        // Beside the grid rather than over it, when the screen has room.
        if (Window* progress = progressWindow()) {
            int left = 0, top = 0, width = 0, height = 0, progressWidth = 0;
            outerRect(&left, &top, &width, &height);
            progress->outerRect(nullptr, nullptr, &progressWidth, nullptr);
            progress->moveTo(left + (width - progressWidth) / 2, top + height + 4);
        }
        m_timer->start();
    }
    setCursor(kCursorPointer);
    return true;
}

void ImageBrowser::preferVisible() {
    const int first = m_model.firstRow() * kBrowserColumns - m_model.firstPicture();
    const int count = kBrowserColumns * kBrowserRows;
    m_loader.prefer(std::max(first, 0), first < 0 ? count + first : count);
}

void ImageBrowser::stopProgress() {
    if (m_collecting) {
        m_closeProgressLater = m_progressShown;
        return;
    }
    if (m_progressShown)
        closeProgress();
    m_progressShown = false;
}

void ImageBrowser::collectThumbnails() {
    if (m_collecting)
        return;
    m_collecting = true;
    bool touched = false;
    for (ThumbnailLoader::Finished& done : m_loader.takeFinished()) {
        ++m_collected;
        const int index = m_model.firstPicture() + done.index;
        if (index >= m_model.count())
            continue;
        ImageBrowserItem& item = m_model.items()[static_cast<size_t>(index)];
        item.thumbnail = std::move(done.thumbnail.image);
        item.pictureWidth = done.thumbnail.pictureWidth;
        item.pictureHeight = done.thumbnail.pictureHeight;
        item.built = true;
        if (m_model.isVisible(index)) {
            drawItem(index);
            touched = true;
        }
    }
    if (touched)
        flushRect(0, kBrowserGridTop, kGridWidth, kGridHeight);
    const bool busy = m_loader.busy();
    if (m_progressShown && busy && !updateProgress(m_loader.builtCount(), m_loader.total())) {
        // Stop keeps what was built; the rest stay listed without a picture.
        m_loader.stop();
        stopProgress();
    }
    m_collecting = false;
    if (m_closeProgressLater || !busy || !m_progressShown) {
        m_closeProgressLater = false;
        stopProgress();
        if (!m_loader.busy() && m_collected >= m_loader.builtCount())
            m_timer->stop();
    }
    if (m_pendingLoad) {
        const std::string directory = std::move(*m_pendingLoad);
        m_pendingLoad.reset();
        load(directory);
    }
}

void ImageBrowser::finishThumbnails() {
    m_loader.waitIdle();
    collectThumbnails();
    collectThumbnails();
}

void ImageBrowser::drawItem(int index) {
    Canvas* canvas = backBuffer();
    if (!canvas || !m_model.isVisible(index))
        return;
    const int offset = index - m_model.firstRow() * kBrowserColumns;
    const int x = kBrowserCell * (offset % kBrowserColumns);
    const int y = kBrowserGridTop + kBrowserCell * (offset / kBrowserColumns);
    const ImageBrowserItem& item = m_model.items()[static_cast<size_t>(index)];
    canvas->fillRect(x, y, kBrowserCell, kBrowserCell, kWhite);
    if (item.isDirectory) {
        if (const ImageBuffer* folder = resources().image("folder.png"))
            canvas->drawImage(x + 10 + (kThumbnailWidth - std::min(folder->width, kThumbnailWidth)) / 2, y + 10,
                              std::min(folder->width, kThumbnailWidth), std::min(folder->height, kThumbnailHeight),
                              *folder);
    } else if (item.thumbnail) {
        const ImageBuffer& thumb = *item.thumbnail;
        canvas->drawImage(x + 10 + (kThumbnailWidth - thumb.width) / 2, y + 10 + (kThumbnailHeight - thumb.height) / 2,
                          thumb.width, thumb.height, thumb);
    } else {
        canvas->fillRect(x + 10, y + 10, kThumbnailWidth, kThumbnailHeight, kPlaceholder);
    }
    drawCentred(*canvas, x + 2, y + 70, kNameWidth, item.name, kBlack);
    if (!item.isDirectory) {
        if (item.unreadable())
            drawCentred(*canvas, x + 2, y + 86, kNameWidth, "unreadable", kSelectedFrame);
        else if (item.built)
            drawCentred(*canvas, x + 2, y + 86, kNameWidth,
                        std::to_string(item.pictureWidth) + "x" + std::to_string(item.pictureHeight), kGreyText);
    }
    canvas->frameRect(x, y, kBrowserCell + 1, kBrowserCell + 1, kCellFrame);
    if (item.selected)
        canvas->frameRect(x + 1, y + 1, kBrowserCell - 1, kBrowserCell - 1, kSelectedFrame);
}

void ImageBrowser::redraw() {
    Canvas* canvas = backBuffer();
    if (!canvas)
        return;
    canvas->fillRect(0, kBrowserGridTop, kGridWidth, kGridHeight, kWhite);
    for (int i = 0; i < kBrowserColumns * kBrowserRows; ++i)
        drawItem(m_model.firstRow() * kBrowserColumns + i);
    canvas->frameRect(0, kBrowserGridTop, kGridWidth + 1, kGridHeight + 1, kBlack);
    canvas->fillRect(0, 5, kPathBarWidth, 20, kCellFrame);
    canvas->frameRect(0, 5, kPathBarWidth, 20, kBlack);
    canvas->drawText(2, 7, kPathBarWidth - 4, 16, fitted(*canvas, m_model.directory(), kPathBarWidth - 6, true), kBlack);
    if (m_slider)
        m_slider->draw();
    flush();
}

void ImageBrowser::scrollTo(int row) {
    m_model.setFirstRow(row);
    if (m_slider)
        m_slider->setValue(m_model.firstRow());
    preferVisible();
    redraw();
}

void ImageBrowser::confirm() {
    const int folder = m_model.firstSelectedDirectory();
    if (folder >= 0) {
        load(m_model.pathOf(folder));
        return;
    }
    if (m_model.anySelected())
        endModal(1);
}

void ImageBrowser::onCommand(int id) {
    switch (id) {
    case kBrowserSliderId:
        if (m_slider)
            scrollTo(m_slider->value());
        break;
    case kBrowserFolderId: {
        std::string start = m_model.directory();
        if (std::optional<std::string> folder = browseFolder(this, &start))
            load(*folder);
        break;
    }
    case kBrowserOkId: confirm(); break;
    case kBrowserCancelId: endModal(0); break;
    default: break;
    }
}

void ImageBrowser::onLeftDown(int x, int y, int modifiers) {
    const int index = m_model.itemAt(x, y);
    if (index < 0)
        return;
    m_model.click(index, modifiers);
    redraw();
    const long long now = processMilliseconds();
    if (index == m_lastClickItem && now - m_lastClickTime < kBrowserDoubleClickMilliseconds &&
        m_model.items()[static_cast<size_t>(index)].selected) {
        m_lastClickItem = -1;
        confirm();
        return;
    }
    m_lastClickItem = index;
    m_lastClickTime = now;
}

void ImageBrowser::onMouseMove(int x, int y, int) { setCursor(m_model.itemAt(x, y) >= 0 ? kCursorPointer : kCursorNotAllowed); }

bool ImageBrowser::onWheel(int steps, int x, int y) {
    if (x >= 0 && x < kGridWidth && y >= kBrowserGridTop && y < kBrowserGridTop + kGridHeight) {
        scrollTo(m_model.firstRow() - steps);
        return true;
    }
    return DialogWindow::onWheel(steps, x, y);
}

void ImageBrowser::onDropFile(const std::string& path, int, int) {
    load(isDirectory(path) ? path : directoryOf(path));
}

void ImageBrowser::onClose() {
    m_timer->stop();
    m_loader.stop();
    stopProgress();
    DialogWindow::onClose();
}

std::vector<std::string> ImageBrowser::chosenPaths() {
    std::vector<std::string> unreadable;
    std::vector<std::string> paths = m_model.chosenPaths(&unreadable);
    if (!unreadable.empty()) {
        std::string text = "These pictures cannot be read and were left out:";
        for (const std::string& name : unreadable)
            text += "\n" + name;
        showMessage(text);
    }
    return paths;
}

std::optional<std::vector<std::string>> chooseImages(Window* owner, const std::string& startDirectory,
                                                     bool multiple) {
    auto browser = std::make_unique<ImageBrowser>(owner, multiple);
    std::vector<std::string> starts = {startDirectory, lastFolder(), workDirectory()};
    if (const char* home = std::getenv("HOME"))
        starts.emplace_back(home);
    starts.emplace_back("/");
    bool loaded = false;
    for (const std::string& start : starts)
        if (!start.empty() && isDirectory(start) && (loaded = browser->load(start)))
            break;
    if (!loaded)
        return std::nullopt;
    if (browser->runModal() != 1)
        return std::nullopt;
    std::vector<std::string> paths = browser->chosenPaths();
    if (paths.empty())
        return std::nullopt;
    return paths;
}

}  // namespace veltro
