// The draw tool: a stroke on the picture becomes a drag-motion path.
#include "app/edit/draw_path_tool.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "app/edit/editor_cursors.h"
#include "document/document.h"
#include "dragmotion/drag_motion_object.h"
#include "services/resources.h"

namespace veltro {

DragMotionObject* DrawPathTool::stroke(EditorHost& host) {
    // Undo rebuilds the document's objects, so the stroke is only used while
    // the document still holds it.
    if (m_stroke != nullptr && host.editedDocument().indexOf(m_stroke) < 0)
        m_stroke = nullptr;
    return m_stroke;
}

void DrawPathTool::down(EditorHost& host, int x, int y, int) {
    Document& document = host.editedDocument();
    document.dragging = true;
    if (document.length <= 0) {
        host.tellUser(resources().text("e_gen_dm"));
        return;
    }
    auto object = std::make_unique<DragMotionObject>(document);
    document.undoHistory.push();
    object->path.append(x, y, 0, 1);
    object->ranges.assign(1, FrameRange{0, document.length - 1});
    m_stroke = object.get();
    document.insertObject(std::move(object));
    document.selectAll(false);
    m_stroke->selected = true;
    host.redrawPicture();
}

void DrawPathTool::hover(EditorHost& host, int, int) { host.setPointer(drawPathCursor()); }

void DrawPathTool::drag(EditorHost& host, int x, int y, int) {
    DragMotionObject* object = stroke(host);
    if (object == nullptr)
        return;
    object->path.append(x, y, 0, 1);
    host.redrawPicture();
}

void DrawPathTool::up(EditorHost& host, int x, int y) {
    Document& document = host.editedDocument();
    document.dragging = false;
    DragMotionObject* object = stroke(host);
    if (object == nullptr)
        return;
    drag(host, x, y, 0);
    const int first = std::min(document.newPathFirstFrame, document.newPathLastFrame);
    const int span = std::abs(document.newPathLastFrame - document.newPathFirstFrame);
    DragPath& path = object->path;
    path.distributeFrames(first, span);
    path.simplify(kStrokeSimplifyDistance);
    path.distributeFrames(first, span);
    path.computeNormals();
    object->fitRectToPath();
    m_stroke = nullptr;
    document.recomputeFlags();
    document.setEditing(true);
    host.redrawPicture();
}

}  // namespace veltro
