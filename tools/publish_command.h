// veltrotool subcommands for pages: publish a movie file as a new page of an
// album, list an album, reopen a page, and show a viewer data file as JSON.
#pragma once

#include <string>

#include "tools/commands.h"

namespace veltro::tool {

// publish SOURCE --album DIR [--path "x,y x,y ..."] [--first F] [--last L]
// [--title T] [--comment C] [--quality Q] [--diff-quality Q] [--max-frame M]
// [--template IMAGE] [--follow x,y [--box w,h]]: a new document from the
// movie file, opened as the edit window opens it (zoomed to fit 240 pixels high), one drag-motion path drawn
// along the stroke (picture coordinates; default a horizontal line across the
// middle) over frames F..L (default the whole clip), the frame step chosen for
// max_frame, then published as a new page. Prints the page directory. With
// --follow the path is the trajectory of the object under that point of the
// first frame instead (picture coordinates, as --path; --box sizes the box
// around it).
int runPublish(const Args& args);
// album DIR: one line per page, newest first:
// "NAME<TAB>TITLE<TAB>DATE<TAB>SIZE" with SIZE the archive's size in KB
// ("%dKB") or "-" without an archive.
int runAlbum(const Args& args);
// reopen PAGE: prints the snapshot text of the page reopened for editing.
int runReopen(const Args& args);
// inspect PAGE/veltro.txt: prints every field of the deciphered body as JSON.
int inspectViewerData(const std::string& path);

}  // namespace veltro::tool
