// The save window and the publish button behind it. Publishing itself lives
// in publish/ (publishPage); this file gathers the author's choices, shows
// the progress window while the frame stores are written and turns a failure
// into a message that says what went wrong.
#include "app/publish/save_window.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "app/base/app_state.h"
#include "app/base/settings_window.h"
#include "document/document.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "publish/page_flow.h"
#include "publish/publish_page.h"
#include "services/canvas.h"
#include "services/font.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/layout.h"
#include "ui/native_control.h"

namespace veltro {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kSelectionRed = 0xFF0000;
constexpr int kTitleTop = 10;
constexpr int kTextHeight = 20;
constexpr int kCanvasTop = 50;
constexpr int kCommentBelowMiddle = 60;

// The progress window, remembering whether the author pressed "Stop".
class PublishProgress : public WindowProgress {
public:
    explicit PublishProgress(Window* owner) : WindowProgress(owner) {}
    bool update(int done, int total) override {
        if (!WindowProgress::update(done, total))
            m_stopped = true;
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    bool m_stopped = false;
};

// True when pages cannot be created in the album folder: it is missing (and
// publishing could not create it) or it is not writable.
bool albumFolderUnusable(const std::string& album) {
    if (album.empty())
        return true;
    if (!isDirectory(album))
        return true;
    return ::faccessat(AT_FDCWD, album.c_str(), W_OK | X_OK, AT_EACCESS) != 0;
}

// Draws text centred horizontally in a canvas of width, clipped to it.
void drawCentred(Canvas& canvas, int width, int y, const std::string& text, uint32_t colour) {
    int textWidth = 0;
    canvas.textExtent(text, &textWidth, nullptr);
    const int x = std::max((width - textWidth) / 2, 0);
    canvas.drawText(x, y, width - x, kTextHeight, text, colour);
}

}  // namespace

std::string qualityEntryText(int value) {
    std::string text = std::to_string(value);
    if (value == 0)
        text += resources().text("lowestq");
    else if (value == 75)
        text += resources().text("normalq");
    else if (value == 100)
        text += resources().text("highestq");
    return text;
}

SaveWindow::SaveWindow(Window* owner, Document& document, std::vector<SaveTemplate> templates)
    : AppWindow(owner, 0, 0, 720, 540),
      m_document(document),
      m_templates(std::move(templates)) {
    if (!loadLayout(*this, "lmsavewin"))
        showMessage(formatText(resources().text("e_no_dialog"), {"lmsavewin"}));
    placeStrip();

    Settings& store = settings();
    m_titleColour = store.findColor("color0", "000000") & 0xFFFFFF;
    m_commentColour = store.findColor("color1", "000000") & 0xFFFFFF;
    if (auto* title = dynamic_cast<EditField*>(widgetById(kSaveTitle)))
        title->setText(store.find("message0", "Title"));
    if (auto* comment = dynamic_cast<EditField*>(widgetById(kSaveComment)))
        comment->setText(store.find("message1", "Message"));
    const int count = static_cast<int>(m_templates.size());
    m_backgroundIndex = std::max(store.findNumber("bg_ind", "0"), 0);
    if (m_backgroundIndex >= count)
        m_backgroundIndex = count - 1;
    m_firstVisible = std::max(m_backgroundIndex, 0);

    for (int id : {kSaveKeyQuality, kSaveDiffQuality}) {
        auto* list = dynamic_cast<ComboList*>(widgetById(id));
        if (!list)
            continue;
        const int current = id == kSaveKeyQuality ? m_document.jpegQuality : m_document.diffQuality;
        const std::vector<int> values = qualityListValues();
        for (size_t i = 0; i < values.size(); ++i) {
            list->addItem(qualityEntryText(values[i]));
            if (values[i] == current)
                list->select(static_cast<int>(i));
        }
    }
    m_document.render();
}

SaveWindow::~SaveWindow() = default;

void SaveWindow::placeStrip() {
    Widget* left = widgetById(kSaveStripLeft);
    Widget* right = widgetById(kSaveStripRight);
    Widget* bar = widgetById(kSaveStripBar);
    if (left) {
        m_stripX = left->x();
        m_stripY = left->y() - kStripCell;
        if (right) {
            right->setPosition(left->x() + kStripCell * kStripCells - right->width(), right->y());
            if (bar) {
                const int barX = left->x() + left->width();
                bar->setRect(barX, bar->y(), std::max(right->x() - barX, 0), bar->height());
            }
        }
    }
    if (Widget* preview = widgetById(kSavePreview)) {
        m_previewX = preview->x();
        m_previewY = preview->y();
        m_previewWidth = preview->width();
        m_previewHeight = preview->height();
        // The window draws the preview there itself.
        preview->setVisible(false);
    }
    m_preview = std::make_unique<Canvas>(std::max(m_previewWidth, 1), std::max(m_previewHeight, 1));
}

std::string SaveWindow::fieldText(int id) const {
    auto* field = dynamic_cast<NativeControl*>(widgetById(id));
    return field ? field->text() : std::string();
}

int SaveWindow::chosenQuality(int id, int current) const {
    auto* list = dynamic_cast<ComboList*>(widgetById(id));
    if (!list || list->selectedIndex() < 0)
        return current;
    return std::clamp(std::atoi(list->itemText(list->selectedIndex()).c_str()), 0, 100);
}

const ImageBuffer* SaveWindow::backgroundPicture() {
    if (m_backgroundIndex < 0 || m_backgroundIndex >= static_cast<int>(m_templates.size()))
        return nullptr;
    if (m_backgroundLoaded != m_backgroundIndex) {
        m_background = loadImage(m_templates[m_backgroundIndex].path);
        m_backgroundLoaded = m_backgroundIndex;
    }
    return m_background.get();
}

void SaveWindow::drawPreview() {
    Canvas& canvas = *m_preview;
    const int width = canvas.width();
    const int height = canvas.height();
    canvas.fillRect(0, 0, width, height, kWhite);
    if (const ImageBuffer* tile = backgroundPicture()) {
        if (tile->width > 0 && tile->height > 0)
            for (int y = 0; y < height; y += tile->height)
                for (int x = 0; x < width; x += tile->width)
                    canvas.drawImage(x, y, tile->width, tile->height, *tile);
    }
    canvas.selectFont(Font::defaultFont());
    Canvas& page = m_document.canvas();
    drawCentred(canvas, width, kTitleTop, fieldText(kSaveTitle), m_titleColour);
    drawCentred(canvas, width, page.height() / 2 + kCommentBelowMiddle, fieldText(kSaveComment), m_commentColour);
    const int halfW = page.width() / 2;
    const int halfH = page.height() / 2;
    if (halfW > 0 && halfH > 0)
        canvas.stretchFrom((width - halfW) / 2, kCanvasTop, halfW, halfH, page, 0, 0, page.width(), page.height());
    drawCanvas(m_previewX, m_previewY, canvas);
    flushRect(m_previewX, m_previewY, m_previewWidth, m_previewHeight);
}

void SaveWindow::drawStrip() {
    Canvas* canvas = backBuffer();
    if (!canvas)
        return;
    const int width = kStripCell * kStripCells;
    canvas->fillRect(m_stripX, m_stripY, width, kStripCell, kWhite);
    const int count = static_cast<int>(m_templates.size());
    for (int cell = 0; cell < kStripCells; ++cell) {
        const int index = m_firstVisible + cell;
        if (index >= count)
            break;
        const int cellX = m_stripX + cell * kStripCell;
        if (const ImageBuffer* thumb = m_templates[index].thumbnail) {
            canvas->drawImage(cellX + (kStripCell - thumb->width) / 2, m_stripY + (kStripCell - thumb->height) / 2,
                              thumb->width, thumb->height, *thumb);
        }
        if (index == m_backgroundIndex)
            canvas->frameRect(cellX, m_stripY, kStripCell, kStripCell, kSelectionRed);
    }
    flushRect(m_stripX, m_stripY, width, kStripCell);
}

void SaveWindow::scrollStrip(int delta) {
    const int count = static_cast<int>(m_templates.size());
    m_firstVisible = std::clamp(m_firstVisible + delta, 0, std::max(count - 1, 0));
    if (count > 0) {
        if (m_backgroundIndex < m_firstVisible)
            m_backgroundIndex = m_firstVisible;
        else if (m_backgroundIndex >= m_firstVisible + kStripCells)
            m_backgroundIndex = m_firstVisible + kStripCells - 1;
    }
    drawStrip();
    drawPreview();
}

void SaveWindow::chooseColourFor(uint32_t& colour) {
    if (std::optional<uint32_t> chosen = chooseColour(this, colour)) {
        colour = *chosen & 0xFFFFFF;
        drawPreview();
    }
}

void SaveWindow::setBusy(bool busy) {
    for (int id : {kSavePublish, kSaveBack, kSaveTitleColour, kSaveCommentColour}) {
        if (Widget* widget = widgetById(id)) {
            widget->setEnabled(!busy);
            widget->refresh();
        }
    }
}

bool SaveWindow::publish() {
    if (m_publishing)
        return false;
    PublishChoices choices;
    choices.title = fieldText(kSaveTitle);
    choices.comment = fieldText(kSaveComment);
    choices.titleColor = m_titleColour;
    choices.commentColor = m_commentColour;
    choices.jpegQuality = chosenQuality(kSaveKeyQuality, m_document.jpegQuality);
    choices.diffQuality = chosenQuality(kSaveDiffQuality, m_document.diffQuality);
    choices.backgroundIndex = m_backgroundIndex;
    if (m_backgroundIndex >= 0 && m_backgroundIndex < static_cast<int>(m_templates.size()))
        choices.backgroundPath = m_templates[m_backgroundIndex].path;

    m_publishing = true;
    setBusy(true);
    PublishProgress progress(this);
    std::string error;
    const bool published = publishPage(m_document, choices, progress, &error);
    closeProgress();
    m_publishing = false;
    setBusy(false);

    m_lastError = published ? std::string() : error;
    if (m_closeRequested) {
        m_closeRequested = false;
        onClose();
        return published;
    }
    if (published) {
        endModal(1);
        return true;
    }
    // A stop is the author's own choice: the earlier page is still there and
    // the window simply stays open.
    if (!progress.stopped())
        showFailure(albumFolderUnusable(directoryOf(m_document.name)));
    return false;
}

void SaveWindow::showFailure(bool albumFolder) {
    Resources& res = resources();
    const std::string why = formatText(res.text("e_publish"), {m_lastError});
    if (!albumFolder) {
        showMessage(why);
        return;
    }
    showMessage(res.text("e_set_folder") + "\n\n" + why);
    // A page moves to the new album under a new name; with the album left
    // as it was the page keeps its name, so a republish still replaces it.
    const std::string before = albumDirectory();
    if (openSettingsWindow(this) == 1 && albumDirectory() != before)
        assignNewPage(m_document);
}

void SaveWindow::onCommand(int id) {
    // While the page is being written only the progress window's "Stop"
    // acts; everything here waits.
    if (m_publishing)
        return;
    switch (id) {
    case kSaveTitle:
    case kSaveComment:
        drawPreview();
        return;
    case kSaveTitleColour:
        chooseColourFor(m_titleColour);
        return;
    case kSaveCommentColour:
        chooseColourFor(m_commentColour);
        return;
    case kSavePublish:
        publish();
        return;
    case kSaveBack:
        endModal(0);
        return;
    case kSaveStripLeft:
        scrollStrip(-1);
        return;
    case kSaveStripRight:
        scrollStrip(+1);
        return;
    case kSaveStripBar:
    case kSaveKeyQuality:
    case kSaveDiffQuality:
        return;
    default:
        AppWindow::onCommand(id);
    }
}

void SaveWindow::onLeftDown(int x, int y, int modifiers) {
    const bool inStrip = y >= 48 && x >= m_stripX && x < m_stripX + kStripCell * kStripCells && y >= m_stripY &&
                         y < m_stripY + kStripCell;
    const int count = static_cast<int>(m_templates.size());
    if (!inStrip || count == 0 || m_publishing) {
        AppWindow::onLeftDown(x, y, modifiers);
        return;
    }
    m_backgroundIndex = std::clamp((x - m_stripX) / kStripCell + m_firstVisible, 0, count - 1);
    drawStrip();
    drawPreview();
}

void SaveWindow::onClose() {
    // The page being written is finished or stopped first; the window closes
    // right after.
    if (m_publishing) {
        m_closeRequested = true;
        return;
    }
    AppWindow::onClose();
}

int runSaveWindow(Window* owner, Document& document) {
    std::vector<SaveTemplate> templates;
    for (const TemplateThumbnail& entry : templateThumbnails())
        templates.push_back({entry.path, entry.thumbnail.get()});
    SaveWindow window(owner, document, std::move(templates));
    if (owner && owner->exists()) {
        int left = 0, top = 0;
        owner->outerRect(&left, &top, nullptr, nullptr);
        window.moveTo(left, top);
    } else {
        window.center();
    }
    window.drawWidgets();
    window.drawStrip();
    window.drawPreview();
    window.flush();
    const int result = window.runModal();
    window.show(false);
    return result;
}

}  // namespace veltro
