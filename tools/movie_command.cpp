// veltrotool info and frames over the standard movie formats.
#include "tools/movie_command.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "image/image_format.h"
#include "movie/movie_format.h"
#include "tools/command_options.h"

namespace veltro::tool {

namespace {

MovieReaderPtr openForTool(const std::string& path, const MovieFormat** format) {
    return openMovie(path, format);
}

}  // namespace

int runInfo(const Args& commandLine) {
    CommandOptions options("info", "Prints a movie's format, frame count, rate and size as JSON.");
    options.argument("MOVIE", "The movie file, frame list or frame store index.");
    if (std::optional<int> status = options.parse(commandLine))
        return *status;
    const Args& args = options.arguments();
    if (args.size() != 1)
        return fail("usage: info MOVIE");
    const MovieFormat* format = nullptr;
    MovieReaderPtr reader = openForTool(args[0], &format);
    if (!reader)
        return fail("cannot open movie \"" + args[0] + "\"" + (movieError().empty() ? "" : ": " + movieError()));
    printJson({{"format", jsonText(format->description())},
               {"frames", reader->frameCount},
               {"rate", reader->frameRate},
               {"width", reader->frame ? reader->frame->width : 0},
               {"height", reader->frame ? reader->frame->height : 0}},
              false);
    return 0;
}

int runFrames(const Args& commandLine) {
    CommandOptions options("frames", "Writes frames A, A+N, ... B of a movie as OUTDIR/frame%05d.png and prints "
                                     "each file name.");
    options.argument("MOVIE", "The movie file, frame list or frame store index.")
        .argument("OUTDIR", "The directory to write into (made when missing).")
        .value("from", "A", "First frame (default 0).")
        .value("to", "B", "Last frame (default, or when negative: the movie's last).")
        .value("every", "N", "Step between the frames written (default 1).");
    if (std::optional<int> status = options.parse(commandLine))
        return *status;
    const Args& args = options.arguments();
    if (args.size() != 2)
        return fail("usage: frames MOVIE OUTDIR [--from A] [--to B] [--every N]");
    int from = 0, to = -1, every = 1;
    std::string message;
    if (!options.integer("from", 0, INT_MAX, from, message) || !options.integer("to", INT_MIN, INT_MAX, to, message) ||
        !options.integer("every", 1, INT_MAX, every, message))
        return fail(message);
    MovieReaderPtr reader = openForTool(args[0], nullptr);
    if (!reader)
        return fail("cannot open movie \"" + args[0] + "\"" + (movieError().empty() ? "" : ": " + movieError()));
    const std::filesystem::path directory = args[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!std::filesystem::is_directory(directory))
        return fail("cannot create directory \"" + args[1] + "\"");
    ImageFormat* png = findImageFormat("frame.png");
    if (!png)
        return fail("no PNG writer");
    const int last = to < 0 || to >= reader->frameCount ? reader->frameCount - 1 : to;
    if (from > last)
        return fail("no frames in that range: \"" + args[0] + "\" has frames 0 to " +
                    std::to_string(reader->frameCount - 1));
    int status = 0;
    for (int64_t index = from; index <= last; index += every) {
        char name[32];
        std::snprintf(name, sizeof name, "frame%05d.png", static_cast<int>(index));
        const std::string file = (directory / name).string();
        const ImageBuffer* image = reader->frameAt(static_cast<int>(index));
        if (!image) {
            std::fprintf(stderr, "veltrotool: frame %d cannot be decoded\n", static_cast<int>(index));
            status = 1;
        } else if (!png->save(file, *image)) {
            std::fprintf(stderr, "veltrotool: cannot write \"%s\"\n", file.c_str());
            status = 1;
        } else {
            std::printf("%s\n", file.c_str());
        }
    }
    return status;
}

}  // namespace veltro::tool
