// The factory behind the drag-motion entry of the object kinds table.
#include "dragmotion/drag_motion_kind.h"

#include <memory>

#include "document/object_kinds.h"
#include "dragmotion/drag_motion_object.h"

namespace veltro {

namespace {

std::unique_ptr<DocumentObject> makeDragMotionObject(Document& document) {
    return std::make_unique<DragMotionObject>(document);
}

}  // namespace

void registerDragMotionObjectKind() {
    registerObjectKind(static_cast<int>(ObjectType::DragMotion), makeDragMotionObject);
}

}  // namespace veltro
