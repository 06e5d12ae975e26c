// The encode, decode and inspect subcommands. encode reads the source through
// the movie registry, so it takes whatever the program can open; decode and
// inspect read frame store indexes and frame lists directly.
#include "tools/encode_command.h"

#include <charconv>
#include <cstdio>
#include <set>

#include "framestore/frame_store_index.h"
#include "encode/frame_store_writer.h"
#include "image/file_utils.h"
#include "image/png_format.h"
#include "movie/frame_store_movie.h"
#include "tools/publish_command.h"
#include "tools/terminal_progress.h"

namespace veltro::tool {

namespace {

bool parseInt(const std::string& text, int& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    return x != std::string::npos && parseInt(text.substr(0, x), width) && parseInt(text.substr(x + 1), height) &&
           width > 0 && height > 0;
}

// The flag bytes F gives for P positions, or an error text.
std::string flagsFor(const std::string& text, int positions, std::vector<uint8_t>& flags) {
    flags.clear();
    if (text == "key") {
        flags.assign(positions, static_cast<uint8_t>(FrameFlag::Difference));
        if (positions > 0)
            flags[0] = static_cast<uint8_t>(FrameFlag::SortedKey);
        return {};
    }
    if (text == "all-key") {
        flags.assign(positions, static_cast<uint8_t>(FrameFlag::Key));
        return {};
    }
    for (char c : text) {
        if (c < '0' || c > '3')
            return "--flags takes \"key\", \"all-key\" or one digit 0-3 per position, not \"" + text + "\"";
        flags.push_back(static_cast<uint8_t>(c - '0'));
    }
    if (static_cast<int>(flags.size()) != positions)
        return "--flags has " + std::to_string(flags.size()) + " digits but the source gives " +
               std::to_string(positions) + " positions";
    return {};
}

}  // namespace

int runEncode(const Args& args) {
    std::vector<std::string> positional;
    int width = 0, height = 0, step = 0, quality = 75, diffQuality = 75;
    std::string flagText = "key";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--size" && hasValue) {
            if (!parseSize(args[++i], width, height))
                return fail("--size takes WIDTHxHEIGHT, e.g. 320x240");
        } else if (a == "--step" && hasValue) {
            if (!parseInt(args[++i], step) || step < 0)
                return fail("--step takes a number 0 or above");
        } else if ((a == "--quality" || a == "--diff-quality") && hasValue) {
            int& target = a == "--quality" ? quality : diffQuality;
            if (!parseInt(args[++i], target) || target < 0 || target > 100)
                return fail(a + " takes a number from 0 to 100");
        } else if (a == "--flags" && hasValue) {
            flagText = args[++i];
        } else if (a.rfind("--", 0) == 0) {
            return fail("unknown or incomplete option \"" + a + "\"");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return fail("usage: encode SOURCE INDEX [--size WxH] [--step S] [--quality Q] [--diff-quality Q] [--flags F]");
    const std::string& sourcePath = positional[0];
    const std::string& indexPath = positional[1];

    MovieReaderPtr reader = openMovie(sourcePath);
    if (!reader)
        return fail("cannot open \"" + sourcePath + "\" as a movie");
    if (width == 0) {
        const ImageBuffer* first = reader->frame && !reader->frame->empty() ? reader->frame.get() : reader->frameAt(0);
        if (!first || first->width <= 0 || first->height <= 0)
            return fail("\"" + sourcePath + "\" has no frame size; give --size");
        width = first->width;
        height = first->height;
    }
    const int positions = frameStorePositions(reader->frameCount, step);
    std::vector<uint8_t> flags;
    if (std::string error = flagsFor(flagText, positions, flags); !error.empty())
        return fail(error);

    const std::string directory = directoryOf(indexPath);
    if (!directory.empty() && !makeDirectories(directory))
        return fail("cannot create the directory \"" + directory + "\"");

    TerminalProgress progress;
    FrameStoreSummary summary;
    const bool stored = writeFrameStore(progress, indexPath, *reader, width, height, step, quality, diffQuality,
                                        flags, &summary);
    if (summary.files.empty())
        return fail("cannot write \"" + indexPath + "\" (size " + std::to_string(width) + "x" +
                    std::to_string(height) + ")");
    int64_t bytes = 0;
    for (const std::string& file : std::set<std::string>(summary.files.begin(), summary.files.end()))
        bytes += fileSize(file);
    std::printf("positions=%d entries=%d bytes=%lld\n", summary.positions, summary.entries,
                static_cast<long long>(bytes));
    if (!stored)
        return fail("not every position could be stored; the index holds what was");
    return 0;
}

int runDecode(const Args& args) {
    if (args.size() != 2)
        return fail("usage: decode INDEX OUTDIR");
    const std::string& indexPath = args[0];
    const std::string& outDir = args[1];
    FrameStoreIndex index;
    std::string error;
    if (!readFrameStoreIndex(indexPath, index, &error))
        return fail("cannot read \"" + indexPath + "\": " + error);
    FrameStoreMovieReader reader;
    if (!reader.open(indexPath))
        return fail("cannot open \"" + indexPath + "\": an image is missing or the store needs more than 1 GiB");
    if (!makeDirectories(outDir))
        return fail("cannot create the directory \"" + outDir + "\"");
    PngFormat png;
    for (int p = 0; p < reader.frameCount; ++p) {
        const ImageBuffer* frame = reader.frameAt(p);
        if (!frame)
            return fail("\"" + indexPath + "\" has no entries to decode");
        char name[32];
        std::snprintf(name, sizeof name, "frame%05d.png", p);
        if (!png.save(joinPath(outDir, name), *frame))
            return fail("cannot write \"" + joinPath(outDir, name) + "\"");
    }
    std::printf("frames=%d %dx%d\n", reader.frameCount, reader.width(), reader.height());
    return 0;
}

int runInspect(const Args& args) {
    if (args.size() != 1)
        return fail("usage: inspect INDEX");
    // A page's viewer data file is inspected as a document description.
    if (fileName(args[0]) == "veltro.txt")
        return inspectViewerData(args[0]);
    FrameStoreIndex index;
    std::string error;
    if (!readFrameStoreIndex(args[0], index, &error))
        return fail("cannot read \"" + args[0] + "\": " + error);
    std::printf("{\n  \"escaped\": %s,\n", index.escaped ? "true" : "false");
    std::printf("  \"header\": {\"width\": %d, \"height\": %d, \"positions\": %d, \"entries\": %d},\n", index.width,
                index.height, index.positions, static_cast<int>(index.entries.size()));
    std::printf("  \"entries\": [");
    for (size_t i = 0; i < index.entries.size(); ++i) {
        const IndexEntry& e = index.entries[i];
        std::printf("%s\n    {\"kind\": \"%c\", \"position\": %d, \"name\": %s}", i ? "," : "",
                    static_cast<char>(e.kind), e.position,
                    e.kind == EntryKind::Difference ? "null" : jsonString(e.name).c_str());
    }
    std::printf("%s],\n", index.entries.empty() ? "" : "\n  ");
    std::printf("  \"blockNumbers\": [");
    const auto& values = index.blocks.values();
    for (size_t i = 0; i < values.size(); ++i)
        std::printf("%s%d", i ? ", " : "", values[i]);
    std::printf("]\n}\n");
    return 0;
}

}  // namespace veltro::tool
