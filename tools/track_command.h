// veltrotool track: follows a moving object through a movie and prints the
// drag path proposed from its trajectory; and the following step of
// veltrotool publish --follow.
#pragma once

#include <string>

#include "tools/commands.h"

namespace veltro {
class Document;
}

namespace veltro::tool {

// track MOVIE --at x,y [--box w,h] --first F --last L [--frame S]: follows the
// object under the point (x, y) of frame S (default F), in the movie's own
// pixels, through frames F .. L (both ways when S lies between them) and
// prints the proposed path, one "x,y,frame" line per point. When the object
// is lost the path ends at the last frame it was surely found in and a note
// says so on stderr. Exit 1 with a message when nothing could be followed.
int runTrack(const Args& args);

// publish --follow x,y [--box w,h]: follows the object under (x, y) (picture
// coordinates, as --path) from the document's first marked frame through its
// marked span and adds the path as the drawn one would be. False with a
// message when it cannot.
bool addFollowedPath(Document& document, const std::string& at, const std::string& box, std::string& message);

}  // namespace veltro::tool
