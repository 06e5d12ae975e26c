// The snapshot and render subcommands. Both load the snapshot text with a
// size limit, register the program's image and movie formats and the
// drag-motion kind, and let missing media be reported on stderr and ignored.
#include "tools/document_command.h"

#include <cstdio>
#include <optional>
#include <sstream>

#include "document/document.h"
#include "document/file_search_path.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "services/canvas.h"
#include "tools/command_options.h"
#include "tools/gui_application.h"

namespace veltro::tool {

namespace {

// Largest snapshot text the tools read; real ones are a few kilobytes.
constexpr size_t kMaxSnapshotFileSize = 64 << 20;

// Reads the snapshot at path into document; media named relative to a moved
// snapshot are also looked for beside it. An error message on failure.
std::optional<std::string> loadSnapshot(const std::string& path, Document& document) {
    std::string text;
    if (!readWholeFile(path, kMaxSnapshotFileSize, text))
        return "cannot read \"" + path + "\" (missing, unreadable or larger than 64 MiB)";
    // Remembers the snapshot's directory in the media search path.
    fileSearchPath().resolve(path);
    document.clear();
    if (!document.readSnapshot(text))
        return "\"" + path + "\" is not a complete snapshot text (" + std::to_string(document.objects.size()) +
               " objects read)";
    return std::nullopt;
}

}  // namespace

int runSnapshot(const Args& commandLine) {
    CommandOptions options("snapshot", "Reads a document snapshot text and writes it back to stdout.");
    options.argument("FILE", "The snapshot text.");
    if (std::optional<int> status = options.parse(commandLine))
        return *status;
    const Args& args = options.arguments();
    if (args.size() != 1)
        return fail("usage: veltrotool snapshot FILE");
    Document document;
    if (auto error = loadSnapshot(args[0], document))
        return fail(*error);
    std::string out;
    if (!document.writeSnapshot(out))
        return fail("the document could not be written back completely");
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int runRender(const Args& args) {
    const char* usage = "usage: veltrotool render SNAPSHOT OUT.png [--frame F]";
    CommandOptions options("render", "Renders a document's canvas at one frame to PNG and prints "
                                     "\"WIDTHxHEIGHT frame F\".");
    options.argument("SNAPSHOT", "The document's snapshot text.")
        .argument("OUT", "The picture to write.", "OUT.png")
        .value("frame", "F", "The frame to show (default 0).");
    if (std::optional<int> status = options.parse(args))
        return *status;
    int frame = 0;
    std::string message;
    if (!options.integer("frame", 0, kMaxDocumentLength, frame, message))
        return fail(message);
    if (options.arguments().size() != 2 || options.arguments()[0].empty() || options.arguments()[1].empty())
        return fail(usage);
    const std::string& input = options.arguments()[0];
    const std::string& output = options.arguments()[1];
    if (!ensureGuiApplication())
        return fail("cannot start the drawing system");
    ImageFormat* png = findImageFormat(output);
    if (!png)
        return fail("\"" + output + "\": no image format writes this file name (use .png)");

    Document document;
    if (auto error = loadSnapshot(input, document))
        return fail(*error);
    document.setCurrentFrame(frame);
    document.render();
    ImagePtr picture = document.canvas().toImage();
    if (!picture || !png->save(output, *picture))
        return fail("cannot write \"" + output + "\"");
    std::printf("%dx%d frame %d\n", document.width, document.height, frame);
    return 0;
}

}  // namespace veltro::tool
