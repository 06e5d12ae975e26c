// The edit tool: hit codes, selection, vertex and object dragging.
#include "app/edit/edit_tool.h"

#include <algorithm>
#include <cstdlib>

#include "document/document.h"
#include "dragmotion/drag_motion_object.h"
#include "ui/window.h"

namespace veltro {

namespace {

bool editable(const DocumentObject& object) { return object.flagL == 0 && object.exported != 0; }

DragMotionObject* asDragMotion(DocumentObject* object) {
    if (object == nullptr || object->type() != ObjectType::DragMotion)
        return nullptr;
    return static_cast<DragMotionObject*>(object);
}

int pointerFor(int code) {
    switch (code) {
    case kHitTopLeft:
    case kHitBottomRight: return kCursorSizeUpLeft;
    case kHitTopRight:
    case kHitBottomLeft: return kCursorSizeUpRight;
    case kHitMove: return kCursorMove;
    case kHitVertex: return kCursorPointer;
    case kHitSegment: return kCursorCross;
    default: return kCursorPointer;
    }
}

}  // namespace

DocumentObject* EditTool::target(Document& document) {
    if (m_target != nullptr && document.indexOf(m_target) < 0)
        m_target = nullptr;
    return m_target;
}

void EditTool::findTarget(Document& document, int x, int y) {
    m_target = nullptr;
    m_code = kHitNone;
    m_index = -1;
    auto tryObject = [&](DocumentObject& object) {
        if (!editable(object))
            return false;
        int index = -1;
        const int code = object.hitTest(x, y, kEditTolerance, index);
        if (code == kHitNone)
            return false;
        m_target = &object;
        m_code = code;
        m_index = index;
        return true;
    };
    for (const auto& object : document.objects)
        if (object->selected && tryObject(*object))
            return;
    for (const auto& object : document.objects)
        if (object->visibleAt(document.currentFrame) && tryObject(*object))
            return;
}

void EditTool::hover(EditorHost& host, int x, int y) {
    findTarget(host.editedDocument(), x, y);
    if (m_target == nullptr) {
        m_play.hover(host, x, y);
        return;
    }
    host.setPointer(pointerFor(m_code));
}

void EditTool::down(EditorHost& host, int x, int y, int modifiers) {
    Document& document = host.editedDocument();
    // The press decides on what lies under it now: a key (undo) or a redraw
    // may have changed the document since the last hover.
    findTarget(document, x, y);
    DocumentObject* object = m_target;
    if (object == nullptr) {
        m_play.down(host, x, y, modifiers);
        return;
    }
    document.dragging = true;
    m_lastX = x;
    m_lastY = y;
    const bool control = (modifiers & kToolControl) != 0;
    if (m_code == kHitVertex) {
        document.selectAll(false);
        object->selected = true;
    } else if (m_code == kHitSegment) {
        DragMotionObject* dm = asDragMotion(object);
        PathPoint* end = dm != nullptr ? dm->path.point(m_index) : nullptr;
        if (end == nullptr) {
            // Only drag-motion objects answer with segments.
        } else if (control) {
            end->flags ^= kPathHandOverFlag;
        } else if (object->selected) {
            double frame = 0.0;
            dm->path.project(x, y, &frame);
            PathPoint inserted;
            inserted.x = x;
            inserted.y = y;
            inserted.frame = static_cast<int>(frame);
            inserted.flags = end->flags & kPathHandOverFlag;
            if (dm->path.insert(inserted, m_index)) {
                dm->path.computeNormals();
                m_code = kHitVertex;
            }
        } else {
            document.selectAll(false);
            object->selected = true;
        }
    } else if (control) {
        object->selected = !object->selected;
    } else {
        bool hitsSelection = false;
        for (const auto& other : document.objects) {
            int index = -1;
            if (other->selected && other->hitTest(x, y, kEditTolerance, index) != kHitNone) {
                hitsSelection = true;
                break;
            }
        }
        if (document.selectedCount() < 2 || !hitsSelection)
            document.selectAll(false);
        object->selected = true;
    }
    host.redrawPicture();
    document.undoHistory.push();
}

void EditTool::dragVertex(DocumentObject& object, int x, int y, int modifiers) {
    DragMotionObject* dm = asDragMotion(&object);
    if (dm == nullptr)
        return;
    PathPoint* vertex = dm->path.point(m_index);
    if (vertex == nullptr)
        return;
    if ((modifiers & kToolShift) != 0) {
        const PathPoint* neighbour = dm->path.point(m_index == 0 ? 1 : m_index - 1);
        if (neighbour != nullptr) {
            const int nx = neighbour->x;
            const int ny = neighbour->y;
            const int f = std::abs(nx - x);
            const int h = std::abs(ny - y);
            if (h / 2 < f) {
                if (f / 2 >= h)
                    y = ny;  // horizontal
                else
                    y = y < ny ? ny - f : ny + f;  // diagonal
            } else {
                x = nx;  // vertical
            }
        }
    }
    vertex->x = x;
    vertex->y = y;
    dm->fitRectToPath();
}

void EditTool::dragSelection(Document& document, int x, int y, int modifiers) {
    const int dx = x - m_lastX;
    const int dy = y - m_lastY;
    m_lastX = x;
    m_lastY = y;
    for (const auto& object : document.objects) {
        if (!object->selected)
            continue;
        int nx = object->x;
        int ny = object->y;
        int nw = object->w;
        int nh = object->h;
        switch (m_code) {
        case kHitTopLeft: nx += dx; ny += dy; nw -= dx; nh -= dy; break;
        case kHitTopRight: ny += dy; nw += dx; nh -= dy; break;
        case kHitBottomLeft: nx += dx; nw -= dx; nh += dy; break;
        case kHitBottomRight: nw += dx; nh += dy; break;
        default: object->setPosition(nx + dx, ny + dy); continue;
        }
        if (nw < 1)
            nw = 1;
        if (nh < 1)
            nh = 1;
        if ((modifiers & kToolShift) != 0 && nw > 0) {
            int naturalW = 0;
            int naturalH = 0;
            object->naturalSize(naturalW, naturalH);
            if (naturalW > 0 && naturalH > 0)
                nh = std::max(1, static_cast<int>(static_cast<long long>(naturalH) * nw / naturalW));
        }
        object->setRect(nx, ny, nw, nh);
    }
}

void EditTool::drag(EditorHost& host, int x, int y, int modifiers) {
    Document& document = host.editedDocument();
    DocumentObject* object = target(document);
    if (object == nullptr) {
        m_play.drag(host, x, y, modifiers);
        return;
    }
    if (m_code == kHitVertex)
        dragVertex(*object, x, y, modifiers);
    else
        dragSelection(document, x, y, modifiers);
    host.redrawPicture();
}

void EditTool::up(EditorHost& host, int x, int y) {
    Document& document = host.editedDocument();
    DocumentObject* object = target(document);
    if (object == nullptr) {
        m_play.up(host, x, y);
        return;
    }
    document.dragging = false;
    if (m_code == kHitVertex) {
        if (DragMotionObject* dm = asDragMotion(object)) {
            // The vertex is merged where it shows, which differs from the
            // pointer when Shift held it on a line.
            if (const PathPoint* vertex = dm->path.point(m_index)) {
                x = vertex->x;
                y = vertex->y;
            }
            dm->path.mergeDropped(x, y, m_index);
            dm->path.computeNormals();
            dm->fitRectToPath();
        }
    }
    m_target = nullptr;
    host.redrawPicture();
}

}  // namespace veltro
