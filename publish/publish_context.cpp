// The publishing steps. Every file goes through ReplacementFile so a full disk
// is seen as a failure; the frame stores are written by the frame store writer.
#include "publish/publish_context.h"

#include <nettle/base64.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "publish/viewer_data.h"
#include "publish/zip_archive.h"
#include "encode/frame_store_writer.h"
#include "image/file_utils.h"
#include "image/gif_format.h"
#include "image/jpeg_format.h"
#include "services/canvas.h"
#include "services/progress.h"
#include "services/resources.h"
#include "services/settings.h"

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

// Page image names end in a JPEG extension or in ".gif" (any letter case).
bool isGifName(const std::string& name) {
    std::string extension = extensionOf(name);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".gif";
}

// True when the file bytes decode (as the page file's name says) to exactly
// the picture the document shows.
bool holdsPicture(const std::string& bytes, bool gif, const ImageBuffer& picture) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    ImagePtr decoded = gif ? decodeGif(data, bytes.size()) : decodeJpeg(data, bytes.size());
    return decoded && decoded->width == picture.width && decoded->height == picture.height &&
           decoded->pixels == picture.pixels;
}

// Writes the picture with our GIF codec. Its transparency is kept (one
// transparent colour, GIF89a) when some pixel is transparent; a picture that
// only carries an alpha channel (PNG files often do) is written opaque, which
// leaves the codec all 256 colours.
bool saveGif(const std::string& path, const ImageBuffer& picture) {
    const bool transparent = picture.hasAlpha &&
                             std::any_of(picture.pixels.begin(), picture.pixels.end(),
                                         [](uint32_t pixel) { return !isSetPixel(pixel); });
    if (transparent || !picture.hasAlpha)
        return GifFormat().save(path, picture);
    ImagePtr opaque = copyImage(picture);
    opaque->hasAlpha = 0;
    return GifFormat().save(path, *opaque);
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
                             m_document.jpegQuality, m_document.diffQuality, flags, nullptr,
                             settings().findNumber("adaptive_keys", "0") != 0))
            return false;
    }
    return true;
}

bool PublishContext::writeViewerData(uint32_t headerValue) {
    // A document beyond the fields' reach is refused rather than cut.
    if (!viewerDataLimitProblem(m_document).empty())
        return false;
    return writeWholeFile(joinPath(m_pageDir, "veltro.txt"), storedViewerData(viewerDataBody(m_document, headerValue)));
}

bool PublishContext::writeImages(std::string* failedName, std::string* failedSource) {
    m_writtenImages.clear();
    const auto& entries = m_document.imageCache.entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        MediaEntry& entry = *entries[i];
        if (entry.publishCount <= 0)
            continue;
        const std::string name = viewerImageName(i, entry.fileName);
        const std::string target = joinPath(m_pageDir, name);
        const bool gif = isGifName(name);
        bool written = false;
        if (entry.image && !entry.image->empty()) {
            // The name keeps the source's extension only for JPEG and GIF
            // files; such a file is copied when it still decodes to the
            // document's picture (it may have changed, vanished or be
            // misnamed since it was loaded).
            std::string bytes;
            if (extensionOf(name) == extensionOf(entry.fileName) &&
                readWholeFile(entry.fileName, kMaxImageFileBytes, bytes) && holdsPicture(bytes, gif, *entry.image)) {
                written = writeWholeFile(target, bytes);
            } else if (gif) {
                written = saveGif(target, *entry.image);
            } else {
                JpegFormat jpeg;
                jpeg.quality = kRewrittenJpegQuality;
                written = jpeg.save(target, *entry.image);
            }
        }
        if (written)
            m_writtenImages.emplace_back(&entry, name);
        if (!written) {
            if (failedName)
                *failedName = name;
            if (failedSource)
                *failedSource = entry.fileName;
            return false;
        }
    }
    return true;
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
        // Browsers play the page through veltro.js; the archive is only worth
        // a word when that viewer is missing too and nothing would play it.
        if (!resources().readFile("veltro.js"))
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
