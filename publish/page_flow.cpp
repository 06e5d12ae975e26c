// New documents and reopened pages.
#include "publish/page_flow.h"

#include "document/document.h"
#include "document/movie_object.h"
#include "publish/album.h"
#include "publish/viewer_data.h"
#include "image/file_utils.h"
#include "services/resources.h"
#include "services/settings.h"

namespace veltro {

namespace {

void setKeyed(std::string* error, const char* key, const std::string& argument) {
    if (error)
        *error = formatText(resources().text(key), {argument});
}

}  // namespace

std::string albumDirectory() { return settings().find("album_dir", "/pages"); }

std::unique_ptr<Document> newDocumentFromSource(const std::string& moviePath, std::string* error) {
    if (moviePath.empty()) {
        setKeyed(error, "e_cant_open", moviePath);
        return nullptr;
    }
    settings().set("tmp_dir", directoryOf(moviePath));
    auto document = std::make_unique<Document>(320, 240);
    MediaEntry* entry = document->movieCache.find(moviePath);
    if (!entry || !entry->movie) {
        setKeyed(error, "e_cant_open", moviePath);
        return nullptr;
    }
    auto movie = std::make_unique<MovieObject>(*document);
    movie->attachMovie(entry);
    movie->selected = false;
    movie->flagL = 1;
    document->insertObject(std::move(movie));
    document->setEditing(true);
    assignNewPage(*document);
    return document;
}

void assignNewPage(Document& document) { document.setName(newPageDirectory(albumDirectory())); }

std::unique_ptr<Document> reopenPage(const std::string& pageDir, std::string* error, std::string* notice) {
    auto document = std::make_unique<Document>(320, 240);
    document->clear();
    std::string reason;
    if (!openViewerData(joinPath(pageDir, "veltro.txt"), *document, &reason)) {
        setKeyed(error, "e_cant_open", pageDir);
        if (error && !reason.empty())
            *error += " (" + reason + ")";
        return nullptr;
    }
    document->setEditing(true);
    document->setName(pageDir);

    Settings data(joinPath(pageDir, "data.txt"));
    settings().set("message0", data.find("title", ""));
    settings().set("message1", data.find("comment", ""));

    const std::string source = data.find("src", "");
    const std::string size = data.find("src_size", "0");
    const std::string mtime = data.find("src_mtime", "0");
    if (!source.empty() && fileExists(source) && std::to_string(fileSize(source)) == size &&
        std::to_string(modificationTime(source)) == mtime) {
        for (const auto& object : document->objects) {
            if (object->type() != ObjectType::Movie)
                continue;
            if (MediaEntry* entry = document->movieCache.find(source)) {
                static_cast<MovieObject&>(*object).attachMovie(entry);
                return document;
            }
            break;
        }
    }
    if (notice)
        *notice = resources().text("nosrcfile");
    return document;
}

}  // namespace veltro
