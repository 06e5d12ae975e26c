// Following an object from the command line.
#include "tools/track_command.h"

#include <cstdio>
#include <optional>

#include "document/document.h"
#include "image/image_format.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"
#include "tools/command_options.h"
#include "tools/terminal_progress.h"
#include "track/follow_object.h"
#include "track/follow_path.h"
#include "track/object_tracker.h"

namespace veltro::tool {

namespace {

const char* endText(TrackEnd end) {
    switch (end) {
    case TrackEnd::Left: return "left the picture";
    case TrackEnd::Unreadable: return "could not be read";
    default: return "was lost";
    }
}

// A note on stderr for each direction that did not reach its end.
void reportEnds(const TrackOutcome& outcome) {
    if (outcome.points.empty())
        return;
    if (outcome.backwardEnd != TrackEnd::Reached && outcome.backwardEnd != TrackEnd::Stopped)
        std::fprintf(stderr, "veltrotool: going back, the object %s at frame %d; the path starts at frame %d\n",
                     endText(outcome.backwardEnd), outcome.backwardMissed, outcome.points.front().frame);
    if (outcome.forwardEnd != TrackEnd::Reached && outcome.forwardEnd != TrackEnd::Stopped)
        std::fprintf(stderr, "veltrotool: the object %s at frame %d; the path ends at frame %d\n",
                     endText(outcome.forwardEnd), outcome.forwardMissed, outcome.points.back().frame);
}

}  // namespace

int runTrack(const Args& args) {
    const char* usage = "usage: veltrotool track MOVIE --at x,y [--box w,h] --first F --last L [--frame S]";
    CommandOptions options("track", "Follows the object at x,y of frame S through frames F to L and prints its "
                                    "path, one \"x,y,frame\" line per point.");
    options.argument("MOVIE", "The movie file.")
        .value("at", "x,y", "A point on the object, in the movie's own pixels (required).")
        .value("box", "w,h", "Size of the box around the object (default: a square sized from the picture).")
        .value("first", "F", "First frame to follow through (required).")
        .value("last", "L", "Last frame to follow through (required).")
        .value("frame", "S", "The frame the point lies on (default F); between F and L the object is "
                             "followed both ways.");
    if (std::optional<int> status = options.parse(args))
        return *status;
    int x = -1, y = -1, boxW = 0, boxH = 0, first = -1, last = -1, frame = -1;
    std::string message;
    if (!options.pair("at", 0, kMaxImageDimension, x, y, message) ||
        !options.pair("box", 1, kMaxImageDimension, boxW, boxH, message) ||
        !options.integer("first", 0, kMaxDocumentLength, first, message) ||
        !options.integer("last", 0, kMaxDocumentLength, last, message) ||
        !options.integer("frame", 0, kMaxDocumentLength, frame, message))
        return fail(message);
    if (options.arguments().size() != 1 || options.arguments()[0].empty() || !options.isSet("at") || first < 0 ||
        last < 0)
        return fail(usage);
    const std::string& movie = options.arguments()[0];
    registerStandardImageFormats();
    registerStandardMovieFormats();
    MovieReaderPtr reader = openMovie(movie);
    if (!reader)
        return fail("cannot open \"" + movie + "\" as a movie");
    if (first >= reader->frameCount || last >= reader->frameCount)
        return fail("the movie has " + std::to_string(reader->frameCount) + " frames");
    if (frame < 0)
        frame = first;
    if (frame >= reader->frameCount)
        return fail("the movie has " + std::to_string(reader->frameCount) + " frames");

    TerminalProgress progress;
    progress.begin("Following");
    TrackOutcome outcome;
    std::string error;
    const bool tracked = trackObject([&](int f) { return reader->frameAt(f); }, reader->frameCount,
                                     {static_cast<double>(x), static_cast<double>(y), boxW, boxH, frame}, first, last,
                                     progress, outcome, &error);
    progress.end();
    if (!tracked)
        return fail("cannot follow: " + error);
    reportEnds(outcome);
    DragPath path;
    if (!followPath(outcome.points, 1.0, 1.0, path))
        return fail("the object could not be followed over two frames");
    for (const PathPoint& p : path.points())
        std::printf("%d,%d,%d\n", p.x, p.y, p.frame);
    return 0;
}

bool addFollowedPath(Document& document, const std::string& at, const std::string& box, std::string& message) {
    FollowRequest request;
    if (!parseIntegerPair(at, 0, kMaxImageDimension, request.x, request.y)) {
        message = "--follow needs a point \"x,y\"";
        return false;
    }
    if (!box.empty() && !parseIntegerPair(box, 1, kMaxImageDimension, request.boxWidth, request.boxHeight)) {
        message = "--box needs a size \"w,h\"";
        return false;
    }
    if (request.x >= document.width || request.y >= document.height) {
        message = "the point to follow lies outside the " + std::to_string(document.width) + "x" +
                  std::to_string(document.height) + " picture";
        return false;
    }
    request.frame = document.newPathFirstFrame;
    request.first = document.newPathFirstFrame;
    request.last = document.newPathLastFrame;
    TerminalProgress progress;
    progress.begin("Following");
    FollowResult result;
    const bool followed = followObject(document, request, progress, result);
    progress.end();
    if (!followed) {
        message = "cannot follow: " + result.error;
        return false;
    }
    reportEnds(result.outcome);
    return true;
}

}  // namespace veltro::tool
