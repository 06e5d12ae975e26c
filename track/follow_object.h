// Following an object of a document's clip and adding its trajectory to the
// document as a new drag-motion path: what the edit window's follow tool and
// veltrotool's publish --follow both do.
#pragma once

#include <string>

#include "track/object_tracker.h"

namespace veltro {

class Document;
class DragMotionObject;
class Progress;

// A point on the object (or a box around it, boxWidth x boxHeight centred on
// the point) in picture pixels of the document, at a document frame; the
// trajectory covers first .. last (either order).
struct FollowRequest {
    int x = 0;
    int y = 0;
    int boxWidth = 0;
    int boxHeight = 0;
    int frame = 0;
    int first = 0;
    int last = 0;
};

struct FollowResult {
    // How tracking went, positions in clip pixels.
    TrackOutcome outcome;
    // The new path's object (owned by the document), or none.
    DragMotionObject* object = nullptr;
    // Why nothing was added; empty when the user stopped.
    std::string error;
};

// Follows the object in the document's clip (its last object) and, when it
// was found in at least two frames of the span, adds the proposed path as a
// new drag-motion object visible over the whole document, drawn as a
// polyline so that its points stay on the object, selected alone, with one
// undo step (pushed just before it is added). Nothing changes when the user
// stops, when tracking fails or when fewer than two frames were tracked;
// false then, with the reason in result.error (empty after a stop).
bool followObject(Document& document, const FollowRequest& request, Progress& progress, FollowResult& result);

}  // namespace veltro
