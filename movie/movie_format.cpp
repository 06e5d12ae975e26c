#include "movie/movie_format.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "movie/frame_cache.h"

namespace veltro {

MovieReader::MovieReader() = default;

MovieReader::~MovieReader() { stopDisplayFrames(); }

bool MovieReader::frameAtSize(int index, ImageBuffer& target) {
    if (target.empty())
        return false;
    const ImageBuffer* picture = frameAt(index);
    if (picture == nullptr || picture->empty())
        return false;
    if (picture->width == target.width && picture->height == target.height) {
        target.pixels = picture->pixels;
    } else {
        ImagePtr scaled = scaleAverage(*picture, target.width, target.height);
        if (!scaled || scaled->pixelCount() != target.pixelCount())
            return false;
        target.pixels = std::move(scaled->pixels);
    }
    target.hasAlpha = picture->hasAlpha;
    return true;
}

MovieReaderPtr MovieReader::reopen() const {
    return m_openedBy != nullptr ? m_openedBy->open(m_path) : nullptr;
}

DisplayFrameCache& MovieReader::startDisplayFrames() {
    if (!m_displayFrames) {
        // The worker opens its own reader: the two never share decoder state.
        const MovieFormat* format = m_openedBy;
        const std::string path = m_path;
        DisplayFrameCache::OpenReader openWorker;
        if (format != nullptr)
            openWorker = [format, path] { return format->open(path); };
        m_displayFrames = std::make_unique<DisplayFrameCache>(*this, std::move(openWorker));
    }
    return *m_displayFrames;
}

void MovieReader::stopDisplayFrames() { m_displayFrames.reset(); }

MovieReaderPtr MovieFormat::open(const std::string& path) const {
    MovieReaderPtr reader = createReader();
    if (!reader || !reader->open(path))
        return nullptr;
    reader->m_openedBy = this;
    reader->m_path = path;
    return reader;
}

namespace {

struct MovieRegistry {
    std::vector<const MovieFormat*> formats;
    std::string filter;
    bool filterBuilt = false;
};

MovieRegistry& registry() {
    static MovieRegistry instance;
    return instance;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

void registerMovieFormat(const MovieFormat* format) {
    MovieRegistry& r = registry();
    r.formats.push_back(format);
    r.filterBuilt = false;
}

void clearMovieFormats() {
    MovieRegistry& r = registry();
    r.formats.clear();
    r.filterBuilt = false;
}

const MovieFormat* nextMovieFormat(const std::string& path, const MovieFormat* previous) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return nullptr;
    const std::string extension = lowered(path.substr(dot));
    const auto& formats = registry().formats;
    auto it = formats.begin();
    if (previous) {
        it = std::find(formats.begin(), formats.end(), previous);
        if (it == formats.end())
            return nullptr;
        ++it;
    }
    for (; it != formats.end(); ++it)
        if (lowered((*it)->pattern()).find(extension) != std::string::npos)
            return *it;
    return nullptr;
}

namespace {
thread_local std::string t_movieError;
}  // namespace

const std::string& movieError() { return t_movieError; }

void setMovieError(std::string text) { t_movieError = std::move(text); }

MovieReaderPtr openMovie(const std::string& path, const MovieFormat** formatOut) {
    t_movieError.clear();
    for (const MovieFormat* format = nextMovieFormat(path, nullptr); format;
         format = nextMovieFormat(path, format)) {
        if (MovieReaderPtr reader = format->open(path)) {
            if (formatOut)
                *formatOut = format;
            return reader;
        }
    }
    return nullptr;
}

const std::string& movieFilter() {
    MovieRegistry& r = registry();
    if (!r.filterBuilt) {
        std::string text = "All Video";
        text += '\0';
        for (const MovieFormat* f : r.formats)
            text += std::string(f->pattern()) + ";";
        text += '\0';
        for (const MovieFormat* f : r.formats) {
            text += f->description();
            text += '\0';
            text += f->pattern();
            text += '\0';
        }
        text += '\0';
        r.filter = std::move(text);
        r.filterBuilt = true;
    }
    return r.filter;
}

}  // namespace veltro
