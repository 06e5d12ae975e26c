// The base of everything a document shows: movie objects, image objects and
// drag-motion objects. An object has a rectangle on the canvas, the frame
// ranges in which it is visible, a name unique in its document, and a table of
// virtual operations the document, the editor and the timeline call: draw,
// hit tests, natural size, timeline rows, icons and snapshot lines.
#pragma once

#include <string>
#include <vector>

namespace veltro {

class Canvas;
class Document;
class SnapshotLineReader;
struct MediaEntry;

// The kind of an object; the numbers are the snapshot's object type.
enum class ObjectType : int { Movie = 0, Image = 1, DragMotion = 2 };

// Inclusive span of document frames.
struct FrameRange {
    int start = 0;
    int end = 0;
};

// Answers of hitTest.
enum HitCode : int {
    kHitNone = 0,
    kHitTopLeft = 1,
    kHitTopRight = 2,
    kHitBottomLeft = 3,
    kHitBottomRight = 4,
    kHitMove = 5,
    kHitVertex = 6,
    kHitSegment = 7,
};

// Where an object draws its row of the timeline: bars start at x = 140
// (the names column) and are clipped 20 pixels before the row's width.
struct TimelineRow {
    Canvas* canvas = nullptr;
    // Frame at the row's left edge (x = kTimelineLeft).
    int firstShown = 0;
    double pixelsPerFrame = 1.0;
    int top = 0;
    int height = 0;
    int width = 0;
};

// Left edge of the bars in a timeline row.
inline constexpr int kTimelineLeft = 140;
// Room kept free at the right end of a timeline row.
inline constexpr int kTimelineRightMargin = 20;

class DocumentObject {
public:
    virtual ~DocumentObject();

    // Advances an animation; true when what the object shows changed.
    virtual bool tick() { return false; }
    // True when the object animates at this frame (the document then draws
    // paths directly instead of antialiased).
    virtual bool animatesAt(int) const { return false; }
    // Moves the rectangle's top-left corner.
    virtual void setPosition(int newX, int newY);
    // Sets the rectangle's size.
    virtual void setSize(int newW, int newH);
    // setPosition, then setSize.
    void setRect(int newX, int newY, int newW, int newH);
    // What lies under (px, py) within tolerance: a HitCode. index receives the
    // vertex or segment for kHitVertex / kHitSegment, else -1. The base does
    // the rectangle test.
    virtual int hitTest(int px, int py, int tolerance, int& index);
    // The size the object has by its content (movie frame, image), 0 x 0
    // without content.
    virtual void naturalSize(int& outW, int& outH) const;
    // Draws the object for the document frame on the canvas.
    virtual void draw(Canvas& canvas, int frame) = 0;
    // Draws the object's timeline row; the base draws one bar per range.
    virtual void drawTimelineRow(const TimelineRow& row) const;
    // The object's kind.
    virtual ObjectType type() const = 0;
    // Name of the resource image that stands for the kind ("bmovie.png").
    virtual const char* icon() const = 0;
    // Reads the object's snapshot lines, starting at the reader's current
    // line; stops with true at the first key it does not know, leaving that
    // line current. False on a line it cannot parse.
    virtual bool readSnapshot(SnapshotLineReader& in) = 0;
    // Appends the object's snapshot lines; false when it has none.
    virtual bool writeSnapshot(std::string& out) const = 0;
    // Appends every media entry the object refers to (once per reference),
    // for the document's use counts.
    virtual void listMedia(std::vector<MediaEntry*>& out) const;
    // The frames of the first and the last path point, which the document
    // marks as a run; false for objects without path points.
    virtual bool pathFrameSpan(int& first, int& last) const;
    // Reverses the order of positions along the object's path, each point's
    // frame staying in place, and finalises the path; objects without a path
    // do nothing.
    virtual void reversePath() {}

    // True when some range has start <= frame <= end.
    bool visibleAt(int frame) const;
    // The rectangle test with tolerance c: kHitNone outside the rectangle
    // grown by c, a corner code near a corner, else kHitMove.
    int rectangleHitTest(int px, int py, int c) const;

    // Set when the object is inserted into a document (and at creation).
    Document* document = nullptr;
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    std::vector<FrameRange> ranges;
    std::string name;
    bool selected = false;
    // Only objects with a non-zero value are published and drawn.
    int exported = 1;
    // Non-zero: other timeline colours, and the editor's pointer tests skip
    // the object.
    int flagL = 0;

protected:
    // A new object of the document named base0, base1, ...: the first such
    // name no object of the document bears yet.
    DocumentObject(Document& owner, const char* nameBase);

    // Reads the lines every object has (.OP, .OR, .ON, .OE, .OL) while they
    // come; false on a line that does not parse.
    bool readBaseSnapshot(SnapshotLineReader& in);
    // Appends the lines every object has.
    void writeBaseSnapshot(std::string& out) const;
    // One timeline bar for a range in the given fill colour, outlined black.
    void drawRangeBar(const TimelineRow& row, const FrameRange& range, unsigned fillColor) const;
    // A white box outlined in black with a word centred in it (an object
    // without its content).
    void drawPlaceholder(Canvas& canvas, const char* word) const;
};

}  // namespace veltro
