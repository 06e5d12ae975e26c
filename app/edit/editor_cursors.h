// The pointer pictures of the editor tools, made once per run from the
// resource images and kept in the window layer's cursor table.
#pragma once

namespace veltro {

// The pen shown while the draw tool is active ("cdrawpath.png", hot spot at
// its top-left corner); the cross when the picture is missing.
int drawPathCursor();
// The grip shown while a path is dragged ("cfingergrip.png", hot spot at its
// top-left corner); the pointing hand when the picture is missing.
int fingerGripCursor();

}  // namespace veltro
