// Finds media files that moved: every directory a media name pointed into is
// remembered, most recently used first, and a name that no longer exists is
// tried by its last component in each of them. A project whose media moved
// together with it still finds them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltro {

// Most directories remembered; the least recently used one is dropped.
inline constexpr size_t kMaxSearchDirectories = 32;

class FileSearchPath {
public:
    // Remembers the name's directory, then returns the name when that file
    // exists, else the first remembered directory joined with the name's last
    // component that exists; none otherwise.
    std::optional<std::string> resolve(const std::string& fileName);
    // The remembered directories, most recently used first.
    const std::vector<std::string>& directories() const { return m_directories; }
    // Forgets every directory (tests).
    void clear() { m_directories.clear(); }

private:
    std::vector<std::string> m_directories;
};

// The process-wide search path.
FileSearchPath& fileSearchPath();

}  // namespace veltro
