// veltrotool: the product's pipeline from the command line (image codecs,
// frame stores, movies, documents, publishing), for users' scripts and for
// checks that read its stable output.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"
#include "tools/document_command.h"
#include "tools/encode_command.h"
#include "tools/image_command.h"
#include "tools/movie_command.h"
#include "tools/play_command.h"
#include "tools/publish_command.h"

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
        {"publish", "  publish SOURCE --album DIR [--path \"x,y x,y ...\"] [--first F] [--last L] [--title T] [--comment C]\n"
                    "          [--quality Q] [--diff-quality Q] [--max-frame M] [--template IMAGE]\n"
                    "                                     publish a movie file with one drawn path as a new album page",
         runPublish},
        {"album", "  album DIR                          list the album's pages, newest first (name, title, date, archive KB)",
         runAlbum},
        {"reopen", "  reopen PAGE                        print the snapshot text of a published page reopened for editing",
         runReopen},
        {"play", "  play PAGE --drag \"x,y x,y ...\"      replay a pointer drag on a published page; print the frame after each position",
         runPlay},
    };
    return table;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "veltrotool: %s\n", message.c_str());
    return 1;
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
    for (const auto& command : veltro::tool::commands()) {
        if (std::strcmp(command.name, argv[1]) == 0)
            return command.run(veltro::tool::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "veltrotool: unknown command \"%s\" (see veltrotool --help)\n", argv[1]);
    return 2;
}
