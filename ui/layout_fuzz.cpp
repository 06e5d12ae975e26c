// Feeds arbitrary bytes to the dialog.txt line parser and the file-filter
// converter: both must take any text without crashing or reading beyond it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/dialogs.h"
#include "ui/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    while (at <= input.size()) {
        size_t end = input.find('\n', at);
        if (end == std::string_view::npos)
            end = input.size();
        veltro::parseLayoutLine(input.substr(at, std::min(end - at, veltro::kLayoutLineLimit)));
        at = end + 1;
    }
    veltro::toQtFilter(std::string(input));
    return 0;
}
