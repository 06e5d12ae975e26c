// veltrotool devices and record: the capture devices, and a recording made
// without a window through the same capture code as the program's window.
#pragma once

#include "tools/commands.h"

namespace veltro::tool {

// "devices": one line per capture device, "NAME<TAB>description"; NAME is
// what record's --device takes. The exit status.
int runDevices(const Args& args);
// "record OUT.avi --seconds S [--device NAME] [--rate R]": records S seconds
// from the named device (the first one listed by default) at R frames per
// second (default 15) into OUT.avi; prints one JSON line with the frames
// written and whether sound was recorded. The exit status.
int runRecord(const Args& args);

}  // namespace veltro::tool
