#include "publish/zip_archive.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "image/file_utils.h"
#include "services/resources.h"

namespace veltro {

namespace fs = std::filesystem;

namespace {

// Page files are frame sheets, pages and thumbnails; anything beyond this is
// refused rather than read into memory (and would need ZIP64 anyway).
constexpr uintmax_t kMaxEntryBytes = 1u << 30;

struct Entry {
    std::string name;      // relative to the root, "/" separators, "/" last for directories
    fs::path path;         // where it lies on disk
    bool directory = false;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint16_t method = 0;   // 0 stored, 8 deflated
    uint32_t offset = 0;
};

void put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void setDosTime(Entry& entry, const fs::path& path) {
    struct stat info {};
    std::time_t t = ::stat(path.c_str(), &info) == 0 ? info.st_mtime : std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    int year = std::clamp(local.tm_year + 1900, 1980, 2107);
    entry.dosDate = uint16_t((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    entry.dosTime = uint16_t(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
}

bool isHidden(const fs::path& path) {
    std::string leaf = path.filename().string();
    return !leaf.empty() && leaf[0] == '.';
}

// Collects name and, when recursing, everything below it, directories before
// their contents, siblings in name order.
void collect(const fs::path& root, const std::string& name, bool recurse, std::vector<Entry>& out) {
    fs::path path = root / name;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        Entry dir;
        dir.name = name + "/";
        dir.path = path;
        dir.directory = true;
        setDosTime(dir, path);
        out.push_back(dir);
        if (!recurse)
            return;
        std::vector<std::string> children;
        for (fs::directory_iterator child(path, ec), end; !ec && child != end; child.increment(ec)) {
            if (!isHidden(child->path()))
                children.push_back(child->path().filename().string());
        }
        std::sort(children.begin(), children.end());
        for (const auto& child : children)
            collect(root, name + "/" + child, recurse, out);
    } else if (fs::is_regular_file(path, ec)) {
        Entry file;
        file.name = name;
        file.path = path;
        setDosTime(file, path);
        out.push_back(file);
    }
}

bool readFile(const fs::path& path, std::string& bytes, ZipStatus& status) {
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        status = ZipStatus::Read;
        return false;
    }
    if (size > kMaxEntryBytes) {
        status = ZipStatus::Memory;
        return false;
    }
    if (!readWholeFile(path.string(), kMaxEntryBytes, bytes)) {
        status = ZipStatus::Read;
        return false;
    }
    return true;
}

// Raw deflate (no zlib header) at the given level; false when deflating
// failed, in which case the entry is stored.
bool deflateBytes(const std::string& in, int level, std::string& out) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&stream, static_cast<uLong>(in.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return rc == Z_STREAM_END;
}

void localHeader(std::string& out, const Entry& e) {
    put32(out, 0x04034b50);
    put16(out, e.directory ? 10 : 20);  // version needed
    put16(out, 0);                      // flags
    put16(out, e.method);
    put16(out, e.dosTime);
    put16(out, e.dosDate);
    put32(out, e.crc);
    put32(out, e.compressedSize);
    put32(out, e.size);
    put16(out, static_cast<uint32_t>(e.name.size()));
    put16(out, 0);
    out += e.name;
}

void centralHeader(std::string& out, const Entry& e) {
    put32(out, 0x02014b50);
    put16(out, 3 << 8 | 20);             // made by: Unix, version 2.0
    put16(out, e.directory ? 10 : 20);
    put16(out, 0);
    put16(out, e.method);
    put16(out, e.dosTime);
    put16(out, e.dosDate);
    put32(out, e.crc);
    put32(out, e.compressedSize);
    put32(out, e.size);
    put16(out, static_cast<uint32_t>(e.name.size()));
    put16(out, 0);  // extra
    put16(out, 0);  // comment
    put16(out, 0);  // disk
    put16(out, 0);  // internal attributes
    put32(out, e.directory ? (040755u << 16 | 0x10) : (0100644u << 16));
    put32(out, e.offset);
    out += e.name;
}

}  // namespace

ZipStatus zipArchive(const ZipOptions& options, const std::string& archivePath,
                     const std::vector<std::string>& names) {
    const fs::path root = options.rootDir.empty() ? fs::path(currentDirectory()) : fs::path(options.rootDir);
    const int level = options.level >= '0' && options.level <= '9' ? options.level - '0' : 6;
    const std::string prefix = options.rootDir + "/";

    std::vector<Entry> entries;
    for (std::string name : names) {
        if (!options.rootDir.empty() && name.compare(0, prefix.size(), prefix) == 0)
            name.erase(0, prefix.size());
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        collect(root, name, options.recurse != 0, entries);
    }
    // An earlier archive at the same path is being replaced, never packed.
    std::error_code same;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return fs::equivalent(e.path, archivePath, same); }),
                  entries.end());
    if (entries.empty())
        return ZipStatus::Missing;

    // Written beside the archive and renamed into place, so a failure never
    // leaves a truncated archive under the real name.
    ReplacementFile out(archivePath);
    if (!out.stream())
        return ZipStatus::Create;

    ZipStatus status = ZipStatus::Ok;
    uint64_t offset = 0;
    std::string header;
    for (Entry& e : entries) {
        std::string data;
        if (!e.directory) {
            std::string raw;
            if (!readFile(e.path, raw, status))
                break;
            e.size = static_cast<uint32_t>(raw.size());
            e.crc = static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(raw.data()),
                                                static_cast<uInt>(raw.size())));
            std::string packed;
            if (level > 0 && deflateBytes(raw, level, packed) && packed.size() < raw.size()) {
                e.method = 8;
                data = std::move(packed);
            } else {
                data = std::move(raw);
            }
            e.compressedSize = static_cast<uint32_t>(data.size());
        }
        if (offset > 0xFFFFFFFFull) {
            status = ZipStatus::Memory;
            break;
        }
        e.offset = static_cast<uint32_t>(offset);
        header.clear();
        localHeader(header, e);
        if (!out.write(header) || !out.write(data)) {
            status = ZipStatus::Create;
            break;
        }
        offset += header.size() + data.size();
    }

    if (status == ZipStatus::Ok) {
        std::string directory;
        for (const Entry& e : entries)
            centralHeader(directory, e);
        std::string end;
        put32(end, 0x06054b50);
        put16(end, 0);
        put16(end, 0);
        put16(end, static_cast<uint32_t>(entries.size()));
        put16(end, static_cast<uint32_t>(entries.size()));
        put32(end, static_cast<uint32_t>(directory.size()));
        put32(end, static_cast<uint32_t>(offset));
        put16(end, 0);
        if (entries.size() > 0xFFFF || offset + directory.size() > 0xFFFFFFFFull)
            status = ZipStatus::Memory;
        else if (!out.write(directory) || !out.write(end))
            status = ZipStatus::Create;
    }
    if (status == ZipStatus::Ok && !out.commit())
        status = ZipStatus::Create;
    return status;
}

bool writePageZip(const std::string& pageDir, ZipStatus* status, std::string* error) {
    auto failWith = [&](ZipStatus result, const char* key) {
        if (status)
            *status = result;
        if (error)
            *error = resources().text(key);
        return false;
    };
    std::string page = pageDir;
    while (page.size() > 1 && (page.back() == '/' || page.back() == '\\'))
        page.pop_back();
    const std::string parent = directoryOf(page);
    if (parent.find_first_of(kPathSeparators) == std::string::npos)
        return failWith(ZipStatus::Create, "e_bad_zipdir");
    const std::string name = fileName(page);
    const std::string archive = joinPath(page, name + ".zip");
    ZipOptions options;
    options.rootDir = parent;
    options.recurse = 1;
    // The earlier archive is replaced only by a complete new one.
    ZipStatus result = zipArchive(options, archive, {name});
    if (result != ZipStatus::Ok)
        return failWith(result, "e_zip_write");
    if (status)
        *status = result;
    return true;
}

}  // namespace veltro
