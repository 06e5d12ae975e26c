// Drawing a new drag-motion path: the stroke from press to release becomes a
// path whose points are spread evenly, in drawing order, over the frames
// between the two marked frames of the document, so the direction of drawing
// is the direction of playing.
#pragma once

#include "app/edit/editor_tool.h"

namespace veltro {

class DragMotionObject;

class DrawPathTool : public EditorTool {
public:
    // Starts a new path at (x, y): one undo snapshot, then the new object,
    // visible over the whole document, goes in front of the selection and
    // becomes the only selected object.
    void down(EditorHost& host, int x, int y, int modifiers) override;
    // The pen pointer.
    void hover(EditorHost& host, int x, int y) override;
    // Adds the pointer position to the stroke.
    void drag(EditorHost& host, int x, int y, int modifiers) override;
    // Adds the release point and turns the stroke into the finished path:
    // frames spread over the marked span, corners cleaned, frames spread
    // again, normals and rectangle fitted; then the document's frame flags
    // follow the new path and editing aids are shown.
    void up(EditorHost& host, int x, int y) override;

private:
    // The object of the stroke in progress, while the document still holds it.
    DragMotionObject* stroke(EditorHost& host);

    DragMotionObject* m_stroke = nullptr;
};

// Closest distance between kept points of a freshly drawn stroke, in pixels.
inline constexpr int kStrokeSimplifyDistance = 32;

}  // namespace veltro
