// Following an object from the command line.
#include "tools/track_command.h"

#include <cstdio>
#include <cstdlib>

#include "document/document.h"
#include "image/image_format.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"
#include "tools/terminal_progress.h"
#include "track/follow_object.h"
#include "track/follow_path.h"
#include "track/object_tracker.h"

namespace veltro::tool {

namespace {

// "a,b" into two integers within the bounds; false on anything else.
bool parsePair(const std::string& text, int low, int high, int& a, int& b) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    auto number = [&](const std::string& part, int& out) {
        char* end = nullptr;
        const long value = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || value < low || value > high)
            return false;
        out = static_cast<int>(value);
        return true;
    };
    return number(text.substr(0, comma), a) && number(text.substr(comma + 1), b);
}

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
    std::string movie;
    int x = -1, y = -1, boxW = 0, boxH = 0, first = -1, last = -1, frame = -1;
    bool haveAt = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == "--at")
            ok = haveAt = hasValue && parsePair(args[++i], 0, kMaxImageDimension, x, y);
        else if (a == "--box")
            ok = hasValue && parsePair(args[++i], 1, kMaxImageDimension, boxW, boxH);
        else if (a == "--first" || a == "--last" || a == "--frame") {
            int& out = a == "--first" ? first : a == "--last" ? last : frame;
            char* end = nullptr;
            const long value = hasValue ? std::strtol(args[++i].c_str(), &end, 10) : -1;
            ok = hasValue && !args[i].empty() && *end == '\0' && value >= 0 && value <= kMaxDocumentLength;
            out = static_cast<int>(value);
        } else if (movie.empty() && !a.empty() && a[0] != '-')
            movie = a;
        else
            ok = false;
        if (!ok)
            return fail("bad argument \"" + a + "\"\n" + usage);
    }
    if (movie.empty() || !haveAt || first < 0 || last < 0)
        return fail(usage);
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
    if (!parsePair(at, 0, kMaxImageDimension, request.x, request.y)) {
        message = "--follow needs a point \"x,y\"";
        return false;
    }
    if (!box.empty() && !parsePair(box, 1, kMaxImageDimension, request.boxWidth, request.boxHeight)) {
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
