// The spool file is opened without a name (O_TMPFILE), so it disappears with
// the writer whatever happens, and never shows in the store's directory.
#include "encode/block_number_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace veltro {

namespace {

int unnamedFile(const std::string& directory) {
    if (directory.empty())
        return -1;
    return ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

// Writes all bytes at offset; false on any failure.
bool writeAll(int fd, const void* data, size_t size, uint64_t offset) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

bool readAll(int fd, void* data, size_t size, uint64_t offset) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

}  // namespace

BlockNumberSpool::BlockNumberSpool(const std::string& directory) {
    m_fd = unnamedFile(directory.empty() ? std::string(".") : directory);
    if (m_fd < 0) {
        std::error_code error;
        m_fd = unnamedFile(std::filesystem::temp_directory_path(error).string());
    }
    m_buffer.reserve(kBufferValues);
}

BlockNumberSpool::~BlockNumberSpool() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool BlockNumberSpool::push(int value) {
    if (value < 0 || value > BlockNumberList::kMaxValue)
        return false;
    if (size_t(value) >= m_frequency.size())
        m_frequency.resize(size_t(value) + 1, 0);
    ++m_frequency[size_t(value)];
    m_buffer.push_back(static_cast<uint16_t>(value));
    ++m_count;
    if (m_buffer.size() >= kBufferValues)
        flush();
    return true;
}

void BlockNumberSpool::append(const BlockNumberList& list) {
    for (int32_t v : list.values())
        push(v);
}

// Moves the buffered values to the end of the file. When a write fails the
// values the file already holds are read back in front of the buffer and the
// file is given up: from then on the list stays in memory.
void BlockNumberSpool::flush() {
    if (m_fd < 0 || m_buffer.empty())
        return;
    const size_t bytes = m_buffer.size() * sizeof(uint16_t);
    if (writeAll(m_fd, m_buffer.data(), bytes, m_fileValues * sizeof(uint16_t))) {
        m_fileValues += m_buffer.size();
        m_buffer.clear();
        return;
    }
    std::vector<uint16_t> values(static_cast<size_t>(m_fileValues));
    const bool readBack = readAll(m_fd, values.data(), values.size() * sizeof(uint16_t), 0);
    ::close(m_fd);
    m_fd = -1;
    if (!readBack) {
        m_lost = true;
        return;
    }
    values.insert(values.end(), m_buffer.begin(), m_buffer.end());
    m_buffer = std::move(values);
    m_fileValues = 0;
}

bool BlockNumberSpool::encode(const std::function<bool(const std::string&)>& sink) const {
    if (m_lost)
        return false;
    BlockNumberEncoder encoder(m_frequency);
    std::string piece;
    piece.reserve(kPieceBytes + 64);
    encoder.begin(piece);
    auto code = [&](uint16_t v) {
        encoder.put(v, piece);
        if (piece.size() < kPieceBytes)
            return true;
        const bool taken = sink(piece);
        piece.clear();
        return taken;
    };

    std::vector<uint16_t> chunk;
    for (uint64_t at = 0; at < m_fileValues;) {
        const size_t n = size_t(std::min<uint64_t>(kBufferValues, m_fileValues - at));
        chunk.resize(n);
        if (m_fd < 0 || !readAll(m_fd, chunk.data(), n * sizeof(uint16_t), at * sizeof(uint16_t)))
            return false;
        for (uint16_t v : chunk)
            if (!code(v))
                return false;
        at += n;
    }
    for (uint16_t v : m_buffer)
        if (!code(v))
            return false;
    encoder.finish(piece);
    return piece.empty() || sink(piece);
}

}  // namespace veltro
