// Playing the clip by dragging along its paths, in the edit window: the
// window-free play rules of dragmotion/play_tool.h with the pointer shapes
// and redraws of a window around them.
#pragma once

#include "app/edit/editor_tool.h"
#include "dragmotion/play_tool.h"

namespace veltro {

class EditorPlayTool : public EditorTool {
public:
    // Picks the path under the pointer (redrawing when the pick changed):
    // the pointing hand over a path, the no-entry sign elsewhere.
    void hover(EditorHost& host, int x, int y) override;
    // Starts dragging the picked path and shows its frame under the pointer.
    void down(EditorHost& host, int x, int y, int modifiers) override;
    // Shows the flagged frame the pointer has reached along the path, with
    // the grip pointer.
    void drag(EditorHost& host, int x, int y, int modifiers) override;
    // Ends the drag.
    void up(EditorHost& host, int x, int y) override;

private:
    void show(EditorHost& host, PlayPointer pointer);

    PlayTool m_rules;
};

}  // namespace veltro
