#include "app/framelist/frame_list_dialog.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/framelist/image_browser.h"
#include "encode/frame_list_file.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "services/canvas.h"
#include "services/resources.h"
#include "ui/dialogs.h"
#include "ui/native_control.h"

namespace veltro {

namespace {

constexpr const char* kSection = "imagelist";

std::string listFilter() {
    std::string filter = "VELTRO Frame list (*.txt)";
    filter += '\0';
    filter += "*.txt";
    filter += '\0';
    filter += '\0';
    return filter;
}

void enableWidget(Window& window, int id, bool enabled) {
    if (Widget* widget = window.widgetById(id))
        widget->setEnabled(enabled);
}

}  // namespace

FrameListDialog::FrameListDialog(Window* owner, const std::string& listPath) : DialogWindow(owner, kSection) {
    m_name = dynamic_cast<EditField*>(widgetById(kListNameField));
    m_list = dynamic_cast<ListBox*>(widgetById(kListBox));
    // The layout's picture button marks the preview area; the preview is
    // drawn there instead.
    if (Widget* area = widgetById(kListPreview)) {
        m_previewX = area->x();
        m_previewY = area->y();
        m_previewWidth = area->width();
        m_previewHeight = area->height();
        area->setVisible(false);
        area->setEnabled(false);
    }
    if (m_name)
        m_name->setText(listPath);
    if (fileExists(listPath))
        insertPictures(loadFrameListPaths(listPath));
    selectRow(m_pictures.empty() ? -1 : 0);
}

std::string FrameListDialog::rowText(const std::string& path) {
    const std::string folder = directoryOf(path);
    return folder.empty() ? path : fileName(path) + "   (" + folder + ")";
}

int FrameListDialog::selectedRow() const {
    if (!m_list)
        return -1;
    const int row = m_list->selectedIndex();
    return row >= 0 && row < static_cast<int>(m_pictures.size()) ? row : -1;
}

std::string FrameListDialog::listPath() const { return m_name ? std::string(m_name->text()) : std::string(); }

void FrameListDialog::onCommand(int id) {
    switch (id) {
    case kListBrowse: browse(); break;
    case kListBox: selectRow(selectedRow()); break;
    case kListAdd: addFromBrowser(); break;
    case kListRemove: removeSelected(); break;
    case kListUp: moveSelected(-1); break;
    case kListDown: moveSelected(1); break;
    case kListConfirm: confirm(); break;
    case kListCancel: endModal(0); break;
    default: break;
    }
}

void FrameListDialog::onDropFile(const std::string& path, int, int) {
    if (!isDirectory(path) && findImageFormat(path))
        insertPictures({path});
}

void FrameListDialog::insertPictures(const std::vector<std::string>& paths) {
    if (paths.empty())
        return;
    int at = selectedRow() + 1;
    for (const std::string& path : paths) {
        m_pictures.insert(m_pictures.begin() + at, path);
        if (m_list)
            m_list->insertItem(at, rowText(path));
        ++at;
    }
    selectRow(at - 1);
}

void FrameListDialog::removeSelected() {
    const int row = selectedRow();
    if (row < 0)
        return;
    m_pictures.erase(m_pictures.begin() + row);
    if (m_list)
        m_list->deleteItem(row);
    selectRow(std::min(row, static_cast<int>(m_pictures.size()) - 1));
}

void FrameListDialog::moveSelected(int direction) {
    const int row = selectedRow();
    const int other = row + direction;
    if (row < 0 || other < 0 || other >= static_cast<int>(m_pictures.size()))
        return;
    std::swap(m_pictures[static_cast<size_t>(row)], m_pictures[static_cast<size_t>(other)]);
    if (m_list) {
        m_list->deleteItem(row);
        m_list->insertItem(other, rowText(m_pictures[static_cast<size_t>(other)]));
    }
    selectRow(other);
}

void FrameListDialog::selectRow(int row) {
    if (m_list)
        m_list->select(row);
    updateButtons();
    drawPreview();
}

void FrameListDialog::updateButtons() {
    const int row = selectedRow();
    const int count = static_cast<int>(m_pictures.size());
    enableWidget(*this, kListRemove, row >= 0);
    enableWidget(*this, kListUp, row > 0);
    enableWidget(*this, kListDown, row >= 0 && row < count - 1);
    enableWidget(*this, kListConfirm, count > 0);
}

void FrameListDialog::drawPreview() {
    Canvas* canvas = backBuffer();
    if (!canvas)
        return;
    canvas->fillButtonFace(m_previewX, m_previewY, m_previewWidth, m_previewHeight);
    const int row = selectedRow();
    if (row >= 0) {
        if (ImagePtr image = loadImage(m_pictures[static_cast<size_t>(row)]); image && image->width > 0) {
            // Fitted into the area less 10 pixels each way, keeping its shape.
            const int availableWidth = m_previewWidth - 10, availableHeight = m_previewHeight - 10;
            int width = availableWidth;
            int height = static_cast<int>(static_cast<long long>(image->height) * availableWidth / image->width);
            if (height > availableHeight) {
                height = availableHeight;
                width = static_cast<int>(static_cast<long long>(availableHeight) * image->width / image->height);
            }
            // Drawn from a copy no larger than the area, so a huge photo is
            // not stretched pixel by pixel from its full size.
            ImagePtr fitted = scaleAverage(*image, std::max(width, 1), std::max(height, 1));
            if (fitted)
                canvas->drawImage(m_previewX + (m_previewWidth - width) / 2, m_previewY + (m_previewHeight - height) / 2,
                                  width, height, *fitted);
        } else {
            canvas->drawText(m_previewX + 8, m_previewY + 8, m_previewWidth - 16, 20, "cannot be read", 0xC00000);
        }
    }
    flushRect(m_previewX, m_previewY, m_previewWidth, m_previewHeight);
}

void FrameListDialog::addFromBrowser() {
    const std::string start = m_pictures.empty() ? std::string() : directoryOf(m_pictures.front());
    if (std::optional<std::vector<std::string>> chosen = chooseImages(this, start, true))
        insertPictures(*chosen);
}

void FrameListDialog::browse() {
    std::string buffer = listPath();
    if (std::optional<std::string> chosen = chooseSaveFile(this, listFilter(), &buffer))
        if (m_name)
            m_name->setText(*chosen);
}

bool FrameListDialog::confirm() {
    if (m_pictures.empty())
        return false;
    std::string path = listPath();
    std::string reason;
    if (path.empty()) {
        reason = "The list file has no name.";
    } else {
        std::error_code failed;
        const std::filesystem::path full = std::filesystem::absolute(path, failed);
        if (!failed)
            path = full.lexically_normal().string();
        if (m_name)
            m_name->setText(path);
        if (saveFrameList(path, m_pictures, &reason)) {
            endModal(1);
            return true;
        }
    }
    showMessage(resources().textCopy("e_save_file") + "\n" + reason);
    return false;
}

std::optional<std::string> runFrameListDialog(Window* owner, const std::string& proposedPath) {
    auto dialog = std::make_unique<FrameListDialog>(owner, proposedPath);
    dialog->center();
    if (dialog->runModal() != 1)
        return std::nullopt;
    return dialog->listPath();
}

}  // namespace veltro
