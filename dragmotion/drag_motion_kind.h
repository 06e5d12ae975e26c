// Entry of the drag-motion kind (type 2) in the document's table of object
// kinds, so snapshots and undo can create drag-motion objects without the
// document module depending on this one.
#pragma once

namespace veltro {

// Registers the drag-motion object kind; start-up, veltrotool and tests call
// it once before reading documents (calling it again is harmless).
void registerDragMotionObjectKind();

}  // namespace veltro
