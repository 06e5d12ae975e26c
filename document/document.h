// The open project in memory: a canvas of fixed pixel size on which the
// objects are drawn for the current frame, a length in frames with one flag
// byte per frame saying which frames get encoded and how, the timed events,
// three media caches and the undo history. The snapshot text of a document
// (what undo records) is written and read here too.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/document_object.h"
#include "document/media_cache.h"
#include "document/timeline_event.h"
#include "document/undo_history.h"

namespace veltro {

class Canvas;

// Largest canvas side a document takes; bigger sizes are clamped to it.
inline constexpr int kMaxDocumentDimension = 4096;
// Most frames a document can have (one flag byte each); longer lengths are
// clamped to it. A published page stores the length in 16 bits, so a longer
// document could not be published without its length wrapping.
inline constexpr int kMaxDocumentLength = 65535;

// Bits of a frame flag byte.
inline constexpr uint8_t kFrameKey = 1;        // plain key frame (set by callers)
inline constexpr uint8_t kFrameRunStart = 2;   // first frame of a run
inline constexpr uint8_t kFrameSampled = 3;    // sampled frame inside or ending a run
inline constexpr uint8_t kFrameSticky = 4;     // kept by recomputation
inline constexpr uint8_t kFrameEncodeMask = 3; // the low two bits

// Interval at which visible objects are ticked, process-wide.
inline constexpr int64_t kObjectTickIntervalMs = 300;

class Document {
public:
    // A document of the size; a width or height of 0 or less takes the
    // settings "def_width" / "def_height" (320 x 240). Length, JPEG and
    // difference quality come from "def_length", "jpeg_quality",
    // "diff_quality"; the name from the resource text "newdoc".
    Document(int width = 0, int height = 0);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Destroys every object and event and zeroes the frame flags; size,
    // length, caches and undo history stay.
    void clear();
    // Sets the size (clamped to 1 .. kMaxDocumentDimension) and re-creates the
    // canvas, whose content is lost.
    void setSize(int newWidth, int newHeight);
    // Sets the length (clamped to 0 .. kMaxDocumentLength). New flag bytes are
    // zero; the flags are recomputed over the old length, then the length
    // changes. Returns the flagged count.
    int setLength(int n);
    // Grows the length so that it covers the end of every object's first
    // range; never shrinks.
    void coverObjects();
    // Takes the object: inserts it at the first selected object (the front
    // when none is selected), covers it and recomputes the flags. Returns the
    // flagged count.
    int insertObject(std::unique_ptr<DocumentObject> object);
    // Appends the object at the end of the list (readers that keep a file's
    // order), covers it and recomputes the flags.
    int appendObject(std::unique_ptr<DocumentObject> object);
    // Takes the object out of the list and destroys it, then covers and
    // recomputes. Returns the flagged count.
    int removeObject(DocumentObject* object);
    // Records an undo snapshot, then removes every selected object.
    void deleteSelected();
    // Index of the first selected object, 0 when none is selected.
    int firstSelectedIndex() const;
    // Sets every object's selection; returns the number of objects.
    int selectAll(bool flag);
    // Number of selected objects.
    int selectedCount() const;
    // Reverses the order of positions along the path of every selected
    // drag-motion object; each point's frame stays in place.
    void reverseSelectedPaths();
    // Marks the frames to encode from the exported drag-motion paths and the
    // enabled events; sticky bytes stay. Returns the flagged count.
    int recomputeFlags();
    // Marks a run a .. b (clamped to the document): a becomes 2, every
    // (frameStep + 1)-th frame after it and b become 3.
    void markRun(int a, int b);
    // Shows frame f: ticks (unless editing or a run event is active), then
    // switches the events.
    void setCurrentFrame(int f);
    // Shows the nearest flagged frame at or before n (n clamped to the
    // document), frame 0 when there is none.
    void seekFlaggedFrame(int n);
    // Draws every object for the current frame on a white canvas, the front
    // object last.
    void render();
    // Ticks the active events and, at most every 300 ms process-wide, the
    // objects visible now; true when something shown changed.
    bool tick();
    // Stops events the current frame left and starts those it entered.
    void switchEvents();
    // Sets the editing flag; clearing it resets the editor's two values and
    // ticks and switches the events.
    void setEditing(bool flag);
    // Counts the media uses of every object and event, then drops unused
    // media and puts published media first in each cache.
    void countMediaUses();
    // Replaces the document's name.
    void setName(const std::string& text);
    // True when undo has a snapshot to go back to.
    bool canUndo() const { return undoHistory.top() > 0; }
    // The first of base0, base1, ... that no object bears.
    std::string uniqueObjectName(const std::string& base) const;
    // Index of the object in the list, -1 when it is not there.
    int indexOf(const DocumentObject* object) const;

    // Appends the snapshot text; false when an object could not write itself
    // (the lines before it stay).
    bool writeSnapshot(std::string& out) const;
    // Reads a snapshot text into the cleared document; false on malformed
    // text, leaving the objects read before the failure.
    bool readSnapshot(std::string_view text);

    // The canvas the document renders on (width x height).
    Canvas& canvas() { return *m_canvas; }

    // Canvas size in pixels.
    int width = 0;
    int height = 0;
    // Number of document frames.
    int length = 0;
    // Every (frameStep + 1)-th frame of a run is sampled.
    int frameStep = 0;
    // Qualities the frame store writer encodes with.
    int jpegQuality = 75;
    int diffQuality = 75;
    // The frame shown now.
    int currentFrame = 0;
    // One byte per frame (length bytes).
    std::vector<uint8_t> frameFlags;
    // Frames whose low two bits are set, as of the last recomputation.
    int flaggedCount = 0;

    // Index 0 is the front: drawn last, found first.
    std::vector<std::unique_ptr<DocumentObject>> objects;
    // Timed events in list order.
    std::vector<std::unique_ptr<TimelineEvent>> events;
    // Per event type, the event running now, or none.
    std::array<TimelineEvent*, kEventTypeCount> activeEvents{};
    // An event of a disabled type neither runs, marks frames nor is published.
    std::array<bool, kEventTypeCount> eventTypeEnabled{true, true, true, true, true};

    // Two values of the editor that the document keeps and resets to 100
    // and 1 whenever editing ends.
    int editorValueA = 100;
    int editorValueB = 1;
    // Frame span over which a newly drawn path is spread.
    int newPathFirstFrame = 0;
    int newPathLastFrame = 99;

    // Some object animated at the last render: paths are drawn directly.
    bool animating = false;
    // Set while the events are switched (guards the tick).
    bool busy = false;
    // A mouse button is held in the picture (set by the editor).
    bool dragging = false;
    // A path has been drawn: editing aids are shown (set by the editor).
    bool editing = false;
    // A clip is playing: paths are drawn directly (set by playback).
    bool playing = false;
    // The drag-motion object the pointer picked last, or none.
    DocumentObject* activeObject = nullptr;
    int lastThumbnailX = 0;

    // The document's name (at most 127 bytes).
    std::string name;

    // The media the objects and events refer to.
    MediaCache imageCache{MediaKind::Image};
    MediaCache movieCache{MediaKind::Movie};
    MediaCache soundCache{MediaKind::Sound};
    // Snapshots recorded before each change.
    UndoHistory undoHistory{*this};

private:
    int insertAt(size_t index, std::unique_ptr<DocumentObject> object);
    void forgetObject(const DocumentObject* object);

    bool readSnapshotObjects(std::string_view text);

    std::unique_ptr<Canvas> m_canvas;
    // Set while a snapshot is read: the flags are recomputed once at its end
    // instead of after every object (the result is the same).
    bool m_deferFlags = false;
};

// Resets the process-wide next-due time of the object tick to "due now"
// (tests).
void resetObjectTickClock();

}  // namespace veltro
