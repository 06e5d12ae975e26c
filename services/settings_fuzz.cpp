// Feeds arbitrary bytes to the settings line parser and the string table
// lookup. Both must take any text without crashing, and settings written back
// the way the store saves them must parse to the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/resources.h"
#include "services/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    auto entries = veltro::Settings::parse(input);
    std::string saved;
    for (const auto& entry : entries) {
        if (entry.key.find_first_of("\r\n") != std::string::npos
            || entry.value.find_first_of("\r\n") != std::string::npos)
            std::abort();
        saved += entry.key + "=" + entry.value + "\n";
    }
    auto again = veltro::Settings::parse(saved);
    if (again.size() != entries.size())
        std::abort();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (again[i].key != entries[i].key || again[i].value != entries[i].value)
            std::abort();
    }
    for (const auto& entry : entries) {
        veltro::decimalValue(entry.value);
        veltro::hexValue(entry.value);
    }

    // The first line names the key looked up in the rest as a string table.
    size_t split = input.find('\n');
    std::string_view key = input.substr(0, split == std::string_view::npos ? input.size() : split);
    std::string_view table = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    auto text = veltro::Resources::lookUp(table, key);
    if (text && text->size() > table.size())
        std::abort();
    if (text)
        veltro::formatText(*text, {"a", "1"});
    return 0;
}
