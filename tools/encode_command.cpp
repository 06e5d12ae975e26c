// The encode, decode and inspect subcommands. encode reads the source through
// the movie registry, so it takes whatever the program can open; decode and
// inspect read frame store indexes and frame lists directly.
#include "tools/encode_command.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <set>

#include <QJsonArray>
#include <QJsonObject>

#include "framestore/frame_store_index.h"
#include "encode/frame_list_file.h"
#include "encode/frame_store_writer.h"
#include "image/file_utils.h"
#include "image/png_format.h"
#include "movie/frame_store_movie.h"
#include "tools/command_options.h"
#include "tools/publish_command.h"
#include "tools/terminal_progress.h"

namespace veltro::tool {

namespace {

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
    CommandOptions options("encode", "Writes a frame store of a clip: JPEG key frames and sorted sheets of the "
                                     "8x8 blocks that changed.");
    options.argument("SOURCE", "The clip: a movie file, a frame list or a frame store index.")
        .argument("INDEX", "The frame store index to write; its pictures are written beside it.")
        .value("size", "WxH", "Size of the stored frames (default: the clip's own).")
        .value("step", "S", "Store every (S+1)-th frame of the clip (default 0: every frame).")
        .value("quality", "Q", "JPEG quality of the key frames, 0 to 100 (default 75).")
        .value("diff-quality", "Q", "JPEG quality of the difference sheets, 0 to 100 (default 75).")
        .value("flags", "F", "Kind of each stored frame: key (a key frame, then differences), all-key, or one "
                             "digit 0-3 per position.")
        .flag("adaptive-keys", "Store a difference frame as a key frame where that costs fewer bytes.");
    if (std::optional<int> status = options.parse(args))
        return *status;
    int width = 0, height = 0, step = 0, quality = 75, diffQuality = 75;
    std::string message;
    if (options.isSet("size") && !parseIntegerPair(options.text("size"), 1, INT_MAX, width, height, 'x'))
        return fail("--size takes WIDTHxHEIGHT, e.g. 320x240");
    if (!options.integer("step", 0, INT_MAX, step, message) || !options.integer("quality", 0, 100, quality, message) ||
        !options.integer("diff-quality", 0, 100, diffQuality, message))
        return fail(message);
    const std::string flagText = options.text("flags", "key");
    const bool adaptiveKeys = options.isSet("adaptive-keys");
    const Args& positional = options.arguments();
    if (positional.size() != 2)
        return fail("usage: encode SOURCE INDEX [--size WxH] [--step S] [--quality Q] [--diff-quality Q] [--flags F] [--adaptive-keys]");
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
                                        flags, &summary, adaptiveKeys);
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

int runFrameList(const Args& commandLine) {
    CommandOptions options("framelist", "Saves the images as a frame list (a clip of stills), as the frame-list "
                                        "dialog does.");
    options.argument("OUT", "The frame list file to write.", "OUT.txt")
        .argument("IMAGE", "The pictures, one frame each, in order.", "IMAGE...");
    if (std::optional<int> status = options.parse(commandLine))
        return *status;
    const Args& args = options.arguments();
    if (args.size() < 2)
        return fail("usage: framelist OUT.txt IMAGE...");
    registerStandardImageFormats();
    const std::vector<std::string> images(args.begin() + 1, args.end());
    std::string error;
    if (!saveFrameList(args[0], images, &error))
        return fail(error);
    ImagePtr first = loadImage(frameListEntryPath(images.front()));
    const auto [width, height] = first ? frameListSize(first->width, first->height) : std::make_pair(0, 0);
    std::printf("frames=%zu %dx%d\n", images.size(), width, height);
    return 0;
}

int runDecode(const Args& commandLine) {
    CommandOptions options("decode", "Writes every position of a frame store as OUTDIR/frame%05d.png.");
    options.argument("INDEX", "The frame store index.").argument("OUTDIR", "The directory to write into.");
    if (std::optional<int> status = options.parse(commandLine))
        return *status;
    const Args& args = options.arguments();
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

int runInspect(const Args& commandLine) {
    CommandOptions options("inspect", "Prints a frame store index, or a page's viewer data, as JSON.");
    options.argument("FILE", "A frame store index, or PAGE/veltro.txt.", "INDEX|PAGE/veltro.txt");
    if (std::optional<int> status = options.parse(commandLine))
        return *status;
    const Args& args = options.arguments();
    if (args.size() != 1)
        return fail("usage: inspect INDEX");
    // A page's viewer data file is inspected as a document description.
    if (fileName(args[0]) == "veltro.txt")
        return inspectViewerData(args[0]);
    FrameStoreIndex index;
    std::string error;
    if (!readFrameStoreIndex(args[0], index, &error))
        return fail("cannot read \"" + args[0] + "\": " + error);
    QJsonArray entries;
    for (const IndexEntry& e : index.entries)
        entries.append(QJsonObject{{"kind", QString(QChar(static_cast<char>(e.kind)))},
                                   {"position", e.position},
                                   {"name", e.kind == EntryKind::Difference ? QJsonValue() : jsonText(e.name)}});
    QJsonArray blockNumbers;
    for (int value : index.blocks.values())
        blockNumbers.append(value);
    printJson({{"escaped", index.escaped},
               {"header", QJsonObject{{"width", index.width},
                                      {"height", index.height},
                                      {"positions", index.positions},
                                      {"entries", static_cast<int>(index.entries.size())}}},
               {"entries", entries},
               {"blockNumbers", blockNumbers}},
              true);
    return 0;
}

}  // namespace veltro::tool
