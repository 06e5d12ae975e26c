// The steps that fill a page directory from a document: its frame stores, the
// viewer data file, the pictures it lists, the thumbnail, the viewer archive, the browser viewer and
// its data script, and the page archive. publishPage runs them in order; each
// can also be run alone (tests, tools).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace veltro {

class Document;
class Progress;
struct MediaEntry;

class PublishContext {
public:
    // A context writing into pageDir (which must exist). Counts the
    // document's media uses, which puts every published medium first in its
    // cache, so listed names and indices agree.
    PublishContext(std::string pageDir, Document& document);

    // One frame store "v%x.txt" per exported movie object that has a movie,
    // k counting them from 0; stops at the first failure or a stop through
    // the progress. False on failure. The setting "adaptive_keys" (not "0")
    // lets the writer store costly difference frames as key frames.
    bool writeFrameStores(Progress& progress);
    // "veltro.txt": the document's body, enciphered and escaped; false
    // without writing when the document does not fit the body's fields
    // (viewerDataLimitProblem).
    bool writeViewerData(uint32_t headerValue);
    // "thumb.jpg": the document canvas as it is now, at the document's JPEG
    // quality.
    bool writeThumbnail();
    // "veltro.jar" from the resource set; false when the set has none. The
    // notice "e_no_jar" is added only when the set lacks the browser viewer
    // "veltro.js" as well (with it the page plays without the archive).
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
    // One file per listed image, under the name the viewer data file gives
    // it (viewerImageName): a JPEG or GIF source byte for byte when its file
    // still holds the picture the document shows (no second compression),
    // otherwise the document's picture written by our JPEG writer
    // (kRewrittenJpegQuality) or GIF codec, as the name says. The GIF codec
    // keeps a picture's transparency (one transparent colour) when some pixel
    // is transparent, and reduces more than 256 colours to a popularity
    // palette of 4 bits per channel. Stops at the first image
    // that cannot be written: false, with its page file name and its source
    // in failedName and failedSource.
    bool writeImages(std::string* failedName = nullptr, std::string* failedSource = nullptr);
    // The page archive "<page>/<name>.zip"; false when it could not be made.
    bool writeZip();

    // What the author should be told although the steps went on (texts of
    // the string resources), in the order they arose.
    const std::vector<std::string>& notices() const { return m_notices; }

    // The listed images writeImages wrote (copied byte for byte or written
    // from memory), with their page file names.
    const std::vector<std::pair<MediaEntry*, std::string>>& writtenImages() const { return m_writtenImages; }

    // The page directory written into.
    const std::string& pageDir() const { return m_pageDir; }
    // File names of the frame store indexes, in k order (after
    // writeFrameStores, or as found in the page directory).
    std::vector<std::string> frameStoreNames() const;

private:
    std::string m_pageDir;
    Document& m_document;
    std::vector<std::string> m_notices;
    std::vector<std::pair<MediaEntry*, std::string>> m_writtenImages;
};

// The quality at which a JPEG picture is written again when its source file
// can no longer be copied: high, so the second compression costs little.
inline constexpr int kRewrittenJpegQuality = 95;

// "v%x.txt" for the k-th frame store.
std::string frameStoreName(int k);

}  // namespace veltro
