// The process-wide list of media directories, most recently used first.
#include "document/file_search_path.h"

#include <sys/stat.h>

#include <algorithm>

namespace veltro {

namespace {

// Position of the last "/" or "\" (both separate components), or npos.
size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

bool isExistingFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::optional<std::string> FileSearchPath::resolve(const std::string& fileName) {
    size_t separator = lastSeparator(fileName);
    if (separator != std::string::npos) {
        // "/clip.avi" has the root as its directory.
        std::string directory = fileName.substr(0, separator == 0 ? 1 : separator);
        auto found = std::find(m_directories.begin(), m_directories.end(), directory);
        if (found != m_directories.end())
            m_directories.erase(found);
        m_directories.insert(m_directories.begin(), std::move(directory));
        if (m_directories.size() > kMaxSearchDirectories)
            m_directories.pop_back();
    }
    if (isExistingFile(fileName))
        return fileName;
    std::string last = separator == std::string::npos ? fileName : fileName.substr(separator + 1);
    if (last.empty())
        return std::nullopt;
    for (const std::string& directory : m_directories) {
        std::string candidate = directory;
        if (candidate.back() != '/' && candidate.back() != '\\')
            candidate += '/';
        candidate += last;
        if (isExistingFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

FileSearchPath& fileSearchPath() {
    static FileSearchPath path;
    return path;
}

}  // namespace veltro
