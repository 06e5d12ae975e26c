// The block-number list of a frame store being written, kept out of memory:
// values are counted as they arrive and spooled to an unnamed temporary file,
// so a clip of any length costs the writer the same memory. Coding reads
// them back in order and hands the stream over in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framestore/block_number_list.h"

namespace veltro {

class BlockNumberSpool {
public:
    // Values held in memory before they go to the file together.
    static constexpr size_t kBufferValues = 16384;
    // About how many coded bytes each piece handed to encode's sink holds.
    static constexpr size_t kPieceBytes = 65536;

    // The file is made in directory (the frame store's), else in the
    // system's temporary directory; where neither can hold one, or a write
    // to it fails, the values stay in memory.
    explicit BlockNumberSpool(const std::string& directory);
    ~BlockNumberSpool();
    BlockNumberSpool(const BlockNumberSpool&) = delete;
    BlockNumberSpool& operator=(const BlockNumberSpool&) = delete;

    // Appends a value; false (nothing kept) outside 0 .. kMaxValue.
    bool push(int value);
    // Appends every value of list in order.
    void append(const BlockNumberList& list);
    // Number of values pushed.
    uint64_t size() const { return m_count; }
    // True once the values no longer go to a file (none could be made, or a
    // write failed); memory then grows with the list.
    bool inMemory() const { return m_fd < 0; }

    // Codes every value pushed, exactly as BlockNumberList::encode would,
    // giving the stream to sink in pieces in order. False when values were
    // lost (a file that failed could not be read back), a value cannot be
    // read back now, or sink refused a piece.
    bool encode(const std::function<bool(const std::string&)>& sink) const;

private:
    void flush();

    int m_fd = -1;
    uint64_t m_fileValues = 0;        // values stored in the file, the first of the list
    std::vector<uint16_t> m_buffer;   // the values after them
    std::vector<uint32_t> m_frequency;
    uint64_t m_count = 0;
    bool m_lost = false;
};

}  // namespace veltro
