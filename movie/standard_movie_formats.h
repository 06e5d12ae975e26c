// The one explicit list of the program's movie formats, and the one start-up
// call that registers every image and movie format the programs use.
#pragma once

namespace veltro {

// Registers, in this order: AVI, QuickTime, the frame store, DirectShow, then
// the format for today's video containers. A format already registered is not
// added again, so calling this twice changes nothing.
void registerStandardMovieFormats();

// Start-up of every program (veltrotool, veltrolt): registers the image
// formats, PNG then JPEG, and then the movie formats in the order above.
// Called once, before anything opens a file; it does not look at what the
// registries already hold.
void registerStandardFormats();

}  // namespace veltro
