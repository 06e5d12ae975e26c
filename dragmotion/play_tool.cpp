// Playing by dragging: picking the nearest path and projecting the pointer
// onto it, with the hand-over between paths and snapping to flagged frames.
#include "dragmotion/play_tool.h"

#include <cmath>
#include <limits>

#include "document/document.h"
#include "dragmotion/drag_motion_object.h"
#include "dragmotion/path_shape.h"

namespace veltro {

namespace {

DragMotionObject* asDragMotion(DocumentObject* object) {
    if (object == nullptr || object->type() != ObjectType::DragMotion) return nullptr;
    return static_cast<DragMotionObject*>(object);
}

// Rounds a projected frame value to the frame to show, saturating instead of
// overflowing on values no document reaches.
int roundedFrame(double value) {
    const double rounded = std::trunc(value + 0.5);
    if (!(rounded > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(rounded < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(rounded);
}

}  // namespace

DragMotionObject* findObjectAt(Document& document, int x, int y) {
    if (x < 0 || x >= document.width || y < 0 || y >= document.height) return nullptr;
    DragMotionObject* best = nullptr;
    int bestDistance = kFarAway;
    for (const auto& entry : document.objects) {
        DragMotionObject* object = asDragMotion(entry.get());
        if (object == nullptr || object->exported == 0 || !object->visibleAt(document.currentFrame)) continue;
        const int d = object->distanceFrom(x, y);
        if (object->distance > 0 && d > object->distance) continue;
        if (d < bestDistance) {
            best = object;
            bestDistance = d;
        }
    }
    return best;
}

PlayPointer PlayTool::hover(Document& document, int x, int y) {
    DragMotionObject* found = findObjectAt(document, x, y);
    if (found != nullptr) {
        document.activeObject = found;
        return PlayPointer::PointingHand;
    }
    document.activeObject = nullptr;
    return PlayPointer::NoEntry;
}

PlayPointer PlayTool::down(Document& document, int x, int y) {
    document.dragging = true;
    return drag(document, x, y);
}

PlayPointer PlayTool::drag(Document& document, int x, int y) {
    DragMotionObject* active = asDragMotion(document.activeObject);
    if (active == nullptr) return PlayPointer::Unchanged;
    double frame = document.currentFrame;

    // The picked path has left the view (its ranges end before the current
    // frame): another path under the pointer takes the drag.
    if (!active->visibleAt(document.currentFrame)) {
        DragMotionObject* other = findObjectAt(document, x, y);
        if (other != nullptr && other != active) {
            document.activeObject = other;
            other->path.project(x, y, &frame);
            active = other;
        }
    }

    int segment = 0;
    active->path.project(x, y, &frame, nullptr, &segment);
    if (segment == 0) segment = 1;

    const PathPoint* end = active->path.point(segment);
    if (end != nullptr && end->handOver()) {
        DragMotionObject* other = findObjectAt(document, x, y);
        if (other != nullptr && other != document.activeObject) {
            document.activeObject = other;
            other->path.project(x, y, &frame);
        }
    }

    document.seekFlaggedFrame(roundedFrame(frame));
    return PlayPointer::Grip;
}

void PlayTool::up(Document& document) { document.dragging = false; }

}  // namespace veltro
