// What the thumbnail browser shows and how it answers the pointer, without a
// window: a folder's sub-folders and pictures as a grid of 5 columns and 4
// visible rows of 100 x 100 cells, the first visible row, and the selection
// rules (Ctrl toggles, Shift extends from the first selected item).
#pragma once

#include <string>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

// Grid geometry in the browser's client area.
inline constexpr int kBrowserColumns = 5;
inline constexpr int kBrowserRows = 4;
inline constexpr int kBrowserCell = 100;
inline constexpr int kBrowserGridTop = 35;

// Modifier bits of a click (the same bits the windows pass).
inline constexpr int kBrowserShift = 1;
inline constexpr int kBrowserControl = 2;

struct ImageBrowserItem {
    std::string name;
    bool selected = false;
    bool isDirectory = false;
    // Set once the picture was read (or found unreadable); directories never.
    bool built = false;
    ImagePtr thumbnail;  // none for directories, unbuilt and unreadable pictures
    int pictureWidth = 1;
    int pictureHeight = 1;
    // True for a picture that was read and does not load.
    bool unreadable() const { return !isDirectory && built && !thumbnail; }
};

class ImageBrowserModel {
public:
    explicit ImageBrowserModel(bool multiple) : m_multiple(multiple) {}

    // Lists directory (made absolute): its sub-folders first (".." leads when
    // there is a parent; hidden names are left out), then the files a
    // registered image format claims, each group in byte order of the names.
    // Nothing is read from the pictures yet. False, with the items unchanged,
    // when the folder cannot be listed.
    bool list(const std::string& directory);
    // The folder listed last (absolute, no trailing separator).
    const std::string& directory() const { return m_directory; }

    std::vector<ImageBrowserItem>& items() { return m_items; }
    const std::vector<ImageBrowserItem>& items() const { return m_items; }
    int count() const { return static_cast<int>(m_items.size()); }
    // Index of the first picture (the items before it are folders).
    int firstPicture() const { return m_firstPicture; }
    // Full paths of the pictures, in item order from firstPicture.
    std::vector<std::string> picturePaths() const;
    // The full path of an item (".." gives the parent folder).
    std::string pathOf(int index) const;

    // The slider's range is 0 .. sliderMaximum: max(0, (count + 4) / 5 - 4).
    int sliderMaximum() const;
    int firstRow() const { return m_firstRow; }
    // Sets the first visible row, kept inside the slider's range.
    void setFirstRow(int row);
    // The item index in the cell under client point (x, y), or -1.
    int itemAt(int x, int y) const;
    // True when item index lies on the visible rows.
    bool isVisible(int index) const;

    // A press on item index with modifier bits: without a modifier (and
    // always in single selection) only that item ends selected; Ctrl toggles
    // it; Shift adds every item from the first selected one to it.
    void click(int index, int modifiers);
    bool anySelected() const;
    // The first selected folder, or -1.
    int firstSelectedDirectory() const;
    // The selected pictures' full paths in name order, leaving out pictures
    // known not to load (their names go to unreadable when given).
    std::vector<std::string> chosenPaths(std::vector<std::string>* unreadable = nullptr) const;

private:
    bool m_multiple;
    std::string m_directory;
    std::vector<ImageBrowserItem> m_items;
    int m_firstPicture = 0;
    int m_firstRow = 0;
};

}  // namespace veltro
