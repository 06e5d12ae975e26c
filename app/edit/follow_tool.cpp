// The follow tool: the pointer side of following an object.
#include "app/edit/follow_tool.h"

#include <algorithm>
#include <cstdlib>

#include "document/document.h"
#include "ui/cursors.h"

namespace veltro {

void FollowTool::down(EditorHost& host, int x, int y, int) {
    m_pressed = true;
    m_x0 = m_x1 = x;
    m_y0 = m_y1 = y;
    host.redrawPicture();
}

void FollowTool::hover(EditorHost& host, int, int) { host.setPointer(kCursorCross); }

void FollowTool::drag(EditorHost& host, int x, int y, int) {
    if (!m_pressed)
        return;
    m_x1 = x;
    m_y1 = y;
    host.redrawPicture();
}

bool FollowTool::box(int& x, int& y, int& width, int& height) const {
    if (!m_pressed || (std::abs(m_x1 - m_x0) < kFollowBoxMinimum && std::abs(m_y1 - m_y0) < kFollowBoxMinimum))
        return false;
    x = std::min(m_x0, m_x1);
    y = std::min(m_y0, m_y1);
    width = std::abs(m_x1 - m_x0) + 1;
    height = std::abs(m_y1 - m_y0) + 1;
    return true;
}

void FollowTool::up(EditorHost& host, int x, int y) {
    if (!m_pressed)
        return;
    m_x1 = x;
    m_y1 = y;
    FollowRequest request;
    int bx = 0, by = 0, bw = 0, bh = 0;
    if (box(bx, by, bw, bh)) {
        request.x = bx + bw / 2;
        request.y = by + bh / 2;
        request.boxWidth = bw;
        request.boxHeight = bh;
    } else {
        request.x = m_x0;
        request.y = m_y0;
    }
    m_pressed = false;
    const Document& document = host.editedDocument();
    request.frame = document.currentFrame;
    request.first = document.newPathFirstFrame;
    request.last = document.newPathLastFrame;
    host.redrawPicture();
    if (onChosen)
        onChosen(request);
}

}  // namespace veltro
