#include "framestore/frame_store_index.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "framestore/ncrf_escaping.h"

namespace veltro {

namespace {

// Hands out the text in lines delimited by LF, in pieces of at most 2047
// characters as a fixed line buffer would see them.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool next(std::string_view& line) {
        if (m_pos >= m_text.size())
            return false;
        const size_t start = m_pos;
        size_t end = start;
        while (end < m_text.size() && m_text[end] != '\n' && end - start < kMaxIndexLineLength)
            ++end;
        line = m_text.substr(start, end - start);
        m_pos = end;
        if (m_pos < m_text.size() && m_text[m_pos] == '\n' && end - start < kMaxIndexLineLength)
            ++m_pos;
        return true;
    }
    // Everything after the last line handed out.
    std::string_view rest() const { return m_text.substr(m_pos); }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void skipSpace(std::string_view text, size_t& pos) {
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
}

// A decimal integer as "%d" reads it (leading white space, optional sign);
// false when there is none or it does not fit an int.
bool scanInt(std::string_view text, size_t& pos, int& value) {
    skipSpace(text, pos);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos])))
        return false;
    int64_t magnitude = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        magnitude = magnitude * 10 + (text[pos++] - '0');
        if (magnitude > int64_t(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max() || signedValue < std::numeric_limits<int>::min())
        return false;
    value = static_cast<int>(signedValue);
    return true;
}

bool failWith(std::string* error, const std::string& reason) {
    if (error)
        *error = reason;
    return false;
}

bool isKnownKind(char c) { return c == 'N' || c == 'S' || c == 'D' || c == 'd'; }

}  // namespace

bool parseFrameStoreIndex(std::string_view fileBytes, FrameStoreIndex& index, std::string* error,
                          size_t maxBlockNumbers) {
    index = FrameStoreIndex();
    index.escaped = isNcrfEscaped(fileBytes);
    const std::string text = ncrfUnescape(fileBytes);
    LineReader lines(text);

    std::string_view line;
    if (!lines.next(line) || line.empty() || !std::isdigit(static_cast<unsigned char>(line[0])))
        return failWith(error, "missing header line");
    size_t pos = 0;
    int width = 0, height = 0, positions = 0, count = 0;
    if (!scanInt(line, pos, width) || !scanInt(line, pos, height) || !scanInt(line, pos, positions) ||
        !scanInt(line, pos, count))
        return failWith(error, "header does not hold four numbers");
    if (width < 0 || width > kMaxIndexDimension || height < 0 || height > kMaxIndexDimension)
        return failWith(error, "frame size out of range");
    if (count < 0 || count > kMaxIndexEntries)
        return failWith(error, "entry count out of range");
    if (positions < 0)
        return failWith(error, "negative frame count");
    if (positions > kMaxIndexPositions)
        return failWith(error, "frame count out of range");
    index.width = width;
    index.height = height;
    index.positions = positions;

    index.entries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (!lines.next(line))
            return failWith(error, "entry line " + std::to_string(i) + " missing");
        if (line.empty() || !isKnownKind(line[0]))
            return failWith(error, "entry line " + std::to_string(i) + " has no known kind");
        IndexEntry entry;
        entry.kind = static_cast<EntryKind>(line[0]);
        pos = 1;
        if (!scanInt(line, pos, entry.position))
            return failWith(error, "entry line " + std::to_string(i) + " has no position");
        skipSpace(line, pos);
        std::string_view name = line.substr(pos);
        name = name.substr(0, name.find('\r'));
        if (entry.kind != EntryKind::Difference) {
            if (name.empty())
                return failWith(error, "entry line " + std::to_string(i) + " has no file name");
            entry.name = std::string(name);
        }
        index.entries.push_back(std::move(entry));
    }

    if (lines.next(line) && !line.empty() && line[0] == 'C') {
        index.hasBlockList = true;
        // No store needs more numbers than its entries can take: a sorted key
        // its count and one index per block, a sheet its count, and every
        // difference entry at most one (entry, block) pair per block.
        const uint64_t blocks = uint64_t((width + 7) / 8) * uint64_t((height + 7) / 8);
        uint64_t usable = 0;
        for (const IndexEntry& entry : index.entries) {
            if (entry.kind == EntryKind::SortedKey)
                usable += 1 + blocks;
            if (entry.kind == EntryKind::DifferenceSheet)
                usable += 1;
            if (entry.kind == EntryKind::DifferenceSheet || entry.kind == EntryKind::Difference)
                usable += 2 * blocks;
        }
        const size_t ceiling = static_cast<size_t>(std::min<uint64_t>(usable, maxBlockNumbers));
        const std::string_view coded = lines.rest();
        if (!index.blocks.decode(reinterpret_cast<const uint8_t*>(coded.data()), coded.size(), ceiling))
            return failWith(error, "malformed block-number list");
    }
    return true;
}

bool readFrameStoreIndex(const std::string& path, FrameStoreIndex& index, std::string* error) {
    std::string bytes;
    if (!readWholeFile(path, kMaxIndexFileBytes, bytes))
        return failWith(error, "cannot read the file (or it is larger than 64 MiB)");
    return parseFrameStoreIndex(bytes, index, error);
}

}  // namespace veltro
