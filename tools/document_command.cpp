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
#include "services/font.h"

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

bool parseFrame(const std::string& text, int& frame) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > kMaxDocumentLength)
        return false;
    frame = static_cast<int>(value);
    return true;
}

}  // namespace

int runSnapshot(const Args& args) {
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
    std::string input;
    std::string output;
    int frame = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--frame") {
            if (i + 1 >= args.size() || !parseFrame(args[i + 1], frame))
                return fail("--frame needs a frame number 0.." + std::to_string(kMaxDocumentLength));
            ++i;
        } else if (input.empty()) {
            input = args[i];
        } else if (output.empty()) {
            output = args[i];
        } else {
            return fail("usage: veltrotool render SNAPSHOT OUT.png [--frame F]");
        }
    }
    if (input.empty() || output.empty())
        return fail("usage: veltrotool render SNAPSHOT OUT.png [--frame F]");
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
