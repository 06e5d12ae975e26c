// The album window. Listing the album only reads directory entries and file
// times; the thumbnail, title and date of a page are read the first time its
// row is shown, so a large album opens as fast as a small one.
#include "app/publish/album_window.h"

#include <QUrl>

#include <algorithm>

#include "app/base/app_state.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "publish/page_flow.h"
#include "services/canvas.h"
#include "services/desktop.h"
#include "services/font.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/layout.h"

namespace veltro {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kSelectionRed = 0xFF0000;
constexpr int kTextLeft = 90;
constexpr int kTextHeight = 18;

// "name (nKB)" with the archive's size, or the name alone without one.
std::string entryLabel(const AlbumPage& page) {
    std::optional<long long> size = pageArchiveSize(page);
    if (!size)
        return page.name;
    return page.name + " (" + std::to_string(*size / 1024) + "KB)";
}

// The thumbnail scaled to fit 80 x 60, keeping its proportions.
ImagePtr fitThumbnail(const ImageBuffer& image) {
    if (image.width <= 0 || image.height <= 0)
        return nullptr;
    int width = kAlbumThumbWidth;
    int height = static_cast<int>(static_cast<long long>(image.height) * kAlbumThumbWidth / image.width);
    if (height > kAlbumThumbHeight) {
        height = kAlbumThumbHeight;
        width = static_cast<int>(static_cast<long long>(image.width) * kAlbumThumbHeight / image.height);
    }
    return scaleAverage(image, std::max(width, 1), std::max(height, 1));
}

}  // namespace

std::string pageUrl(const std::string& pageDir) {
    return QUrl::fromLocalFile(QString::fromStdString(joinPath(pageDir, "index.html")))
        .toString(QUrl::FullyEncoded)
        .toStdString();
}

AlbumWindow::AlbumWindow(Window* owner)
    : AppWindow(owner, 0, 0, 720, 540) {
    if (!loadLayout(*this, "lmalbumwin"))
        showMessage(formatText(resources().text("e_no_dialog"), {"lmalbumwin"}));
    // The list runs from the left edge at 70 to the scroll column, and from
    // the top of the scroll-up button to the bottom of the scroll-down one.
    Widget* up = widgetById(kAlbumUp);
    Widget* down = widgetById(kAlbumDown);
    if (up && down) {
        m_listY = up->y();
        m_listWidth = std::max(up->x() - m_listX, kTextLeft + 1);
        m_rows = std::max((down->y() + down->height() - m_listY) / kAlbumRowHeight, 1);
    }
    rebuild();
}

AlbumWindow::~AlbumWindow() = default;

void AlbumWindow::rebuild() {
    m_albumDir = albumDirectory();
    m_entries.clear();
    for (AlbumPage& page : listAlbumPages(m_albumDir)) {
        AlbumEntry entry;
        entry.label = entryLabel(page);
        entry.page = std::move(page);
        m_entries.push_back(std::move(entry));
    }
    const int count = static_cast<int>(m_entries.size());
    m_selection = std::clamp(m_selection, 0, std::max(count - 1, 0));
    m_firstVisible = std::clamp(m_firstVisible, 0, std::max(count - 1, 0));
    m_lastClickRow = -1;
    updateButtons();
}

bool AlbumWindow::hasSelection() const {
    return m_selection >= 0 && m_selection < static_cast<int>(m_entries.size());
}

void AlbumWindow::updateButtons() {
    const bool any = !m_entries.empty();
    for (int id : {kAlbumView, kAlbumDelete, kAlbumEdit, kAlbumFolder}) {
        if (Widget* widget = widgetById(id)) {
            if (widget->isEnabled() != any) {
                widget->setEnabled(any);
                widget->refresh();
            }
        }
    }
}

void AlbumWindow::loadEntry(AlbumEntry& entry) {
    if (entry.loaded)
        return;
    entry.loaded = true;
    const std::string thumb = joinPath(entry.page.directory, "thumb.jpg");
    if (fileExists(thumb))
        if (ImagePtr image = loadImage(thumb))
            entry.thumbnail = fitThumbnail(*image);
    Settings data(joinPath(entry.page.directory, "data.txt"));
    entry.title = data.find("title", "");
    entry.date = data.find("date", "");
}

void AlbumWindow::drawRow(int row) {
    Canvas* canvas = backBuffer();
    const int index = m_firstVisible + row;
    if (!canvas || index < 0 || index >= static_cast<int>(m_entries.size()))
        return;
    AlbumEntry& entry = m_entries[index];
    loadEntry(entry);
    const int top = m_listY + row * kAlbumRowHeight;
    if (entry.thumbnail) {
        const ImageBuffer& thumb = *entry.thumbnail;
        canvas->drawImage(m_listX + (kAlbumThumbWidth - thumb.width) / 2,
                          top + (kAlbumThumbHeight - thumb.height) / 2, thumb.width, thumb.height, thumb);
    } else {
        canvas->fillRect(m_listX, top, kAlbumThumbWidth, kAlbumThumbHeight, kBlack);
    }
    canvas->selectFont(Font::defaultFont());
    const int textX = m_listX + kTextLeft;
    const int textW = m_listWidth - kTextLeft;
    canvas->drawText(textX, top + 2, textW, kTextHeight, entry.label, kBlack);
    canvas->drawText(textX, top + 20, textW, kTextHeight, entry.title, kBlack);
    canvas->drawText(textX, top + 40, textW, kTextHeight, entry.date, kBlack);
    canvas->drawLine(m_listX, top + kAlbumRowHeight, m_listX + m_listWidth, top + kAlbumRowHeight, kGrey);
    if (index == m_selection)
        canvas->frameRect(m_listX, top, m_listWidth, kAlbumRowHeight + 1, kSelectionRed);
}

void AlbumWindow::drawList() {
    Canvas* canvas = backBuffer();
    if (!canvas)
        return;
    const int height = m_rows * kAlbumRowHeight;
    canvas->fillRect(m_listX, m_listY, m_listWidth, height, kWhite);
    for (int row = 0; row < m_rows; ++row)
        drawRow(row);
    flushRect(m_listX, m_listY, m_listWidth, height + 1);
}

void AlbumWindow::scrollTo(int first) {
    const int count = static_cast<int>(m_entries.size());
    first = std::clamp(first, 0, std::max(count - 1, 0));
    if (first == m_firstVisible)
        return;
    m_firstVisible = first;
    drawList();
}

void AlbumWindow::select(int index) {
    const int count = static_cast<int>(m_entries.size());
    if (count == 0)
        return;
    m_selection = std::clamp(index, 0, count - 1);
    if (m_selection < m_firstVisible)
        m_firstVisible = m_selection;
    else if (m_selection >= m_firstVisible + m_rows)
        m_firstVisible = m_selection - m_rows + 1;
    drawList();
}

void AlbumWindow::view() {
    if (!hasSelection())
        return;
    const std::string url = pageUrl(m_entries[m_selection].page.directory);
    if (!openDocument(url))
        showMessage(formatText(resources().text("e_cant_open"), {url}));
}

void AlbumWindow::openFolder() {
    if (!hasSelection())
        return;
    const std::string& directory = m_entries[m_selection].page.directory;
    if (!openDocument(directory))
        showMessage(formatText(resources().text("e_cant_open"), {directory}));
}

void AlbumWindow::removeSelected() {
    if (!hasSelection())
        return;
    Resources& res = resources();
    const std::string question = res.text("delete?");
    const std::vector<std::string> captions{res.text("b_delete"), res.text("b_nodelete")};
    if (askChoice(this, question, captions) != 0)
        return;
    const AlbumPage page = m_entries[m_selection].page;
    if (!movePageToTrash(m_albumDir, page.directory))
        showMessage(formatText(res.text("e_cant_mv"), {page.name}));
    rebuild();
    drawList();
}

void AlbumWindow::onCommand(int id) {
    switch (id) {
    case kAlbumView:
        view();
        return;
    case kAlbumDelete:
        removeSelected();
        return;
    case kAlbumEdit:
        if (hasSelection()) {
            m_chosen = m_entries[m_selection].page.directory;
            endModal(2);
        }
        return;
    case kAlbumBack:
        endModal(0);
        return;
    case kAlbumMenu:
        endModal(1);
        return;
    case kAlbumUp:
        scrollTo(m_firstVisible - 1);
        return;
    case kAlbumDown:
        scrollTo(m_firstVisible + 1);
        return;
    case kAlbumFolder:
        openFolder();
        return;
    default:
        AppWindow::onCommand(id);
    }
}

void AlbumWindow::onLeftDown(int x, int y, int modifiers) {
    const bool inList = x >= m_listX && x < m_listX + m_listWidth && y >= m_listY &&
                        y < m_listY + m_rows * kAlbumRowHeight;
    if (!inList) {
        AppWindow::onLeftDown(x, y, modifiers);
        return;
    }
    const int index = (y - m_listY) / kAlbumRowHeight + m_firstVisible;
    if (index >= static_cast<int>(m_entries.size()))
        return;
    const int64_t now = processMilliseconds();
    if (index == m_lastClickRow && now - m_lastClickTime <= kAlbumDoubleClickMs) {
        m_lastClickRow = -1;
        view();
        return;
    }
    m_lastClickRow = index;
    m_lastClickTime = now;
    if (index != m_selection) {
        m_selection = index;
        drawList();
    }
}

bool AlbumWindow::onWheel(int steps, int x, int y) {
    if (AppWindow::onWheel(steps, x, y))
        return true;
    scrollTo(m_firstVisible - steps);
    return true;
}

void AlbumWindow::onKey(int code) {
    switch (code) {
    case kKeyUp:
        select(m_selection - 1);
        return;
    case kKeyDown:
        select(m_selection + 1);
        return;
    case kKeyEnter:
        view();
        return;
    case kKeyDelete:
        removeSelected();
        return;
    default:
        AppWindow::onKey(code);
    }
}

int runAlbum(Window* owner, std::string* pageDir) {
    AlbumWindow window(owner);
    if (owner && owner->exists()) {
        int left = 0, top = 0;
        owner->outerRect(&left, &top, nullptr, nullptr);
        window.moveTo(left, top);
    } else {
        window.center();
    }
    window.drawWidgets();
    window.drawList();
    window.flush();
    const int result = window.runModal();
    if (result == 2 && pageDir)
        *pageDir = window.chosenPage();
    window.show(false);
    return result;
}

}  // namespace veltro
