// veltrotool subcommands for frame stores: encode a clip, decode every
// position to PNG, and show an index as JSON.
#pragma once

#include "tools/commands.h"

namespace veltro::tool {

// encode SOURCE INDEX [--size WxH] [--step S] [--quality Q] [--diff-quality Q]
// [--flags F] [--adaptive-keys]: opens SOURCE as a movie and writes a frame
// store to INDEX; --adaptive-keys stores a difference frame as a key frame
// where that costs fewer bytes.
// Prints "positions=P entries=E bytes=B" (B: all files written). Exit 0 when
// every position was stored.
int runEncode(const Args& args);
// decode INDEX OUTDIR: writes position p's frame as OUTDIR/frame%05d.png and
// prints "frames=P WIDTHxHEIGHT".
int runDecode(const Args& args);
// framelist OUT IMAGE...: saves the images as a frame list file exactly as
// the frame-list dialog does (paths made absolute, header from the first
// image) and prints "frames=N WIDTHxHEIGHT". Nothing is written on failure.
int runFrameList(const Args& args);
// inspect INDEX: prints the unescaped index as JSON (header, entries, block numbers).
int runInspect(const Args& args);

}  // namespace veltro::tool
