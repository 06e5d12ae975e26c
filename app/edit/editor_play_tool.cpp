// The play tool's window side: pointer shapes and redraws.
#include "app/edit/editor_play_tool.h"

#include "app/edit/editor_cursors.h"
#include "document/document.h"
#include "ui/window.h"

namespace veltro {

void EditorPlayTool::show(EditorHost& host, PlayPointer pointer) {
    switch (pointer) {
    case PlayPointer::PointingHand: host.setPointer(kCursorHand); break;
    case PlayPointer::NoEntry: host.setPointer(kCursorNotAllowed); break;
    case PlayPointer::Grip: host.setPointer(fingerGripCursor()); break;
    case PlayPointer::Unchanged: break;
    }
}

void EditorPlayTool::hover(EditorHost& host, int x, int y) {
    Document& document = host.editedDocument();
    DocumentObject* before = document.activeObject;
    const PlayPointer pointer = m_rules.hover(document, x, y);
    if (document.activeObject != before)
        host.redrawPicture();
    show(host, pointer);
}

void EditorPlayTool::down(EditorHost& host, int x, int y, int) {
    Document& document = host.editedDocument();
    const PlayPointer pointer = m_rules.down(document, x, y);
    if (pointer != PlayPointer::Unchanged)
        host.redrawPicture();
    show(host, pointer);
}

void EditorPlayTool::drag(EditorHost& host, int x, int y, int) {
    Document& document = host.editedDocument();
    const PlayPointer pointer = m_rules.drag(document, x, y);
    if (pointer != PlayPointer::Unchanged)
        host.redrawPicture();
    show(host, pointer);
}

void EditorPlayTool::up(EditorHost& host, int, int) {
    m_rules.up(host.editedDocument());
    host.redrawPicture();
}

}  // namespace veltro
