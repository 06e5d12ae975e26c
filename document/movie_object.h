// A clip on the canvas: shows the frame of its movie that belongs to the
// current document frame, every (step + 1)-th source frame in turn.
#pragma once

#include "document/document_object.h"

namespace veltro {

class MovieObject : public DocumentObject {
public:
    // A new movie object of the document, named video0, video1, ...
    explicit MovieObject(Document& owner);

    // Attaches a movie of the document's movie cache (none detaches). The
    // first range becomes start .. start + (step + frames) / (step + 1) - 1,
    // start being the first range's start or, without a range, the current
    // frame; a 0 x 0 rectangle takes the movie's frame size.
    void attachMovie(MediaEntry* entry);
    // The source frame shown at a document frame, clamped to the movie.
    int sourceFrameAt(int frame) const;

    void naturalSize(int& outW, int& outH) const override;
    void draw(Canvas& canvas, int frame) override;
    void drawTimelineRow(const TimelineRow& row) const override;
    ObjectType type() const override { return ObjectType::Movie; }
    const char* icon() const override { return "bmovie.png"; }
    bool readSnapshot(SnapshotLineReader& in) override;
    bool writeSnapshot(std::string& out) const override;
    void listMedia(std::vector<MediaEntry*>& out) const override;

    // Entry of the document's movie cache, or none.
    MediaEntry* movie = nullptr;
    // The object shows every (step + 1)-th source frame.
    int step = 0;
    // Four values the snapshot carries.
    int t0 = 0;
    int t1 = 0;
    int t2 = 0;
    int t3 = 0;
};

}  // namespace veltro
