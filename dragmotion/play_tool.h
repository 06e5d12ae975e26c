// The window-free core of playing a clip by dragging: which drag-motion path
// the pointer picks, and how a pointer drag along it becomes the current
// frame. The edit window routes its pointer events here; veltrotool replays
// drags on published pages through the same code.
#pragma once

namespace veltro {

class Document;
class DragMotionObject;

// The pointer shape a play gesture asks for.
enum class PlayPointer {
    Unchanged,     // nothing to change (no document, no path to drag)
    PointingHand,  // over a path that can be dragged
    NoEntry,       // over nothing that plays
    Grip,          // while dragging a path
};

// The exported drag-motion object visible at the current frame whose path (or
// thumbnail) lies nearest to (x, y) within its capture distance; the first in
// list order on ties. None outside the picture or in a document without objects.
DragMotionObject* findObjectAt(Document& document, int x, int y);

// Turns pointer events on the picture into frames. It keeps no state of its
// own: the picked path is the document's activeObject and the drag state its
// dragging flag. Every operation returns the pointer shape to show; the
// caller redraws after each one.
class PlayTool {
public:
    // Picks the path under the pointer as the active one, or clears it.
    PlayPointer hover(Document& document, int x, int y);
    // Starts a drag and plays the position pressed.
    PlayPointer down(Document& document, int x, int y);
    // Moves the active path's frame to the pointer and shows the nearest
    // flagged frame at or before it; a segment marked as hand-over lets
    // another path under the pointer take over.
    PlayPointer drag(Document& document, int x, int y);
    // Ends the drag.
    void up(Document& document);
};

}  // namespace veltro
