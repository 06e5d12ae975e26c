// veltrotool subcommands for documents: a snapshot round trip a user can run
// on a text, and rendering a document's canvas at a frame to PNG.
#pragma once

#include "tools/commands.h"

namespace veltro::tool {

// snapshot FILE: reads the snapshot text into a document and writes the
// document's snapshot back to standard output. Exit 0 when the text read
// completely, 1 otherwise (the message names the file).
int runSnapshot(const Args& args);
// render SNAPSHOT OUT.png [--frame F]: reads the snapshot, shows frame F (0
// unless given) and writes the canvas as PNG; prints "WIDTHxHEIGHT frame F".
int runRender(const Args& args);

}  // namespace veltro::tool
