// The dot-line text that undo keeps of a whole document: the line reader
// every object reader shares, and the number parsers its values need. Values
// come from text that may be hostile (a snapshot handed to veltrotool, a fuzz
// input), so every parser checks its range instead of overflowing, and the
// reader refuses lines longer than kMaxSnapshotLineLength.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veltro {

// Longest line the reader accepts; a longer one fails the read. Real lines
// are a key and a file name or a few numbers.
inline constexpr size_t kMaxSnapshotLineLength = 64 * 1024;
// Most path points one drag-motion object takes from a snapshot; more fail
// the object. A drawn stroke is simplified to a few dozen points.
inline constexpr int kMaxSnapshotPathPoints = 100000;
// Most objects one snapshot may hold; the object after the last fails.
inline constexpr int kMaxSnapshotObjects = 1000;

// Reads a snapshot text line by line. A line is the bytes up to an LF; lines
// whose first byte is not "." are skipped. The key is the text after the "."
// up to the first blank, the value everything after that blank (empty when
// the line has none). CR bytes are ordinary bytes of the value.
class SnapshotLineReader {
public:
    explicit SnapshotLineReader(std::string_view text) : m_text(text) {}

    // Reads the next dot line into key and value; false at the end of the
    // text (also when the last line lacks its LF) or on an overlong line.
    // After a false the key and value are empty.
    bool next();
    // The key of the current line ("V", "OP", ...).
    const std::string& key() const { return m_key; }
    // The value of the current line.
    const std::string& value() const { return m_value; }
    // True when the current key begins with prefix.
    bool keyStartsWith(std::string_view prefix) const;
    // True once a read found no further line (the text ended, possibly in
    // the middle of a line, or a line was too long).
    bool atEnd() const { return m_atEnd; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    bool m_atEnd = false;
    std::string m_key;
    std::string m_value;
};

// Reads count decimal integers separated by blanks, the way "%d %d ..." does:
// blanks before each number skipped, text after the last ignored. False when a
// number is missing or outside the int range.
bool parseSnapshotInts(std::string_view value, int* out, int count);
// The value of a path line, "%d %d %lf %d": the third number is read as a
// real and truncated toward zero. False when a number is missing, not finite
// or outside the int range.
bool parseSnapshotPathPoint(std::string_view value, int& a, int& b, int& c, int& f);
// atoi with a defined result: leading blanks, an optional sign, digits; no
// digits gives 0, values beyond the int range are clamped to it.
int snapshotInt(std::string_view value);

// Appends one line, key and value joined by a blank, ending in LF.
void appendSnapshotLine(std::string& out, std::string_view key, std::string_view value);

}  // namespace veltro
