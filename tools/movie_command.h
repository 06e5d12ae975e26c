// veltrotool info and frames: what a movie file holds, and its frames as
// pictures, through the same movie formats the program uses.
#pragma once

#include "tools/commands.h"

namespace veltro::tool {

// "info MOVIE": one JSON object {"format", "frames", "rate", "width",
// "height"} on stdout; the exit status.
int runInfo(const Args& args);
// "frames MOVIE OUTDIR [--from A] [--to B] [--every N]": writes frames A, A + N,
// ... up to B as OUTDIR/frame%05d.png (by source index), printing each file
// name written; the exit status (1 when any frame could not be written).
int runFrames(const Args& args);

}  // namespace veltro::tool
