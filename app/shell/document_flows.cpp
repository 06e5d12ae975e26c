// The main window's flows. A new document, or the album, goes through the
// page flow of the edit, save and album windows. The camera and frame-list
// windows are not part of this program yet: until they are, those flows go
// as far as the models allow and say plainly that the next step comes later.
#include "app/shell/document_flows.h"

#include <optional>
#include <vector>

#include "app/base/app_state.h"
#include "app/publish/page_flow_window.h"
#include "app/capture/capture_window.h"
#include "document/document.h"
#include "encode/frame_list_file.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "movie/movie_format.h"
#include "publish/page_flow.h"
#include "services/prompts.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace veltro {

namespace {

struct FilterPair {
    std::string description;
    std::string pattern;
};

// The description/pattern pairs of a double-NUL list, without its leading
// "all of them" entry.
std::vector<FilterPair> filterPairs(const std::string& list) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find('\0', at);
        if (end == std::string::npos)
            end = list.size();
        if (end == at)
            break;  // the closing empty entry
        parts.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    std::vector<FilterPair> pairs;
    for (size_t i = 2; i + 1 < parts.size(); i += 2)
        pairs.push_back({parts[i], parts[i + 1]});
    return pairs;
}

// The file dialog's start: the given folder, so the dialog opens inside it.
std::string& sourceBuffer() {
    static std::string buffer;
    return buffer;
}

// A frame list path in the working folder: the first free "vnN.txt".
std::optional<std::string> newFrameListPath() {
    std::string folder = workDirectory();
    if (folder.empty() || (!isDirectory(folder) && !makeDirectories(folder)))
        return std::nullopt;
    return uniqueName(folder, "vn", ".txt");
}

// A still image as a one-frame frame list, so it opens as a clip.
std::unique_ptr<Document> documentFromImage(const std::string& imagePath) {
    std::optional<std::string> listPath = newFrameListPath();
    if (!listPath || !saveFrameList(*listPath, {imagePath})) {
        showMessage("The picture \"" + imagePath + "\" could not be turned into a clip.");
        return nullptr;
    }
    std::unique_ptr<Document> document = newDocumentFromSource(*listPath);
    // The user's own folder is where the next choice starts.
    settings().set("tmp_dir", directoryOf(imagePath));
    return document;
}

}  // namespace

std::string sourceFileFilter() {
    std::vector<FilterPair> pairs = filterPairs(movieFilter());
    for (FilterPair& pair : filterPairs(imageFilter()))
        pairs.push_back(std::move(pair));
    std::string all;
    for (const FilterPair& pair : pairs)
        all += pair.pattern + ";";
    std::string list = "All Clips and Pictures";
    list += '\0';
    list += all;
    list += '\0';
    for (const FilterPair& pair : pairs) {
        list += pair.description;
        list += '\0';
        list += pair.pattern;
        list += '\0';
    }
    list += '\0';
    return list;
}

std::string sourceStartDirectory() {
    std::string last = settings().find("tmp_dir", "");
    if (!last.empty() && isDirectory(last))
        return last;
    if (!sampleDirectory().empty() && isDirectory(sampleDirectory()))
        return sampleDirectory();
    return workDirectory();
}

std::unique_ptr<Document> newDocumentFromFile(Window* mainWindow) {
    sourceBuffer() = sourceStartDirectory();
    std::optional<std::string> path = chooseOpenFile(mainWindow, sourceFileFilter(), &sourceBuffer());
    if (!path || path->empty())
        return nullptr;
    if (!nextMovieFormat(*path, nullptr) && findImageFormat(*path))
        return documentFromImage(*path);
    return newDocumentFromSource(*path);
}

std::unique_ptr<Document> newDocumentFromCamera(Window* mainWindow) {
    // The capture window records into a new file of the working folder (or
    // the fixed "exhibition" file); the recording opens like any AVI.
    std::optional<std::string> recorded = runCapture(mainWindow);
    if (!recorded)
        return nullptr;
    return newDocumentFromSource(*recorded);
}

std::unique_ptr<Document> newDocumentFromFrameList(Window* mainWindow) {
    // Until the frame list window arrives, an existing list file is opened.
    std::string filter = "Frame list (*.txt)";
    filter += '\0';
    filter += "*.txt";
    filter += '\0';
    filter += '\0';
    sourceBuffer() = sourceStartDirectory();
    std::optional<std::string> path = chooseOpenFile(mainWindow, filter, &sourceBuffer());
    if (!path || path->empty())
        return nullptr;
    return newDocumentFromSource(*path);
}

int runDocumentFlow(Window* mainWindow, std::unique_ptr<Document> document) {
    runPageFlow(mainWindow, std::move(document));
    return mainWindow && !mainWindow->exists() ? 0 : 1;
}

}  // namespace veltro
