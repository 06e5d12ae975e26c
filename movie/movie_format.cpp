#include "movie/movie_format.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace veltro {

MovieReaderPtr MovieFormat::open(const std::string& path) const {
    MovieReaderPtr reader = createReader();
    if (!reader || !reader->open(path))
        return nullptr;
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
