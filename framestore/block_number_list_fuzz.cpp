// Hostile block-number streams: decoding must fail cleanly or give a list
// that encodes and decodes back to itself. The value ceiling bounds memory;
// it is 1 Mi values here (16 Mi by default) so that streams claiming the
// most values a single-leaf tree allows do not slow the search down.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framestore/block_number_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    veltro::BlockNumberList list;
    constexpr size_t kMaxValues = size_t(1) << 20;
    if (!list.decode(data, size, kMaxValues))
        return 0;
    std::string again;
    list.encode(again);
    veltro::BlockNumberList back;
    if (!back.decode(reinterpret_cast<const uint8_t*>(again.data()), again.size(), kMaxValues) || back.values() != list.values())
        std::abort();
    return 0;
}
