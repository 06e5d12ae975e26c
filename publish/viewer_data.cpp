// Writing and reading the viewer data file. The writer walks the document in
// list order; the reader first parses the whole body into ViewerData (so a
// malformed file is refused before anything is loaded) and then builds the
// document from it.
#include "publish/viewer_data.h"

#include <cstdio>

#include "document/document.h"
#include "document/image_object.h"
#include "document/movie_object.h"
#include "document/object_kinds.h"
#include "publish/viewer_cipher.h"
#include "dragmotion/drag_motion_object.h"
#include "framestore/ncrf_escaping.h"
#include "image/file_utils.h"
#include "image/gif_format.h"
#include "image/image_format.h"

namespace veltro {

namespace {

void put8(std::string& out, uint32_t v) { out += static_cast<char>(v & 0xFF); }
void put16(std::string& out, uint32_t v) {
    put8(out, v >> 8);
    put8(out, v);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v);
}
// A missing or empty string is the single byte 0; longer texts are cut to
// what the length byte can say.
void putStr8(std::string& out, const std::string& text) {
    size_t n = std::min<size_t>(text.size(), 255);
    put8(out, static_cast<uint32_t>(n));
    out.append(text, 0, n);
}
void putStr16(std::string& out, const std::string& text) {
    size_t n = std::min<size_t>(text.size(), 65535);
    put16(out, static_cast<uint32_t>(n));
    out.append(text, 0, n);
}

std::string hexName(const char* prefix, size_t index, const std::string& suffix) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%zx", prefix, index);
    return text + suffix;
}

bool lowerEquals(const std::string& a, const char* b) {
    size_t n = std::char_traits<char>::length(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i])
            return false;
    }
    return true;
}

// Index of a published entry in its cache's listed part, -1 otherwise.
int listedIndex(const MediaCache& cache, const MediaEntry* entry) {
    if (!entry || entry->publishCount <= 0)
        return -1;
    const auto& entries = cache.entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].get() == entry)
            return static_cast<int>(i);
    return -1;
}

void putIndex(std::string& out, int index) { put16(out, static_cast<uint32_t>(index) & 0xFFFF); }

void putRanges(std::string& out, const DocumentObject& object) {
    size_t n = std::min<size_t>(object.ranges.size(), 65535);
    put16(out, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        put32(out, static_cast<uint32_t>(object.ranges[i].start));
        put32(out, static_cast<uint32_t>(object.ranges[i].end));
    }
}

void putDragMotion(std::string& out, const Document& document, const DragMotionObject& object) {
    for (int i = 0; i < kPathStateCount; ++i) {
        putIndex(out, listedIndex(document.imageCache, object.pathImage[static_cast<size_t>(i)]));
        put8(out, static_cast<uint32_t>(object.pathWidth[static_cast<size_t>(i)]));
        uint32_t rgb = object.pathColor[static_cast<size_t>(i)];
        put8(out, rgb >> 16);
        put8(out, rgb >> 8);
        put8(out, rgb);
    }
    put8(out, static_cast<uint32_t>(object.arrow));
    put8(out, static_cast<uint32_t>(object.bezier));
    put8(out, static_cast<uint32_t>(object.distance * (object.fromThumbnails ? -1 : 1)));
    size_t thumbnails = std::min<size_t>(object.thumbnailImages.size(), 255);
    put8(out, static_cast<uint32_t>(thumbnails));
    for (size_t i = 0; i < thumbnails; ++i)
        putIndex(out, listedIndex(document.imageCache, object.thumbnailImages[i]));
    put8(out, static_cast<uint32_t>(object.keep));
    put8(out, static_cast<uint32_t>(object.thumbnailDir));
    const auto& points = object.path.points();
    size_t n = std::min<size_t>(points.size(), 65535);
    put16(out, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        put16(out, static_cast<uint32_t>(points[i].x));
        put16(out, static_cast<uint32_t>(points[i].y));
        put32(out, static_cast<uint32_t>(points[i].frame));
        put8(out, points[i].handOver() ? 0 : 1);
    }
}

void putEvent(std::string& out, const Document& document, const TimelineEvent& event) {
    put8(out, static_cast<uint32_t>(event.type()));
    put32(out, static_cast<uint32_t>(event.startFrame));
    put32(out, static_cast<uint32_t>(event.endFrame));
    put32(out, static_cast<uint32_t>(event.extra));
    switch (event.type()) {
    case 0:
        put8(out, static_cast<uint32_t>(event.byteValue));
        break;
    case 1: {
        size_t n = std::min<size_t>(event.keyFrames.size(), 65535);
        put16(out, static_cast<uint32_t>(n));
        for (size_t i = 0; i < n; ++i)
            put32(out, static_cast<uint32_t>(event.keyFrames[i]));
        break;
    }
    case 2:
        put8(out, static_cast<uint32_t>(event.byteValue));
        putIndex(out, listedIndex(document.soundCache, event.sound));
        break;
    case 3:
        putStr8(out, event.text1);
        putStr16(out, event.text2);
        break;
    default:
        putStr16(out, event.text1);
        break;
    }
}

bool eventPublished(const Document& document, const TimelineEvent& event) {
    int type = event.type();
    return type >= 0 && type < kEventTypeCount && document.eventTypeEnabled[static_cast<size_t>(type)];
}

// Reads big-endian fields and remembers the first failure.
class BodyReader {
public:
    explicit BodyReader(const std::string& bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    size_t remaining() const { return m_ok ? m_bytes.size() - m_pos : 0; }
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    const std::string& error() const { return m_error; }
    void fail(const std::string& why) {
        if (m_ok)
            m_error = why;
        m_ok = false;
    }

    uint32_t u8() { return take(1); }
    uint32_t u16() { return take(2); }
    uint32_t u32() { return take(4); }
    int i16() { return static_cast<int16_t>(static_cast<uint16_t>(take(2))); }
    std::string text(size_t n) {
        if (!need(n))
            return {};
        std::string t = m_bytes.substr(m_pos, n);
        m_pos += n;
        return t;
    }
    // True when count records of at least minSize bytes each can still follow.
    bool fits(size_t count, size_t minSize, const char* what) {
        if (m_ok && count * minSize > remaining())
            fail(std::string("the ") + what + " count runs past the end of the file");
        return m_ok;
    }

private:
    bool need(size_t n) {
        if (m_ok && n > m_bytes.size() - m_pos)
            fail("the file ends in the middle of a field");
        return m_ok;
    }
    uint32_t take(size_t n) {
        if (!need(n))
            return 0;
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v = (v << 8) | static_cast<uint8_t>(m_bytes[m_pos++]);
        return v;
    }

    const std::string& m_bytes;
    size_t m_pos = 0;
    bool m_ok = true;
    std::string m_error;
};

// A media name must stay inside the page directory.
bool safeMediaName(const std::string& name) {
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.find('\0') != std::string::npos || name.find("..") != std::string::npos)
        return false;
    return name != ".";
}

void readNames(BodyReader& in, std::vector<std::string>& names, const char* what) {
    size_t count = in.u16();
    if (!in.fits(count, 1, what))
        return;
    names.reserve(count);
    for (size_t i = 0; i < count && in.ok(); ++i) {
        std::string name = in.text(in.u8());
        if (in.ok() && !safeMediaName(name))
            in.fail(std::string("the ") + what + " name \"" + name + "\" would leave the page directory");
        names.push_back(std::move(name));
    }
}

void readObject(BodyReader& in, ViewerObjectRecord& o) {
    o.type = static_cast<int>(in.u8());
    if (in.ok() && o.type > 2) {
        in.fail("unknown object type " + std::to_string(o.type));
        return;
    }
    o.x = in.i16();
    o.y = in.i16();
    o.w = static_cast<int>(in.u16());
    o.h = static_cast<int>(in.u16());
    size_t ranges = in.u16();
    if (!in.fits(ranges, 8, "range"))
        return;
    o.ranges.reserve(ranges);
    for (size_t i = 0; i < ranges; ++i) {
        uint32_t start = in.u32();
        uint32_t end = in.u32();
        o.ranges.emplace_back(start, end);
    }
    if (o.type != 2) {
        o.mediaIndex = in.i16();
        return;
    }
    for (int i = 0; i < 3; ++i) {
        o.pathImage[i] = in.i16();
        o.pathWidth[i] = static_cast<int>(in.u8());
        uint32_t r = in.u8(), g = in.u8(), b = in.u8();
        o.pathColor[i] = (r << 16) | (g << 8) | b;
    }
    o.arrow = static_cast<int>(in.u8());
    o.bezier = static_cast<int>(in.u8());
    o.distanceByte = static_cast<int>(in.u8());
    size_t thumbnails = in.u8();
    if (!in.fits(thumbnails, 2, "thumbnail"))
        return;
    for (size_t i = 0; i < thumbnails; ++i)
        o.thumbnailImages.push_back(in.i16());
    o.keep = static_cast<int>(in.u8());
    o.thumbnailDir = static_cast<int>(in.u8());
    size_t points = in.u16();
    if (!in.fits(points, 9, "path point"))
        return;
    if (points > static_cast<size_t>(kMaxPathPoints)) {
        in.fail("a path has more than " + std::to_string(kMaxPathPoints) + " points");
        return;
    }
    o.points.reserve(points);
    for (size_t i = 0; i < points; ++i) {
        ViewerObjectRecord::Point p;
        p.x = static_cast<int>(in.u16());
        p.y = static_cast<int>(in.u16());
        p.frame = in.u32();
        p.normal = static_cast<int>(in.u8());
        o.points.push_back(p);
    }
}

void readEvent(BodyReader& in, ViewerEventRecord& e) {
    e.type = static_cast<int>(in.u8());
    if (in.ok() && e.type >= kEventTypeCount) {
        in.fail("unknown event type " + std::to_string(e.type));
        return;
    }
    e.start = in.u32();
    e.end = in.u32();
    e.extra = in.u32();
    switch (e.type) {
    case 0:
        e.byteValue = static_cast<int>(in.u8());
        break;
    case 1: {
        size_t n = in.u16();
        if (!in.fits(n, 4, "key frame"))
            return;
        e.frames.reserve(n);
        for (size_t i = 0; i < n; ++i)
            e.frames.push_back(in.u32());
        break;
    }
    case 2:
        e.byteValue = static_cast<int>(in.u8());
        e.soundIndex = in.i16();
        break;
    case 3:
        e.text1 = in.text(in.u8());
        e.text2 = in.text(in.u16());
        break;
    default:
        e.text1 = in.text(in.u16());
        break;
    }
}

MediaEntry* entryAt(const std::vector<MediaEntry*>& entries, int index) {
    if (index < 0 || static_cast<size_t>(index) >= entries.size())
        return nullptr;
    return entries[static_cast<size_t>(index)];
}

// The listed image at path. Pages hold their pictures as JPEG and GIF files;
// GIF is no format of the program's registry, so a GIF the registry cannot
// read is read by the GIF codec here. Anything else, and a GIF that will not
// load, goes the media cache's way (search path, then the author is asked).
MediaEntry* findPageImage(MediaCache& cache, const std::string& path) {
    if (cache.findLoaded(path))
        return cache.find(path);
    if (lowerEquals(extensionOf(path), ".gif") && !findImageFormat(path)) {
        GifFormat gif;
        ImagePtr picture = gif.load(path);
        if (picture && !picture->empty()) {
            auto entry = std::make_unique<MediaEntry>();
            entry->fileName = path;
            entry->modificationTime = fileModificationTime(path);
            entry->image = std::move(picture);
            return cache.add(std::move(entry));
        }
    }
    return cache.find(path);
}

int clampFrame(uint32_t value) { return static_cast<int>(std::min<uint32_t>(value, 0x7FFFFFFF)); }

}  // namespace

namespace {
std::optional<ViewerData> parseBody(const std::string& bytes, bool hasHeader, std::string* error);
}  // namespace

std::string viewerImageName(size_t index, const std::string& sourceFile) {
    std::string extension = extensionOf(sourceFile);
    if (lowerEquals(extension, ".jpg") || lowerEquals(extension, ".jpeg") || lowerEquals(extension, ".gif"))
        return hexName("i", index, extension);
    return hexName("i", index, ".gif");
}

std::string viewerDataLimitProblem(const Document& document) {
    static_assert(kMaxPathPoints <= 65535, "a path's point count must fit its 16-bit field");
    constexpr size_t kMax16 = 65535;
    constexpr size_t kMax8 = 255;
    auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    auto tooMany = [](size_t count, const std::string& what, size_t most) {
        return std::to_string(count) + " " + what + ", more than the " + std::to_string(most) + " a page can hold";
    };

    size_t exported = 0;
    for (const auto& object : document.objects) {
        if (!object->exported)
            continue;
        ++exported;
        if (object->ranges.size() > kMax16)
            return "the object " + quoted(object->name) + " is shown in " +
                   tooMany(object->ranges.size(), "frame ranges", kMax16);
        if (object->type() == ObjectType::DragMotion) {
            const auto& path = static_cast<const DragMotionObject&>(*object);
            if (path.thumbnailImages.size() > kMax8)
                return "the path " + quoted(object->name) + " has " +
                       tooMany(path.thumbnailImages.size(), "thumbnail pictures", kMax8);
        }
    }
    if (exported > kMax16)
        return "the document has " + tooMany(exported, "published objects", kMax16);
    for (const MediaCache* cache : {&document.imageCache, &document.soundCache}) {
        size_t listed = 0;
        for (const auto& entry : cache->entries())
            if (entry->publishCount > 0)
                ++listed;
        if (listed > kMax16)
            return "the document uses " +
                   tooMany(listed, cache == &document.imageCache ? "pictures" : "sounds", kMax16);
    }

    size_t events = 0;
    for (const auto& event : document.events) {
        if (!eventPublished(document, *event))
            continue;
        ++events;
        const std::string which = "the event at frames " + std::to_string(event->startFrame) + "-" +
                                  std::to_string(event->endFrame);
        if (event->type() == 1 && event->keyFrames.size() > kMax16)
            return which + " lists " + tooMany(event->keyFrames.size(), "key frames", kMax16);
        const size_t firstMost = event->type() == 3 ? kMax8 : kMax16;
        if ((event->type() == 3 || event->type() == 4) && event->text1.size() > firstMost)
            return which + " has a text of " + tooMany(event->text1.size(), "bytes", firstMost);
        if (event->type() == 3 && event->text2.size() > kMax16)
            return which + " has a text of " + tooMany(event->text2.size(), "bytes", kMax16);
    }
    if (events > kMax16)
        return "the document has " + tooMany(events, "timeline events", kMax16);
    return {};
}

std::string viewerDataBody(const Document& document, uint32_t headerValue) {
    std::string out;
    put32(out, 0);  // reserved0
    put32(out, headerValue);
    put32(out, 0);  // reserved1
    put8(out, 0);   // modeFlag
    put16(out, kViewerDataVersion);

    size_t movies = 0;
    size_t exported = 0;
    for (const auto& object : document.objects) {
        if (!object->exported)
            continue;
        ++exported;
        if (object->type() == ObjectType::Movie)
            ++movies;
    }
    put16(out, static_cast<uint32_t>(std::min<size_t>(movies, 65535)));

    std::vector<std::string> images;
    const auto& imageEntries = document.imageCache.entries();
    for (size_t i = 0; i < imageEntries.size(); ++i)
        if (imageEntries[i]->publishCount > 0)
            images.push_back(viewerImageName(i, imageEntries[i]->fileName));
    put16(out, static_cast<uint32_t>(std::min<size_t>(images.size(), 65535)));
    for (size_t i = 0; i < images.size() && i < 65535; ++i)
        putStr8(out, images[i]);

    size_t sounds = 0;
    for (const auto& entry : document.soundCache.entries())
        if (entry->publishCount > 0)
            ++sounds;
    sounds = std::min<size_t>(sounds, 65535);
    put16(out, static_cast<uint32_t>(sounds));
    for (size_t i = 0; i < sounds; ++i)
        putStr8(out, hexName("a", i, ".au"));

    put16(out, static_cast<uint32_t>(document.width));
    put16(out, static_cast<uint32_t>(document.height));
    put16(out, static_cast<uint32_t>(document.length));
    put16(out, static_cast<uint32_t>(std::min<size_t>(exported, 65535)));

    int movieIndex = 0;
    size_t written = 0;
    for (const auto& object : document.objects) {
        if (!object->exported || written == 65535)
            continue;
        ++written;
        put8(out, static_cast<uint32_t>(object->type()));
        put16(out, static_cast<uint32_t>(object->x));
        put16(out, static_cast<uint32_t>(object->y));
        put16(out, static_cast<uint32_t>(object->w));
        put16(out, static_cast<uint32_t>(object->h));
        putRanges(out, *object);
        switch (object->type()) {
        case ObjectType::Movie: {
            const auto& movie = static_cast<const MovieObject&>(*object);
            if (movie.movie && movie.movie->movie)
                putIndex(out, movieIndex++);
            else
                putIndex(out, -1);
            break;
        }
        case ObjectType::Image:
            putIndex(out, listedIndex(document.imageCache, static_cast<const ImageObject&>(*object).image));
            break;
        case ObjectType::DragMotion:
            putDragMotion(out, document, static_cast<const DragMotionObject&>(*object));
            break;
        }
    }

    std::vector<const TimelineEvent*> events;
    for (const auto& event : document.events)
        if (eventPublished(document, *event))
            events.push_back(event.get());
    size_t eventCount = std::min<size_t>(events.size(), 65535);
    put16(out, static_cast<uint32_t>(eventCount));
    for (size_t i = 0; i < eventCount; ++i)
        putEvent(out, document, *events[i]);
    return out;
}

std::string storedViewerData(const std::string& body) { return ncrfEscape(encipherViewerBody(body)); }

std::optional<ViewerData> parseViewerData(const std::string& stored, std::string* error) {
    std::string bytes = ncrfUnescape(stored);
    if (bytes.size() >= 2 && bytes[0] == 0 && bytes[1] == 3)
        return parseBody(bytes, false, error);
    std::optional<std::string> body = decipherViewerBody(bytes);
    if (!body) {
        if (error)
            *error = "the enciphered body is not a whole number of 8-byte blocks";
        return std::nullopt;
    }
    return parseBody(*body, true, error);
}

std::optional<ViewerData> parseViewerBody(const std::string& body, std::string* error) {
    return parseBody(body, true, error);
}

namespace {

std::optional<ViewerData> parseBody(const std::string& bytes, bool hasHeader, std::string* error) {
    auto failWith = [&](const std::string& why) -> std::optional<ViewerData> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    ViewerData data;
    data.hasHeader = hasHeader;
    BodyReader in(bytes);
    if (data.hasHeader) {
        data.reserved0 = in.u32();
        data.headerValue = in.u32();
        data.reserved1 = in.u32();
        data.modeFlag = static_cast<int>(in.u8());
    }
    data.version = static_cast<int>(in.u16());
    if (in.ok() && data.version != kViewerDataVersion)
        return failWith("unsupported viewer data version " + std::to_string(data.version) +
                        " (or the file is not a viewer data file)");
    data.movieCount = static_cast<int>(in.u16());
    readNames(in, data.imageNames, "image");
    readNames(in, data.soundNames, "sound");
    data.width = static_cast<int>(in.u16());
    data.height = static_cast<int>(in.u16());
    data.length = static_cast<int>(in.u16());
    size_t objects = in.u16();
    // The smallest record (a movie or image without ranges) has 13 bytes.
    if (in.fits(objects, 13, "object")) {
        data.objects.reserve(objects);
        for (size_t i = 0; i < objects && in.ok(); ++i) {
            data.objects.emplace_back();
            readObject(in, data.objects.back());
        }
    }
    size_t events = in.u16();
    if (in.fits(events, 14, "event")) {
        data.events.reserve(events);
        for (size_t i = 0; i < events && in.ok(); ++i) {
            data.events.emplace_back();
            readEvent(in, data.events.back());
        }
    }
    if (!in.ok())
        return failWith(in.error());
    // Only the padding of the last cipher block may follow the events.
    for (size_t left = in.remaining(), i = bytes.size() - left; i < bytes.size(); ++i)
        if (bytes[i] != '\x0A' || left >= 8)
            return failWith("unexpected bytes after the last event");

    int movieRecords = 0;
    for (const auto& o : data.objects) {
        if (o.type != 0)
            continue;
        ++movieRecords;
        if (o.mediaIndex >= data.movieCount)
            return failWith("a movie object names frame store " + std::to_string(o.mediaIndex) + " of " +
                            std::to_string(data.movieCount));
    }
    if (data.movieCount > movieRecords)
        return failWith("the movie count " + std::to_string(data.movieCount) + " exceeds the " +
                        std::to_string(movieRecords) + " movie objects");
    return data;
}

}  // namespace

std::optional<ViewerData> readViewerDataFile(const std::string& path, std::string* error) {
    std::string stored;
    if (!readWholeFile(path, kMaxViewerDataFileSize, stored)) {
        if (error)
            *error = fileExists(path) ? "\"" + path + "\" is unreadable or larger than " +
                                            std::to_string(kMaxViewerDataFileSize >> 20) + " MiB"
                                      : "cannot open \"" + path + "\"";
        return std::nullopt;
    }
    return parseViewerData(stored, error);
}

bool openViewerData(const std::string& path, Document& document, std::string* error) {
    std::optional<ViewerData> data = readViewerDataFile(path, error);
    if (!data)
        return false;
    const std::string directory = directoryOf(path);

    std::vector<MediaEntry*> movies;
    for (int k = 0; k < data->movieCount; ++k)
        movies.push_back(document.movieCache.find(joinPath(directory, hexName("v", static_cast<size_t>(k), ".txt"))));
    std::vector<MediaEntry*> images;
    for (const auto& name : data->imageNames)
        images.push_back(name.empty() ? nullptr : findPageImage(document.imageCache, joinPath(directory, name)));
    std::vector<MediaEntry*> sounds;
    for (const auto& name : data->soundNames)
        sounds.push_back(name.empty() ? nullptr : document.soundCache.find(joinPath(directory, name)));

    document.setSize(data->width, data->height);
    document.setLength(data->length);

    for (const ViewerObjectRecord& record : data->objects) {
        std::unique_ptr<DocumentObject> object = createObject(record.type, document);
        if (!object) {
            if (error)
                *error = "objects of type " + std::to_string(record.type) + " are not available";
            return false;
        }
        object->x = record.x;
        object->y = record.y;
        object->w = record.w;
        object->h = record.h;
        object->selected = false;
        for (const auto& [start, end] : record.ranges)
            object->ranges.push_back({clampFrame(start), clampFrame(end)});
        if (record.type == 0) {
            static_cast<MovieObject&>(*object).movie = entryAt(movies, record.mediaIndex);
        } else if (record.type == 1) {
            static_cast<ImageObject&>(*object).image = entryAt(images, record.mediaIndex);
        } else {
            auto& dm = static_cast<DragMotionObject&>(*object);
            for (size_t i = 0; i < 3; ++i) {
                dm.pathImage[i] = entryAt(images, record.pathImage[i]);
                dm.pathWidth[i] = record.pathWidth[i];
                dm.pathColor[i] = record.pathColor[i];
            }
            dm.arrow = record.arrow;
            dm.bezier = record.bezier;
            dm.distance = record.distanceByte;
            dm.thumbnailImages.clear();
            for (int index : record.thumbnailImages)
                if (MediaEntry* entry = entryAt(images, index))
                    dm.thumbnailImages.push_back(entry);
            dm.keep = record.keep;
            dm.thumbnailDir = record.thumbnailDir;
            for (const auto& p : record.points)
                if (!dm.path.append(p.x, p.y, clampFrame(p.frame), p.normal)) {
                    if (error)
                        *error = "a path has too many points";
                    return false;
                }
            dm.finalizePath();
        }
        document.appendObject(std::move(object));
    }

    for (const ViewerEventRecord& record : data->events) {
        auto event = std::make_unique<TimelineEvent>(record.type);
        event->startFrame = clampFrame(record.start);
        event->endFrame = clampFrame(record.end);
        event->extra = static_cast<int>(record.extra);
        event->byteValue = record.byteValue;
        for (uint32_t frame : record.frames)
            event->keyFrames.push_back(clampFrame(frame));
        event->sound = entryAt(sounds, record.soundIndex);
        event->text1 = record.text1;
        event->text2 = record.text2;
        document.events.push_back(std::move(event));
    }
    document.recomputeFlags();
    return true;
}

}  // namespace veltro
