// Following a moving object instead of drawing its path: a click on the
// object (or a box dragged around it) hands the point and box to the window,
// which follows the object through the marked frames and proposes its path.
#pragma once

#include <functional>

#include "app/edit/editor_tool.h"
#include "track/follow_object.h"

namespace veltro {

// A drag shorter than this (either side, picture pixels) is a click.
inline constexpr int kFollowBoxMinimum = 8;

class FollowTool : public EditorTool {
public:
    // Called on release with the point (the click, or the box's centre) and
    // the box; frame and span are filled from the document.
    std::function<void(const FollowRequest&)> onChosen;

    void down(EditorHost& host, int x, int y, int modifiers) override;
    // The cross pointer.
    void hover(EditorHost& host, int x, int y) override;
    // Stretches the box from the press point.
    void drag(EditorHost& host, int x, int y, int modifiers) override;
    void up(EditorHost& host, int x, int y) override;

    // The box being dragged, while it is larger than a click.
    bool box(int& x, int& y, int& width, int& height) const;

private:
    bool m_pressed = false;
    int m_x0 = 0;
    int m_y0 = 0;
    int m_x1 = 0;
    int m_y1 = 0;
};

}  // namespace veltro
