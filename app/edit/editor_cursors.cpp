// Image cursors of the editor tools.
#include "app/edit/editor_cursors.h"

#include "services/resources.h"
#include "ui/window.h"

namespace veltro {

namespace {

int imageCursor(const char* name, int fallback) {
    const ImageBuffer* image = resources().image(name);
    return image != nullptr ? addImageCursor(*image, 0, 0) : fallback;
}

}  // namespace

int drawPathCursor() {
    static const int index = imageCursor("cdrawpath.png", kCursorCross);
    return index;
}

int fingerGripCursor() {
    static const int index = imageCursor("cfingergrip.png", kCursorHand);
    return index;
}

}  // namespace veltro
