// The string table "res.txt" as a resource set reads it: the input is written
// as the table of a scratch resource directory, and every key the table's
// lines start with (plus a few that are not there) is looked up through the
// set and formatted as a message with too few, enough and too many
// arguments. A found text is always a line's rest, and formatting never
// reads beyond the arguments it was given.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "services/resources.h"

namespace {

struct ScratchDirectory {
    ScratchDirectory() {
        char pattern[] = "/tmp/veltro-fuzz-resources-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        path = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchDirectory scratch;
    const std::string table = scratch.path + "/res.txt";
    if (std::FILE* file = std::fopen(table.c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> keys = {"e_cant_open", "saving", "", "\xEF\xBB\xBF"};
    for (size_t pos = 0; pos < input.size() && keys.size() < 64;) {
        size_t end = input.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view line = input.substr(pos, end - pos);
        keys.emplace_back(line.substr(0, line.find_first_of(" \t")));
        pos = end + 1;
    }
    veltro::Resources resources(scratch.path);
    for (const std::string& key : keys) {
        const bool has = resources.hasText(key);
        const std::optional<std::string> text =
            veltro::Resources::lookUp(input.substr(0, veltro::kMaxStringTableSize), key);
        if (has != text.has_value())
            std::abort();
        if (!text)
            continue;
        if (text->size() > input.size() || text->find_first_of("\r\n") != std::string::npos)
            std::abort();
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{}, std::vector<std::string>{"a", "12"},
              std::vector<std::string>(8, "xyz")}) {
            const std::string message = veltro::formatText(*text, args);
            size_t argumentBytes = 0;
            for (const std::string& a : args)
                argumentBytes += a.size();
            // Each "%s" or "%d" takes the next argument, each argument once:
            // the message is at most the text plus every argument.
            if (message.size() > text->size() + argumentBytes)
                std::abort();
        }
    }
    return 0;
}
