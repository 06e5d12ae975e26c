// The list of small numbers at the end of a frame store index (sprite counts,
// entry numbers, block indices) and its Huffman coding: the code tree travels
// in the stream, bits are packed most significant first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

class BlockNumberList {
public:
    // Values are stored in 16 bits in the stream header.
    static constexpr int kMaxValue = 65535;
    // Default ceiling on the number of values decode accepts (64 MiB of values).
    static constexpr size_t kDefaultMaxDecodeCount = size_t(1) << 24;

    // Appends a value; false (list unchanged) when it lies outside 0 .. kMaxValue.
    bool push(int value);
    // Number of values.
    int size() const { return static_cast<int>(m_values.size()); }
    // The value at the read cursor, advancing it; -1 at the end.
    int next();
    // Moves the read cursor back to the first value.
    void rewind() { m_cursor = 0; }
    // Removes every value.
    void clear();
    // Largest value pushed or decoded (0 when empty).
    int maximum() const { return m_maximum; }
    // The values in list order.
    const std::vector<int32_t>& values() const { return m_values; }

    // Appends the coded stream of the whole list to out.
    void encode(std::string& out) const;
    // Reads one stream, replacing the contents; cursor at the start. False,
    // with the list emptied, for a truncated or malformed stream or one that
    // claims more than maxCount values.
    bool decode(const uint8_t* data, size_t size, size_t maxCount = kDefaultMaxDecodeCount);

private:
    std::vector<int32_t> m_values;
    int m_maximum = 0;
    size_t m_cursor = 0;
};

// Codes a list known by its value counts, piece by piece, for lists kept
// somewhere other than in memory (the frame store writer spools its list to
// a file). begin, put for every value in list order, then finish append
// exactly the stream BlockNumberList::encode writes for the same list.
class BlockNumberEncoder {
public:
    // frequency[v]: how often v occurs in the list (v = 0 .. kMaxValue; the
    // vector may end early). The largest counted value is the maximum.
    explicit BlockNumberEncoder(const std::vector<uint32_t>& frequency);

    // Appends the count, the maximum and the code tree.
    void begin(std::string& out);
    // Appends the bytes the code of value completes; false, with nothing
    // written, for a value the counts do not hold.
    bool put(int value, std::string& out);
    // Pads the last byte with 0 bits and appends it.
    void finish(std::string& out);

private:
    struct Internal {
        int left, right;
    };
    struct Code {
        uint64_t bits = 0;
        int length = 0;
    };
    void putBits(uint64_t value, int bits, std::string& out);

    int m_maximum = 0;
    uint32_t m_count = 0;
    int m_root = 0;
    std::vector<Internal> m_internal;  // node M + 1 + i is m_internal[i]
    std::vector<Code> m_codes;         // per value; length 0 for absent values (or a lone value)
    std::vector<uint8_t> m_present;
    uint8_t m_byte = 0;
    int m_filled = 0;
};

}  // namespace veltro
