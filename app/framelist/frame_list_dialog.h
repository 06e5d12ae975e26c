// The frame-list dialog: the list file's name, the pictures of a new clip in
// playing order (added through the thumbnail browser or dropped from the
// desktop, removed, moved up and down), a preview of the selected picture,
// and saving the list as a file the frame store reader opens as a movie.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_window.h"

namespace veltro {

class EditField;
class ListBox;
class PushButton;

// Command ids of the "imagelist" layout.
inline constexpr int kListNameField = 0;
inline constexpr int kListBrowse = 1;
inline constexpr int kListBox = 2;
inline constexpr int kListAdd = 3;
inline constexpr int kListRemove = 4;
inline constexpr int kListUp = 5;
inline constexpr int kListDown = 6;
inline constexpr int kListPreview = 7;
inline constexpr int kListConfirm = 8;
inline constexpr int kListCancel = 9;

class FrameListDialog : public DialogWindow {
public:
    // How a picture reads in the list: its file name first, so it stays
    // visible in the narrow list, then its folder in brackets.
    static std::string rowText(const std::string& path);

    // The dialog with listPath as the list file's name; the pictures of that
    // file when it exists.
    FrameListDialog(Window* owner, const std::string& listPath);

    void onCommand(int id) override;
    void onDropFile(const std::string& path, int x, int y) override;

    // Inserts pictures after the selected row (at the top when none is
    // selected), selects the last one inserted and previews it.
    void insertPictures(const std::vector<std::string>& paths);
    // Removes the selected row; the selection stays at the same index.
    void removeSelected();
    // Swaps the selected row with the one above or below (not past the ends).
    void moveSelected(int direction);
    // Selects a row (-1 for none), updates the buttons and the preview.
    void selectRow(int row);
    // Saves the list; on success the modal run ends with 1, otherwise the
    // reason is shown and the dialog stays open. True when saved.
    bool confirm();

    const std::vector<std::string>& pictures() const { return m_pictures; }
    int selectedRow() const;
    // The list file name in the name field.
    std::string listPath() const;
    // The preview area in client coordinates.
    int previewX() const { return m_previewX; }
    int previewY() const { return m_previewY; }
    int previewWidth() const { return m_previewWidth; }
    int previewHeight() const { return m_previewHeight; }

private:
    void addFromBrowser();
    void browse();
    void updateButtons();
    void drawPreview();

    std::vector<std::string> m_pictures;
    EditField* m_name = nullptr;
    ListBox* m_list = nullptr;
    int m_previewX = 372, m_previewY = 100, m_previewWidth = 212, m_previewHeight = 160;
};

// Runs the dialog modally on proposedPath; the path of the saved list when the
// user confirmed (and the list was saved), none when cancelled or closed.
std::optional<std::string> runFrameListDialog(Window* owner, const std::string& proposedPath);

}  // namespace veltro
