// The viewer data file "veltro.txt": the compact binary description of a
// document that the page's viewer plays and that reopening a page reads back.
// The body (big-endian fields) is padded and enciphered (viewer_cipher.h) and
// then NCRF-escaped, so the stored file holds no CR or LF bytes. The reader
// also takes the older form without header that was neither enciphered nor
// escaped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

class Document;

// Largest viewer data file that is read; real ones are a few kilobytes.
inline constexpr size_t kMaxViewerDataFileSize = 16 << 20;
// The only body version there is.
inline constexpr int kViewerDataVersion = 3;

// One object record of the body, as stored.
struct ViewerObjectRecord {
    int type = 0;  // 0 movie, 1 image, 2 drag-motion
    int x = 0;     // sign-extended from 16 bits
    int y = 0;
    int w = 0;     // 0 .. 65535
    int h = 0;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    // Movie: the frame store k; image: the listed image; -1 for none.
    int mediaIndex = -1;
    // Drag-motion only.
    int pathImage[3] = {-1, -1, -1};
    int pathWidth[3] = {0, 0, 0};
    uint32_t pathColor[3] = {0, 0, 0};
    int arrow = 0;
    int bezier = 0;
    int distanceByte = 0;  // 0..255 as stored
    std::vector<int> thumbnailImages;
    int keep = 0;
    int thumbnailDir = 0;
    struct Point {
        int x = 0;  // 0 .. 65535 as stored
        int y = 0;
        uint32_t frame = 0;
        int normal = 1;  // 0 when the segment ending here hands over
    };
    std::vector<Point> points;
};

// One event record of the body, as stored.
struct ViewerEventRecord {
    int type = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t extra = 0;
    int byteValue = 0;             // types 0 and 2
    std::vector<uint32_t> frames;  // type 1
    int soundIndex = -1;           // type 2
    std::string text1;             // type 3 (str8), type 4 (str16)
    std::string text2;             // type 3 (str16)
};

// The body of a viewer data file, field by field.
struct ViewerData {
    bool hasHeader = true;  // false for the older form
    uint32_t reserved0 = 0;
    uint32_t headerValue = 0;
    uint32_t reserved1 = 0;
    int modeFlag = 0;
    int version = kViewerDataVersion;
    int movieCount = 0;
    std::vector<std::string> imageNames;
    std::vector<std::string> soundNames;
    int width = 0;
    int height = 0;
    int length = 0;
    std::vector<ViewerObjectRecord> objects;
    std::vector<ViewerEventRecord> events;
};

// The name under which a page lists the image at cache position index: "i%x"
// and the source file's own extension when that is a JPEG or GIF one
// (".jpg", ".jpeg", ".gif" in any letter case), else "i%x.gif". Publishing
// writes the picture into the page under this name.
std::string viewerImageName(size_t index, const std::string& sourceFile);

// Why the document does not fit the body's fields: more exported objects,
// listed images, listed sounds or published events than a 16-bit count
// holds, an object with more than 65535 visibility ranges, a path with more
// than 255 thumbnail pictures, a key frame list of more than 65535 frames, a
// text longer than its length field says (255 bytes for the first text of a
// type 3 event, 65535 for the others). Empty when everything fits. Path
// points need no check: a path never holds more than kMaxPathPoints. The
// document's media uses must be counted first.
std::string viewerDataLimitProblem(const Document& document);

// The body of the document (fields 1-17). The document's media uses must be
// counted first (Document::countMediaUses), which the publishing context does.
// Counts and texts beyond their fields are cut here; publishing refuses such
// documents first (viewerDataLimitProblem).
std::string viewerDataBody(const Document& document, uint32_t headerValue);
// The stored form of a body: enciphered, then escaped.
std::string storedViewerData(const std::string& body);

// Parses stored bytes (escaped or not, enciphered or the older form). None,
// with a reason in error, for anything malformed: a wrong version, counts
// that run past the end, media names that are empty or would leave the page
// directory ("/", "\" or ".."), bytes left over. Every list is bounded by the
// input's length, so hostile input never allocates more than a small multiple
// of the input size.
std::optional<ViewerData> parseViewerData(const std::string& stored, std::string* error = nullptr);

// Parses a deciphered body (header included, padding allowed), by the same
// rules as parseViewerData.
std::optional<ViewerData> parseViewerBody(const std::string& body, std::string* error = nullptr);

// Reads and parses the viewer data file at path (at most
// kMaxViewerDataFileSize bytes); none, with a reason in error, when it cannot
// be read or is malformed.
std::optional<ViewerData> readViewerDataFile(const std::string& path, std::string* error = nullptr);

// Fills the cleared document from the viewer data file at path and the frame
// stores and media beside it; false (with a reason in error) when the file
// cannot be read or is malformed. The document is then marked as opened from
// a page (its editing flag is left to the caller).
bool openViewerData(const std::string& path, Document& document, std::string* error = nullptr);

}  // namespace veltro
