// The snapshot line reader and its range-checked number parsers.
#include "document/snapshot_text.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace veltro {

bool SnapshotLineReader::next() {
    m_key.clear();
    m_value.clear();
    for (;;) {
        size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos) {
            // The text ends inside a line (or right after the last LF).
            m_pos = m_text.size();
            m_atEnd = true;
            return false;
        }
        std::string_view line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        if (line.size() > kMaxSnapshotLineLength) {
            m_pos = m_text.size();
            m_atEnd = true;
            return false;
        }
        if (line.empty() || line[0] != '.')
            continue;
        line.remove_prefix(1);
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) {
            m_key.assign(line);
        } else {
            m_key.assign(line.substr(0, blank));
            m_value.assign(line.substr(blank + 1));
        }
        return true;
    }
}

bool SnapshotLineReader::keyStartsWith(std::string_view prefix) const {
    return std::string_view(m_key).substr(0, prefix.size()) == prefix;
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d" at pos: blanks skipped, optional sign, at least one digit.
bool scanInt(std::string_view text, size_t& pos, int& out) {
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    size_t start = pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long magnitude = 0;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0) {
        pos = start;
        return false;
    }
    long long value = negative ? -magnitude : magnitude;
    if (value < INT_MIN || value > INT_MAX)
        return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

bool parseSnapshotInts(std::string_view value, int* out, int count) {
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        if (!scanInt(value, pos, out[i]))
            return false;
    }
    return true;
}

bool parseSnapshotPathPoint(std::string_view value, int& a, int& b, int& c, int& f) {
    size_t pos = 0;
    if (!scanInt(value, pos, a) || !scanInt(value, pos, b))
        return false;
    // strtod needs a terminated copy; the number is short, the rest is cut.
    while (pos < value.size() && isBlank(value[pos]))
        ++pos;
    std::string real(value.substr(pos, 64));
    char* end = nullptr;
    double number = std::strtod(real.c_str(), &end);
    if (end == real.c_str() || !std::isfinite(number))
        return false;
    double truncated = std::trunc(number);
    if (truncated < INT_MIN || truncated > INT_MAX)
        return false;
    c = static_cast<int>(truncated);
    pos += static_cast<size_t>(end - real.c_str());
    if (end - real.c_str() == static_cast<std::ptrdiff_t>(real.size()) && real.size() == 64)
        return false;  // a "number" longer than any real one
    return scanInt(value, pos, f);
}

int snapshotInt(std::string_view value) {
    size_t pos = 0;
    while (pos < value.size() && isBlank(value[pos]))
        ++pos;
    bool negative = false;
    if (pos < value.size() && (value[pos] == '-' || value[pos] == '+')) {
        negative = value[pos] == '-';
        ++pos;
    }
    long long magnitude = 0;
    while (pos < value.size() && value[pos] >= '0' && value[pos] <= '9') {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (value[pos] - '0');
        ++pos;
    }
    long long result = negative ? -magnitude : magnitude;
    if (result < INT_MIN)
        return INT_MIN;
    if (result > INT_MAX)
        return INT_MAX;
    return static_cast<int>(result);
}

void appendSnapshotLine(std::string& out, std::string_view key, std::string_view value) {
    out += '.';
    out += key;
    out += ' ';
    out += value;
    out += '\n';
}

}  // namespace veltro
