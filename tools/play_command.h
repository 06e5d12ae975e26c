// veltrotool play: replays a pointer drag on a published page without a
// window, through the same play tool the edit window uses, so the browser
// viewer can be checked against it.
#pragma once

#include "tools/commands.h"

namespace veltro::tool {

// play PAGE --drag "x,y x,y ...": reopens PAGE/veltro.txt (PAGE may also name
// the file itself), presses at the first position, drags through the others
// and releases; prints the current frame after each position, one decimal
// number per line. Exit 1 with a message for a page that cannot be read or a
// malformed drag.
int runPlay(const Args& args);

}  // namespace veltro::tool
