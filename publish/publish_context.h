// The steps that fill a page directory from a document: its frame stores, the
// viewer data file, the thumbnail, the viewer archive, the browser viewer and
// its data script, and the page archive. publishPage runs them in order; each
// can also be run alone (tests, tools).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

class Document;
class Progress;

class PublishContext {
public:
    // A context writing into pageDir (which must exist). Counts the
    // document's media uses, which puts every published medium first in its
    // cache, so listed names and indices agree.
    PublishContext(std::string pageDir, Document& document);

    // One frame store "v%x.txt" per exported movie object that has a movie,
    // k counting them from 0; stops at the first failure or a stop through
    // the progress. False on failure.
    bool writeFrameStores(Progress& progress);
    // "veltro.txt": the document's body, enciphered and escaped.
    bool writeViewerData(uint32_t headerValue);
    // "thumb.jpg": the document canvas as it is now, at the document's JPEG
    // quality.
    bool writeThumbnail();
    // "veltro.jar" from the resource set. A missing resource adds the notice
    // "e_no_jar" and gives false.
    bool copyViewerArchive();
    // "veltro.js" (the browser viewer) from the resource set; true without
    // writing anything, after the notice "e_no_viewer_js", when the resource
    // set has none.
    bool copyViewerScript();
    // "veltro-data.js", so pages opened from file:// play without fetching:
    //
    //   window.VELTRO_DATA = {"veltro.txt": "<base64>", "v0.txt": "<base64>"};
    //
    // one assignment on one line, the keys being the file names of veltro.txt
    // and of every frame store index (in k order), the values the base64
    // (RFC 4648, with padding) of those files' bytes exactly as stored, that
    // is still NCRF-escaped. Run after writeFrameStores and writeViewerData.
    bool writeBrowserData();
    // The page archive "<page>/<name>.zip"; false when it could not be made.
    bool writeZip();

    // What the author should be told although the steps went on (texts of
    // the string resources), in the order they arose.
    const std::vector<std::string>& notices() const { return m_notices; }

    // The page directory written into.
    const std::string& pageDir() const { return m_pageDir; }
    // File names of the frame store indexes, in k order (after
    // writeFrameStores, or as found in the page directory).
    std::vector<std::string> frameStoreNames() const;

private:
    std::string m_pageDir;
    Document& m_document;
    std::vector<std::string> m_notices;
};

// "v%x.txt" for the k-th frame store.
std::string frameStoreName(int k);

}  // namespace veltro
