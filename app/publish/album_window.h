// The album window: the published pages of the album directory, newest first,
// one 60-pixel row each with its thumbnail, name and archive size, title and
// publishing date. From here a page is viewed in the browser, its folder
// opened, moved to the trash, or reopened for editing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/base/app_window.h"
#include "image/image_buffer.h"
#include "publish/album.h"

namespace veltro {

// Command ids of the album window's layout.
inline constexpr int kAlbumView = 4;
inline constexpr int kAlbumDelete = 5;
inline constexpr int kAlbumEdit = 6;
inline constexpr int kAlbumBack = 7;
inline constexpr int kAlbumUp = 8;
inline constexpr int kAlbumDown = 10;
inline constexpr int kAlbumMenu = 11;
inline constexpr int kAlbumFolder = 12;

// Row geometry of the page list.
inline constexpr int kAlbumRowHeight = 60;
inline constexpr int kAlbumThumbWidth = 80;
inline constexpr int kAlbumThumbHeight = 60;
// Two presses on the same row closer than this open the page.
inline constexpr int kAlbumDoubleClickMs = 500;

// One page as the list shows it; thumbnail, title and date are read the
// first time the row is shown.
struct AlbumEntry {
    AlbumPage page;
    std::string label;   // "name (nKB)", or the name alone without an archive
    ImagePtr thumbnail;  // scaled to fit 80 x 60; none when the page has none
    std::string title;
    std::string date;
    bool loaded = false;
};

class AlbumWindow : public AppWindow {
public:
    // The album window over the pages of Settings "album_dir".
    explicit AlbumWindow(Window* owner);
    ~AlbumWindow() override;

    std::string helpPage() const override { return "album.html"; }
    void onCommand(int id) override;
    void onLeftDown(int x, int y, int modifiers) override;
    bool onWheel(int steps, int x, int y) override;
    void onKey(int code) override;

    // Re-reads the album directory and redraws the list.
    void rebuild();
    // Draws the visible rows, reading the pages shown for the first time.
    void drawList();

    // The list area in client coordinates.
    int listX() const { return m_listX; }
    int listY() const { return m_listY; }
    int listWidth() const { return m_listWidth; }
    int visibleRows() const { return m_rows; }

    const std::vector<AlbumEntry>& entries() const { return m_entries; }
    int selection() const { return m_selection; }
    int firstVisible() const { return m_firstVisible; }
    // The page directory chosen for editing (result 2).
    const std::string& chosenPage() const { return m_chosen; }

    // Selects row index and scrolls it into view.
    void select(int index);

private:
    void loadEntry(AlbumEntry& entry);
    void drawRow(int row);
    void scrollTo(int first);
    void updateButtons();
    void view();
    void removeSelected();
    void openFolder();
    bool hasSelection() const;

    std::vector<AlbumEntry> m_entries;
    std::string m_albumDir;
    std::string m_chosen;
    int m_listX = 70;
    int m_listY = 56;
    int m_listWidth = 618;
    int m_rows = 8;
    int m_firstVisible = 0;
    int m_selection = 0;
    int m_lastClickRow = -1;
    int64_t m_lastClickTime = 0;
};

// Runs the album window modally: -1 closed (quit), 0 back, 1 main menu,
// 2 edit with *pageDir set to the chosen page directory.
int runAlbum(Window* owner, std::string* pageDir);

// The page's index.html as the URL the browser gets ("file:///...").
std::string pageUrl(const std::string& pageDir);

}  // namespace veltro
