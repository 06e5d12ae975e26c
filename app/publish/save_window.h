// The save window: where the author finishes a page before publishing it:
// title and comment with a colour each, a background from the page templates,
// the JPEG qualities of key frames and difference sprites, and a live preview
// of the page. Its publish button writes the page into the album.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/image_buffer.h"
#include "app/base/app_window.h"

namespace veltro {

class Canvas;
class ComboList;
class Document;
class EditField;

// Command ids of the save window's layout.
inline constexpr int kSaveTitle = 4;
inline constexpr int kSaveComment = 5;
inline constexpr int kSaveTitleColour = 6;
inline constexpr int kSaveCommentColour = 7;
inline constexpr int kSavePublish = 8;
inline constexpr int kSaveBack = 9;
inline constexpr int kSaveStripLeft = 10;
inline constexpr int kSaveStripBar = 11;
inline constexpr int kSaveStripRight = 12;
inline constexpr int kSaveKeyQuality = 13;
inline constexpr int kSaveDiffQuality = 14;
inline constexpr int kSavePreview = 15;

// The template strip: four 70-pixel cells in a 280 x 70 band.
inline constexpr int kStripCell = 70;
inline constexpr int kStripCells = 4;

// One page background the strip offers: its picture file and thumbnail
// (none when the picture did not load).
struct SaveTemplate {
    std::string path;
    const ImageBuffer* thumbnail = nullptr;
};

// The text of a quality list entry: the value, with the "lowestq",
// "normalq" or "highestq" text appended for 0, 75 and 100.
std::string qualityEntryText(int value);

class SaveWindow : public AppWindow {
public:
    // The window for document, offering templates as backgrounds; the fields
    // start from the choices of the last publish (the settings).
    SaveWindow(Window* owner, Document& document, std::vector<SaveTemplate> templates);
    ~SaveWindow() override;

    std::string helpPage() const override { return "save.html"; }
    void onCommand(int id) override;
    void onLeftDown(int x, int y, int modifiers) override;
    void onClose() override;

    // Publishes the page with the window's choices. On success the modal run
    // ends with 1. On failure the window stays open and says why; when the
    // album folder itself cannot be written the settings window is offered
    // so the author can choose another one. A publish while one is running
    // does nothing. True when the page was published.
    bool publish();

    // Redraws the preview area and the template strip.
    void drawPreview();
    void drawStrip();

    uint32_t titleColour() const { return m_titleColour; }
    uint32_t commentColour() const { return m_commentColour; }
    int backgroundIndex() const { return m_backgroundIndex; }
    int firstVisible() const { return m_firstVisible; }
    bool isPublishing() const { return m_publishing; }
    // The reason the last publish failed (empty after a success).
    const std::string& lastError() const { return m_lastError; }
    // The strip's and the preview's rectangles in client coordinates.
    int stripX() const { return m_stripX; }
    int stripY() const { return m_stripY; }
    int previewX() const { return m_previewX; }
    int previewY() const { return m_previewY; }
    int previewWidth() const { return m_previewWidth; }
    int previewHeight() const { return m_previewHeight; }

private:
    void placeStrip();
    void scrollStrip(int delta);
    void chooseColourFor(uint32_t& colour);
    void setBusy(bool busy);
    void showFailure(bool albumFolder);
    std::string fieldText(int id) const;
    int chosenQuality(int id, int current) const;
    const ImageBuffer* backgroundPicture();

    Document& m_document;
    std::vector<SaveTemplate> m_templates;
    uint32_t m_titleColour = 0;
    uint32_t m_commentColour = 0;
    int m_backgroundIndex = -1;
    int m_firstVisible = 0;
    bool m_publishing = false;
    bool m_closeRequested = false;
    std::string m_lastError;

    int m_stripX = 12;
    int m_stripY = 202;
    int m_previewX = 312;
    int m_previewY = 60;
    int m_previewWidth = 396;
    int m_previewHeight = 412;
    std::unique_ptr<Canvas> m_preview;
    // The picture of the selected template, loaded once per selection.
    ImagePtr m_background;
    int m_backgroundLoaded = -1;
};

// Runs the save window modally for document over owner: 1 published,
// 0 back to the edit window, -1 closed (quit).
int runSaveWindow(Window* owner, Document& document);

}  // namespace veltro
