// Movie objects: attaching a clip, drawing its frame for the document frame,
// the timeline bar and the snapshot lines.
#include "document/movie_object.h"

#include <algorithm>
#include <climits>

#include "document/document.h"
#include "document/media_cache.h"
#include "document/snapshot_text.h"
#include "movie/frame_cache.h"
#include "services/canvas.h"

namespace veltro {

MovieObject::MovieObject(Document& owner) : DocumentObject(owner, "video") {}

void MovieObject::attachMovie(MediaEntry* entry) {
    movie = entry;
    if (!entry || !entry->movie)
        return;
    const MovieReader& reader = *entry->movie;
    if (ranges.empty())
        ranges.push_back({document ? document->currentFrame : 0, document ? document->currentFrame : 0});
    const int64_t every = std::max<int64_t>(step, 0) + 1;
    const int64_t shown = (every - 1 + reader.frameCount) / every;
    ranges.front().end =
        static_cast<int>(std::clamp<int64_t>(ranges.front().start + shown - 1, INT_MIN, INT_MAX));
    if (w == 0 && h == 0 && reader.frame) {
        w = reader.frame->width;
        h = reader.frame->height;
    }
}

int MovieObject::sourceFrameAt(int frame) const {
    if (!movie || !movie->movie || ranges.empty())
        return 0;
    const int64_t every = std::max<int64_t>(step, 0) + 1;
    const int64_t index = (static_cast<int64_t>(frame) - ranges.front().start) * every;
    return static_cast<int>(std::clamp<int64_t>(index, 0, std::max(movie->movie->frameCount - 1, 0)));
}

void MovieObject::naturalSize(int& outW, int& outH) const {
    outW = 0;
    outH = 0;
    if (movie && movie->movie && movie->movie->frame) {
        outW = movie->movie->frame->width;
        outH = movie->movie->frame->height;
    }
}

void MovieObject::draw(Canvas& canvas, int frame) {
    if (!exported || !visibleAt(frame))
        return;
    if (!movie || !movie->movie) {
        drawPlaceholder(canvas, "video");
        return;
    }
    // A window moving through the clip keeps its frames at the size it shows
    // them; everything else decodes the exact frame at the clip's size.
    MovieReader& reader = *movie->movie;
    DisplayFrameCache* display = reader.displayFrames();
    const ImageBuffer* picture = display != nullptr && display->width() == w && display->height() == h
                                     ? display->frame(sourceFrameAt(frame))
                                     : reader.frameAt(sourceFrameAt(frame));
    if (picture != nullptr)
        canvas.drawImage(x, y, w, h, *picture);
}

void MovieObject::drawTimelineRow(const TimelineRow& row) const {
    if (!ranges.empty())
        drawRangeBar(row, ranges.front(), flagL ? 0xE0C0C0 : 0xFFC0C0);
}

bool MovieObject::readSnapshot(SnapshotLineReader& in) {
    if (!readBaseSnapshot(in))
        return false;
    for (;;) {
        const std::string& key = in.key();
        const std::string& value = in.value();
        if (key == "OV") {
            attachMovie(document->movieCache.find(value));
        } else if (key == "OVS") {
            if (!value.empty()) {
                // Digits give the step, one separating byte follows, the rest
                // is the file name.
                size_t digits = 0;
                int64_t parsed = 0;
                while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
                    parsed = std::min<int64_t>(parsed * 10 + (value[digits] - '0'), INT_MAX);
                    ++digits;
                }
                step = static_cast<int>(parsed);
                std::string fileName = digits + 1 < value.size() ? value.substr(digits + 1) : std::string();
                attachMovie(document->movieCache.find(fileName));
            }
        } else if (key == "OT") {
            int values[4];
            if (!parseSnapshotInts(value, values, 4))
                return false;
            t0 = values[0];
            t1 = values[1];
            t2 = values[2];
            t3 = values[3];
        } else {
            return true;
        }
        if (!in.next())
            return false;
    }
}

bool MovieObject::writeSnapshot(std::string& out) const {
    writeBaseSnapshot(out);
    if (movie)
        appendSnapshotLine(out, "OVS", std::to_string(std::max(step, 0)) + " " + movie->fileName);
    else
        appendSnapshotLine(out, "OVS", "");
    appendSnapshotLine(out, "OT", std::to_string(t0) + " " + std::to_string(t1) + " " + std::to_string(t2) + " " +
                                      std::to_string(t3) + " ");
    return true;
}

void MovieObject::listMedia(std::vector<MediaEntry*>& out) const {
    if (movie)
        out.push_back(movie);
}

}  // namespace veltro
