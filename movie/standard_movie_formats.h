// The one explicit list of the program's movie formats.
#pragma once

namespace veltro {

// Registers, in this order: AVI, QuickTime, the frame store, DirectShow, then
// the format for today's video containers. A format already registered is not
// added again, so calling this twice changes nothing.
void registerStandardMovieFormats();

}  // namespace veltro
