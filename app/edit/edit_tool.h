// Editing what is on the picture: selecting, moving and resizing objects,
// dragging path vertices, inserting a vertex on a selected path's segment,
// toggling a segment's hand-over, and dropping a vertex onto a neighbour to
// merge them. Wherever the pointer is over nothing editable it plays the
// clip instead.
#pragma once

#include "app/edit/editor_play_tool.h"
#include "app/edit/editor_tool.h"

namespace veltro {

class DocumentObject;

// How close, in pixels, the pointer must come to a vertex, segment or edge.
inline constexpr int kEditTolerance = 4;

class EditTool : public EditorTool {
public:
    // Finds what lies under the pointer and shows its pointer shape (corners,
    // move, vertex, segment); elsewhere the play tool's hover.
    void hover(EditorHost& host, int x, int y) override;
    // Picks the object under the pointer, changes the selection or the
    // segment as the press asks (Ctrl toggles), then records one undo
    // snapshot, so undo after the drag restores the state before the move.
    void down(EditorHost& host, int x, int y, int modifiers) override;
    // Moves the picked vertex (Shift: horizontal, vertical or diagonal from
    // its neighbour) or moves / resizes every selected object (Shift keeps
    // the natural aspect).
    void drag(EditorHost& host, int x, int y, int modifiers) override;
    // Ends the edit; a vertex dropped onto another one merges with it.
    void up(EditorHost& host, int x, int y) override;

private:
    // The first editable object hit at (x, y): the selected ones first, then
    // those visible now, in list order. Sets m_target, m_code and m_index.
    void findTarget(Document& document, int x, int y);
    // The target while the document still holds it.
    DocumentObject* target(Document& document);
    void dragVertex(DocumentObject& object, int x, int y, int modifiers);
    void dragSelection(Document& document, int x, int y, int modifiers);

    DocumentObject* m_target = nullptr;
    int m_code = 0;
    int m_index = -1;
    int m_lastX = 0;
    int m_lastY = 0;
    EditorPlayTool m_play;
};

}  // namespace veltro
