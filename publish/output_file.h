// Files the publisher writes go through OutputFile, so that a page is never
// presented half-written: every write is checked, and tests can make the disk
// "fill up" after a given number of bytes to prove that failures are handled.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace veltro {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or truncates the file for binary writing.
    bool open(const std::string& path);
    // Writes every byte or fails; once failed, every later write fails too.
    bool write(const void* data, size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Flushes and closes; false when anything failed along the way.
    bool close();
    bool failed() const { return m_failed; }

private:
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};

// Test seam: after this many more bytes have been written through any
// OutputFile, writes fail as on a full disk. A negative value (the default)
// turns the simulation off.
void simulateDiskFullAfter(long long bytes);

// Writes the whole text to path through OutputFile; false on any failure.
bool writeWholeFile(const std::string& path, const std::string& bytes);

}  // namespace veltro
