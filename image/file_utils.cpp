// File and path helpers over POSIX. Splitting accepts both separators, joining
// writes "/". The double-byte skip is a process setting because it is only
// right for double-byte code pages; UTF-8 paths never hide a separator inside
// a character.
#include "image/file_utils.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {

namespace {

constexpr int kMaxUniqueNumber = 99999;

std::atomic<bool> g_doubleByte{false};

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }

// Index of the last separator, skipping trail bytes under a double-byte code
// page; npos when there is none.
size_t lastSeparator(const std::string& path) {
    size_t last = std::string::npos;
    bool skipTrail = g_doubleByte.load();
    for (size_t i = 0; i < path.size(); ++i) {
        if (skipTrail && isLeadByte(static_cast<unsigned char>(path[i]))) {
            ++i;
            continue;
        }
        if (isSeparator(path[i]))
            last = i;
    }
    return last;
}

bool isBareDrive(const std::string& prefix) {
    return prefix.size() == 2 && std::isalpha(static_cast<unsigned char>(prefix[0])) && prefix[1] == ':';
}

bool matchesPattern(const std::string& name, const std::string& pattern) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace

void setDoubleByteCodePage(bool enabled) { g_doubleByte.store(enabled); }

bool doubleByteCodePage() { return g_doubleByte.load(); }

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty())
        return name;
    if (isSeparator(directory.back()))
        return directory + name;
    return directory + "/" + name;
}

std::string directoryOf(const std::string& path) {
    size_t last = lastSeparator(path);
    if (last == std::string::npos)
        return std::string();
    return path.substr(0, last);
}

std::string fileName(const std::string& path) {
    size_t last = lastSeparator(path);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string extensionOf(const std::string& path) {
    std::string name = fileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string baseName(const std::string& path) {
    std::string name = fileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string replaceExtension(const std::string& path, const std::string& extension) {
    for (size_t i = path.size(); i > 0; --i) {
        char c = path[i - 1];
        if (isSeparator(c))
            break;
        if (c == '.')
            return path.substr(0, i - 1) + extension;
    }
    return path + extension;
}

std::optional<std::string> uniqueName(const std::string& directory, const std::string& prefix,
                                      const std::string& suffix) {
    for (int number = 0; number <= kMaxUniqueNumber; ++number) {
        std::string candidate = joinPath(directory, prefix + std::to_string(number) + suffix);
        if (!fileExists(candidate))
            return candidate;
    }
    return std::nullopt;
}

bool makeDirectories(const std::string& path) {
    if (path.empty())
        return false;
    if (isDirectory(path))
        return true;
    // Every separator found by the walk becomes "/" in what the system sees,
    // so "a\b" makes b inside a rather than a name with a backslash in it.
    std::string native = path;
    bool skipTrail = g_doubleByte.load();
    for (size_t i = 0; i < native.size(); ++i) {
        if (skipTrail && isLeadByte(static_cast<unsigned char>(native[i]))) {
            ++i;
            continue;
        }
        if (!isSeparator(native[i]))
            continue;
        native[i] = '/';
        if (i == 0)
            continue;
        std::string prefix = native.substr(0, i);
        if (isBareDrive(prefix) || isSeparator(prefix.back()) || fileExists(prefix))
            continue;
        if (::mkdir(prefix.c_str(), 0777) != 0 && !isDirectory(prefix))
            return false;
    }
    if (::mkdir(native.c_str(), 0777) == 0)
        return true;
    return isDirectory(native);
}

std::vector<std::string> listDirectory(const std::string& directory, const std::string& pattern) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return names;
    const std::string& wanted = pattern.empty() ? std::string("*.*") : pattern;
    while (dirent* entry = ::readdir(dir)) {
        if (matchesPattern(entry->d_name, wanted))
            names.push_back(joinPath(directory, entry->d_name));
    }
    ::closedir(dir);
    return names;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int64_t fileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? int64_t(info.st_size) : 0;
}

int64_t modificationTime(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? int64_t(info.st_mtime) : 0;
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

bool setCurrentDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool removeDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool moveFile(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without no-replace renames: check, then rename.
    if (fileExists(to))
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string programDirectory() {
    char buffer[1024];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || size_t(length) >= sizeof buffer)
        return std::string();
    return directoryOf(std::string(buffer, size_t(length)));
}

namespace {

std::atomic<long long> g_bytesUntilFull{-1};

// The write side of every ReplacementFile stream: the bytes go to the
// descriptor unless the simulated disk is full, which fails the write (after
// the bytes that still fit) as a real full disk would.
ssize_t writeToDescriptor(void* cookie, const char* data, size_t size) {
    const int fd = *static_cast<int*>(cookie);
    size_t allowed = size;
    bool full = false;
    long long left = g_bytesUntilFull.load();
    if (left >= 0) {
        if (static_cast<unsigned long long>(left) < size) {
            allowed = static_cast<size_t>(left);
            full = true;
            g_bytesUntilFull.store(0);
        } else {
            g_bytesUntilFull.store(left - static_cast<long long>(size));
        }
    }
    size_t done = 0;
    while (done < allowed) {
        ssize_t written = ::write(fd, data + done, allowed - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += static_cast<size_t>(written);
    }
    if (full) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(done);
}

int closeDescriptor(void* cookie) { return ::close(*static_cast<int*>(cookie)); }

}  // namespace

void simulateDiskFullAfter(long long bytes) { g_bytesUntilFull.store(bytes); }

ReplacementFile::ReplacementFile(const std::string& path) : m_path(path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && !m_stream; ++attempt) {
        std::string candidate = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return;
        }
        m_fd = fd;
        cookie_io_functions_t functions{};
        functions.write = writeToDescriptor;
        functions.close = closeDescriptor;
        m_stream = ::fopencookie(&m_fd, "w", functions);
        if (!m_stream) {
            ::close(fd);
            m_fd = -1;
            ::unlink(candidate.c_str());
            return;
        }
        m_temporary = candidate;
    }
}

ReplacementFile::~ReplacementFile() { discard(); }

bool ReplacementFile::write(const void* data, size_t size) {
    if (!m_stream || std::ferror(m_stream))
        return false;
    return size == 0 || (std::fwrite(data, 1, size, m_stream) == size && !std::ferror(m_stream));
}

bool ReplacementFile::setMode(unsigned mode) { return m_fd >= 0 && ::fchmod(m_fd, static_cast<mode_t>(mode)) == 0; }

bool ReplacementFile::setOwner(unsigned user, unsigned group) {
    return m_fd >= 0 && ::fchown(m_fd, static_cast<uid_t>(user), static_cast<gid_t>(group)) == 0;
}

bool ReplacementFile::commit() {
    if (!m_stream)
        return false;
    bool ok = std::fflush(m_stream) == 0 && !std::ferror(m_stream);
    if (ok && m_durable)
        ok = ::fsync(m_fd) == 0;
    ok = std::fclose(m_stream) == 0 && ok;
    m_stream = nullptr;
    m_fd = -1;
    if (ok && std::rename(m_temporary.c_str(), m_path.c_str()) == 0) {
        m_temporary.clear();
        return true;
    }
    ::unlink(m_temporary.c_str());
    m_temporary.clear();
    return false;
}

void ReplacementFile::discard() {
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
    ReplacementFile file(path);
    return file.write(bytes) && file.commit();
}

bool copyFile(const std::string& from, const std::string& to, size_t maxBytes) {
    std::string bytes;
    return readWholeFile(from, maxBytes, bytes) && writeWholeFile(to, bytes);
}

bool readFileStart(const std::string& path, size_t maxBytes, std::string& bytes, bool* more) {
    bytes.clear();
    if (more)
        *more = false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return false;
    }
    bytes.reserve(std::min(static_cast<size_t>(info.st_size), maxBytes));
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got == 0)
            break;
        if (bytes.size() + got > maxBytes) {
            bytes.append(buffer, maxBytes - bytes.size());
            if (more)
                *more = true;
            break;
        }
        bytes.append(buffer, got);
    }
    if (std::ferror(file))
        ok = false;
    std::fclose(file);
    if (!ok)
        bytes.clear();
    return ok;
}

bool readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes) {
    bool more = false;
    if (!readFileStart(path, maxBytes, bytes, &more))
        return false;
    if (more) {
        bytes.clear();
        return false;
    }
    return true;
}

}  // namespace veltro
