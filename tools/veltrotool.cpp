// veltrotool: the product's pipeline from the command line (image codecs,
// frame stores, movies, documents, publishing), for users' scripts and for
// checks that read its stable output.
#include <cstdio>
#include <cstring>

#include "dragmotion/drag_motion_kind.h"
#include "movie/standard_movie_formats.h"
#include "tools/capture_command.h"
#include "tools/commands.h"
#include "tools/document_command.h"
#include "tools/encode_command.h"
#include "tools/image_command.h"
#include "tools/movie_command.h"
#include "tools/play_command.h"
#include "tools/publish_command.h"
#include "tools/track_command.h"

namespace veltro::tool {

// One explicit list of every subcommand group.
const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"image", "  image info FILE                    print WIDTHxHEIGHT alpha=0|1\n"
                  "  image convert IN OUT [--quality Q] convert by extension (.png, .jpg/.jpeg, .gif; JPEG quality, default 75)\n"
                  "  image scale --nearest|--average|--canvas IN OUT W H\n"
                  "                                     resize (nearest neighbour, box average, crop/pad)",
         runImage},
        {"snapshot", "  snapshot FILE                      read a document snapshot text and write it back to stdout",
         runSnapshot},
        {"render", "  render SNAPSHOT OUT.png [--frame F] render the document's canvas at frame F (default 0) to PNG",
         runRender},
        {"encode", "  encode SOURCE INDEX [--size WxH] [--step S] [--quality Q] [--diff-quality Q] [--flags F]\n"
                   "                                     write a frame store of a clip (F: key, all-key or a 0-3 digit per position)",
         runEncode},
        {"decode", "  decode INDEX OUTDIR                write every position of a frame store as OUTDIR/frame%05d.png",
         runDecode},
        {"inspect", "  inspect INDEX|PAGE/veltro.txt      print a frame store index, or a page's viewer data, as JSON",
         runInspect},
        {"info", "  info MOVIE                         print a movie's format, frame count, rate and size as JSON",
         runInfo},
        {"frames", "  frames MOVIE OUTDIR [--from A] [--to B] [--every N]\n"
                   "                                     write frames A, A+N, ... B of a movie as OUTDIR/frame%05d.png",
         runFrames},
        {"publish", "  publish SOURCE --album DIR [--path \"x,y x,y ...\" | --follow x,y [--box w,h]] [--first F] [--last L] [--title T] [--comment C]\n"
                    "          [--quality Q] [--diff-quality Q] [--max-frame M] [--template IMAGE]\n"
                    "                                     publish a movie file with one drawn path as a new album page",
         runPublish},
        {"album", "  album DIR                          list the album's pages, newest first (name, title, date, archive KB)",
         runAlbum},
        {"reopen", "  reopen PAGE                        print the snapshot text of a published page reopened for editing",
         runReopen},
        {"play", "  play PAGE --drag \"x,y x,y ...\"      replay a pointer drag on a published page; print the frame after each position",
         runPlay},
        {"devices", "  devices                            list the capture devices, one a line: NAME<TAB>description",
         runDevices},
        {"record", "  record OUT.avi --seconds S [--device NAME] [--rate R]\n"
                   "                                     record S seconds from a capture device into an AVI (R fps, default 15)",
         runRecord},
        {"track", "  track MOVIE --at x,y [--box w,h] --first F --last L [--frame S]\n"
                  "                                     follow the object at x,y of frame S (default F) and print its path, \"x,y,frame\" per point",
         runTrack},
    };
    return table;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "veltrotool: %s\n", message.c_str());
    return 1;
}

namespace {

// Length of the UTF-8 character starting at text[i], 0 when the bytes there
// are not a well-formed character.
size_t utf8Length(const std::string& text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (size_t length = c >= 0x80 ? utf8Length(text, i) : 0) {
            out.append(text, i, length);
            i += length;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        }
    }
    return out + "\"";
}

}  // namespace veltro::tool

namespace {

void printHelp() {
    std::printf("usage: veltrotool COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& command : veltro::tool::commands())
        std::printf("%s\n", command.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        printHelp();
        return argc < 2 ? 2 : 0;
    }
    // Start-up, once for every command: the image and movie formats, and the
    // drag-motion object kind that pages and snapshots hold.
    veltro::registerStandardFormats();
    veltro::registerDragMotionObjectKind();
    for (const auto& command : veltro::tool::commands()) {
        if (std::strcmp(command.name, argv[1]) == 0)
            return command.run(veltro::tool::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "veltrotool: unknown command \"%s\" (see veltrotool --help)\n", argv[1]);
    return 2;
}
