// Helpers shared by the image tests: a scratch directory removed afterwards,
// whole-file reads and writes, and running the independent tools (ImageMagick,
// python3-pil) that make and inspect fixtures.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace veltro::testing {

// A fresh directory under the system's temporary directory, deleted with its
// contents when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltro-img-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()))
            m_path = buffer.data();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

// A fuzz seed from the source tree (fuzz/seeds/<harness>/<name>); empty when
// the tree is not found.
inline std::vector<uint8_t> fuzzSeed(const std::string& harness, const std::string& name) {
    const char* source = std::getenv("VELTRO_SOURCE_DIR");
    return readBytes(std::string(source ? source : ".") + "/fuzz/seeds/" + harness + "/" + name);
}

// The process's peak resident memory so far, in bytes.
inline size_t peakResidentBytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

// Runs a shell command; true when it exits with status 0.
inline bool runCommand(const std::string& command) { return std::system(command.c_str()) == 0; }

// Runs a shell command and returns what it printed on stdout.
inline std::string captureCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

// Pixels as an independent tool sees them: Debian's python3 with PIL prints one
// 0xAARRGGBB word per pixel, row by row, of the first frame converted to RGBA.
inline std::vector<uint32_t> pixelsSeenByPil(const std::string& path, int* width = nullptr, int* height = nullptr) {
    std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1]).convert('RGBA')\n"
        "print(im.width, im.height)\n"
        "print(' '.join('%d' % (a << 24 | r << 16 | g << 8 | b) for (r, g, b, a) in im.getdata()))\n";
    std::string scriptPath = (std::filesystem::temp_directory_path() / ("veltro-pil-" + std::to_string(::getpid()) + ".py")).string();
    {
        std::ofstream out(scriptPath);
        out << script;
    }
    std::string output = captureCommand("/usr/bin/python3 " + scriptPath + " '" + path + "'");
    std::filesystem::remove(scriptPath);
    std::vector<uint32_t> pixels;
    const char* p = output.c_str();
    char* end = nullptr;
    long w = std::strtol(p, &end, 10);
    long h = std::strtol(end, &end, 10);
    if (width)
        *width = int(w);
    if (height)
        *height = int(h);
    while (*end) {
        const char* start = end;
        unsigned long value = std::strtoul(start, &end, 10);
        if (end == start)
            break;
        pixels.push_back(uint32_t(value));
    }
    return pixels;
}

}  // namespace veltro::testing
