// veltrotool info and frames over the standard movie formats.
#include "tools/movie_command.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "image/image_format.h"
#include "movie/movie_format.h"

namespace veltro::tool {

namespace {

bool parseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end;
}

MovieReaderPtr openForTool(const std::string& path, const MovieFormat** format) {
    return openMovie(path, format);
}

}  // namespace

int runInfo(const Args& args) {
    if (args.size() != 1)
        return fail("usage: info MOVIE");
    const MovieFormat* format = nullptr;
    MovieReaderPtr reader = openForTool(args[0], &format);
    if (!reader)
        return fail("cannot open movie \"" + args[0] + "\"" + (movieError().empty() ? "" : ": " + movieError()));
    std::printf("{\"format\": %s, \"frames\": %d, \"rate\": %.10g, \"width\": %d, \"height\": %d}\n",
                jsonString(format->description()).c_str(), reader->frameCount, reader->frameRate,
                reader->frame ? reader->frame->width : 0, reader->frame ? reader->frame->height : 0);
    return 0;
}

int runFrames(const Args& args) {
    if (args.size() < 2)
        return fail("usage: frames MOVIE OUTDIR [--from A] [--to B] [--every N]");
    int from = 0, to = -1, every = 1;
    for (size_t i = 2; i < args.size(); i += 2) {
        int* target = args[i] == "--from" ? &from : args[i] == "--to" ? &to
                                                  : args[i] == "--every" ? &every : nullptr;
        if (!target || i + 1 >= args.size() || !parseInt(args[i + 1], *target))
            return fail("bad option \"" + args[i] + "\" (usage: frames MOVIE OUTDIR [--from A] [--to B] [--every N])");
    }
    if (from < 0 || every < 1)
        return fail("--from must be 0 or more and --every 1 or more");
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
