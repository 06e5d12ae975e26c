#include "app/framelist/image_browser_model.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "image/file_utils.h"
#include "image/image_format.h"

namespace veltro {

namespace fs = std::filesystem;

namespace {

std::string normalFolder(const std::string& directory) {
    std::error_code failed;
    fs::path full = fs::absolute(directory.empty() ? fs::path(".") : fs::path(directory), failed);
    if (failed)
        return std::string();
    std::string text = full.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

}  // namespace

bool ImageBrowserModel::list(const std::string& directory) {
    const std::string folder = normalFolder(directory);
    std::error_code failed;
    fs::directory_iterator it(folder.empty() ? fs::path() : fs::path(folder), failed);
    if (folder.empty() || failed)
        return false;
    std::vector<std::string> folders, pictures;
    for (; it != fs::directory_iterator(); it.increment(failed)) {
        if (failed)
            break;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        std::error_code statFailed;
        if (it->is_directory(statFailed))
            folders.push_back(name);
        else if (findImageFormat(name))
            pictures.push_back(name);
    }
    std::sort(folders.begin(), folders.end());
    std::sort(pictures.begin(), pictures.end());
    if (folder != "/")
        folders.insert(folders.begin(), "..");

    m_directory = folder;
    m_items.clear();
    m_items.reserve(folders.size() + pictures.size());
    for (std::string& name : folders) {
        ImageBrowserItem item;
        item.name = std::move(name);
        item.isDirectory = true;
        m_items.push_back(std::move(item));
    }
    m_firstPicture = count();
    for (std::string& name : pictures) {
        ImageBrowserItem item;
        item.name = std::move(name);
        m_items.push_back(std::move(item));
    }
    m_firstRow = 0;
    return true;
}

std::vector<std::string> ImageBrowserModel::picturePaths() const {
    std::vector<std::string> paths;
    for (int i = m_firstPicture; i < count(); ++i)
        paths.push_back(pathOf(i));
    return paths;
}

std::string ImageBrowserModel::pathOf(int index) const {
    if (index < 0 || index >= count())
        return std::string();
    const std::string& name = m_items[static_cast<size_t>(index)].name;
    if (name == "..")
        return normalFolder(m_directory + "/..");
    return joinPath(m_directory, name);
}

int ImageBrowserModel::sliderMaximum() const {
    return std::max(0, (count() + kBrowserColumns - 1) / kBrowserColumns - kBrowserRows);
}

void ImageBrowserModel::setFirstRow(int row) { m_firstRow = std::clamp(row, 0, sliderMaximum()); }

int ImageBrowserModel::itemAt(int x, int y) const {
    if (x < 0 || x >= kBrowserColumns * kBrowserCell || y < kBrowserGridTop ||
        y >= kBrowserGridTop + kBrowserRows * kBrowserCell)
        return -1;
    const int index = (m_firstRow + (y - kBrowserGridTop) / kBrowserCell) * kBrowserColumns + x / kBrowserCell;
    return index < count() ? index : -1;
}

bool ImageBrowserModel::isVisible(int index) const {
    const int offset = index - m_firstRow * kBrowserColumns;
    return index >= 0 && index < count() && offset >= 0 && offset < kBrowserColumns * kBrowserRows;
}

void ImageBrowserModel::click(int index, int modifiers) {
    if (index < 0 || index >= count())
        return;
    if (!m_multiple)
        modifiers = 0;
    // The first selected item before this press anchors a Shift range.
    int anchor = -1;
    for (int i = 0; i < count() && anchor < 0; ++i)
        if (m_items[static_cast<size_t>(i)].selected)
            anchor = i;
    if (modifiers == 0)
        for (ImageBrowserItem& item : m_items)
            item.selected = false;
    if (modifiers & kBrowserControl) {
        m_items[static_cast<size_t>(index)].selected = !m_items[static_cast<size_t>(index)].selected;
    } else if (modifiers & kBrowserShift) {
        if (anchor < 0)
            anchor = index;
        for (int i = std::min(anchor, index); i <= std::max(anchor, index); ++i)
            m_items[static_cast<size_t>(i)].selected = true;
    } else {
        m_items[static_cast<size_t>(index)].selected = true;
    }
}

bool ImageBrowserModel::anySelected() const {
    return std::any_of(m_items.begin(), m_items.end(), [](const ImageBrowserItem& item) { return item.selected; });
}

int ImageBrowserModel::firstSelectedDirectory() const {
    for (int i = 0; i < count(); ++i)
        if (m_items[static_cast<size_t>(i)].selected && m_items[static_cast<size_t>(i)].isDirectory)
            return i;
    return -1;
}

std::vector<std::string> ImageBrowserModel::chosenPaths(std::vector<std::string>* unreadable) const {
    std::vector<std::string> paths;
    for (int i = m_firstPicture; i < count(); ++i) {
        const ImageBrowserItem& item = m_items[static_cast<size_t>(i)];
        if (!item.selected)
            continue;
        if (item.unreadable()) {
            if (unreadable)
                unreadable->push_back(item.name);
            continue;
        }
        paths.push_back(pathOf(i));
    }
    return paths;
}

}  // namespace veltro
