// The publishing steps. Every file goes through ReplacementFile so a full disk
// is seen as a failure; the frame stores are written by the frame store writer.
#include "publish/publish_context.h"

#include <nettle/base64.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "document/document.h"
#include "document/movie_object.h"
#include "publish/viewer_data.h"
#include "publish/zip_archive.h"
#include "encode/frame_store_writer.h"
#include "image/file_utils.h"
#include "image/jpeg_format.h"
#include "services/canvas.h"
#include "services/progress.h"
#include "services/resources.h"

namespace veltro {

namespace {

// Largest file veltro-data.js carries (an index is a few kilobytes; the
// viewer data file is bounded by its reader).
constexpr size_t kMaxEmbeddedFileSize = 16 << 20;

bool hasMovie(const DocumentObject& object) {
    if (!object.exported || object.type() != ObjectType::Movie)
        return false;
    const auto& movie = static_cast<const MovieObject&>(object);
    return movie.movie && movie.movie->movie;
}

std::string base64(const std::string& bytes) {
    std::string out(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    base64_encode_raw(reinterpret_cast<char*>(out.data()), bytes.size(),
                      reinterpret_cast<const uint8_t*>(bytes.data()));
    return out;
}

}  // namespace

std::string frameStoreName(int k) {
    char text[32];
    std::snprintf(text, sizeof text, "v%x.txt", static_cast<unsigned>(k));
    return text;
}

PublishContext::PublishContext(std::string pageDir, Document& document)
    : m_pageDir(std::move(pageDir)), m_document(document) {
    m_document.countMediaUses();
}

std::vector<std::string> PublishContext::frameStoreNames() const {
    std::vector<std::string> names;
    for (const auto& object : m_document.objects)
        if (hasMovie(*object))
            names.push_back(frameStoreName(static_cast<int>(names.size())));
    return names;
}

bool PublishContext::writeFrameStores(Progress& progress) {
    int k = 0;
    for (const auto& object : m_document.objects) {
        if (!hasMovie(*object))
            continue;
        const auto& movie = static_cast<const MovieObject&>(*object);
        const std::string path = joinPath(m_pageDir, frameStoreName(k++));
        size_t first = movie.ranges.empty() ? 0 : static_cast<size_t>(std::max(movie.ranges.front().start, 0));
        std::vector<uint8_t> flags;
        if (first < m_document.frameFlags.size())
            flags.assign(m_document.frameFlags.begin() + static_cast<std::ptrdiff_t>(first),
                         m_document.frameFlags.end());
        if (!writeFrameStore(progress, path, *movie.movie->movie, movie.w, movie.h, movie.step,
                             m_document.jpegQuality, m_document.diffQuality, flags))
            return false;
    }
    return true;
}

bool PublishContext::writeViewerData(uint32_t headerValue) {
    return writeWholeFile(joinPath(m_pageDir, "veltro.txt"), storedViewerData(viewerDataBody(m_document, headerValue)));
}

bool PublishContext::writeThumbnail() {
    ImagePtr picture = m_document.canvas().toImage();
    if (!picture)
        return false;
    JpegFormat jpeg;
    jpeg.quality = m_document.jpegQuality;
    return jpeg.save(joinPath(m_pageDir, "thumb.jpg"), *picture);
}

bool PublishContext::copyViewerArchive() {
    std::optional<std::vector<uint8_t>> bytes = resources().readFile("veltro.jar");
    if (!bytes) {
        m_notices.push_back(resources().text("e_no_jar"));
        return false;
    }
    return writeWholeFile(joinPath(m_pageDir, "veltro.jar"), std::string(bytes->begin(), bytes->end()));
}

bool PublishContext::copyViewerScript() {
    std::optional<std::vector<uint8_t>> bytes = resources().readFile("veltro.js");
    if (!bytes) {
        // Like the missing applet archive: the page is still written, but the
        // author learns that browsers will not play it.
        m_notices.push_back(resources().text("e_no_viewer_js"));
        return true;
    }
    return writeWholeFile(joinPath(m_pageDir, "veltro.js"), std::string(bytes->begin(), bytes->end()));
}

bool PublishContext::writeBrowserData() {
    std::vector<std::string> names = frameStoreNames();
    names.insert(names.begin(), "veltro.txt");
    std::string script = "window.VELTRO_DATA = {";
    for (size_t i = 0; i < names.size(); ++i) {
        std::string bytes;
        if (!readWholeFile(joinPath(m_pageDir, names[i]), kMaxEmbeddedFileSize, bytes))
            return false;
        if (i)
            script += ", ";
        script += "\"" + names[i] + "\": \"" + base64(bytes) + "\"";
    }
    script += "};\n";
    return writeWholeFile(joinPath(m_pageDir, "veltro-data.js"), script);
}

bool PublishContext::writeZip() {
    return writePageZip(m_pageDir);
}

}  // namespace veltro
