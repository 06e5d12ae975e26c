// veltrotool: the product's pipeline from the command line (image codecs,
// frame stores, movies, documents, publishing), for users' scripts and for
// checks that read its stable output.
#include <cstdio>
#include <cstring>

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QStringList>

#include "dragmotion/drag_motion_kind.h"
#include "movie/standard_movie_formats.h"
#include "tools/capture_command.h"
#include "tools/commands.h"
#include "tools/console_prompts.h"
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
                   "          [--adaptive-keys]\n"
                   "                                     write a frame store of a clip (F: key, all-key or a 0-3 digit per position)",
         runEncode},
        {"framelist", "  framelist OUT.txt IMAGE...         save the images as a frame list (a clip of stills), as the frame-list dialog does",
         runFrameList},
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
                    "          [--quality Q] [--diff-quality Q] [--max-frame M] [--template IMAGE] [--adaptive-keys]\n"
                    "          [--image x,y,w,h:IMAGE]... [--path-image IMAGE]... [--thumbnail IMAGE]...\n"
                    "                                     publish a movie file with one drawn path as a new album page;\n"
                    "                                     image objects over the clip, the path's pictures (one, or one per state) and thumbnails",
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

QString jsonText(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (size_t length = c >= 0x80 ? utf8Length(text, i) : 0) {
            out += QString::fromUtf8(text.data() + i, static_cast<qsizetype>(length));
            i += length;
        } else {
            out += QChar(c);
            ++i;
        }
    }
    return out;
}

void printJson(const QJsonObject& value, bool indented) {
    QByteArray bytes = QJsonDocument(value).toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact);
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
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
    // Arguments are bytes (paths need not be UTF-8); Latin-1 carries each byte
    // through the parser unchanged and back.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLatin1(argv[i]);
    // The program's own options come before the command; everything from the
    // command on belongs to the command.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{"h", "help"}, "List the commands.");
    parser.addOption(help);
    parser.addPositionalArgument("command", "The command to run (see the list below).", "COMMAND [ARGS...]");
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "veltrotool: %s (see veltrotool --help)\n", parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(help) || positional.isEmpty()) {
        printHelp();
        return positional.isEmpty() && !parser.isSet(help) ? 2 : 0;
    }
    // Messages of the pipeline reach the person who started the command on stderr.
    veltro::setPrompts(std::make_unique<veltro::tool::ConsolePrompts>());
    // Start-up, once for every command: the image and movie formats, and the
    // drag-motion object kind that pages and snapshots hold.
    veltro::registerStandardFormats();
    veltro::registerDragMotionObjectKind();
    const QByteArray name = positional.front().toLatin1();
    veltro::tool::Args rest;
    for (qsizetype i = 1; i < positional.size(); ++i)
        rest.push_back(positional[i].toLatin1().toStdString());
    for (const auto& command : veltro::tool::commands()) {
        if (name == command.name)
            return command.run(rest);
    }
    std::fprintf(stderr, "veltrotool: unknown command \"%s\" (see veltrotool --help)\n", name.constData());
    return 2;
}
