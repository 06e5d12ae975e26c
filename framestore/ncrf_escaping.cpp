#include "framestore/ncrf_escaping.h"

namespace veltro {

namespace {
constexpr char kEscape = 0x01;
}

std::string ncrfEscape(std::string_view text) {
    std::string out(kNcrfMarker);
    out.reserve(kNcrfMarker.size() + text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case kEscape: out += "\x01\x01"; break;
        case '\r': out += "\x01\x02"; break;
        case '\n': out += "\x01\x03"; break;
        default: out += c;
        }
    }
    return out;
}

bool isNcrfEscaped(std::string_view bytes) {
    return bytes.substr(0, kNcrfMarker.size()) == kNcrfMarker;
}

std::string ncrfUnescape(std::string_view bytes) {
    if (!isNcrfEscaped(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = kNcrfMarker.size(); i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n')
            continue;
        if (c != kEscape) {
            out += c;
            continue;
        }
        if (++i >= bytes.size())
            break;  // a lone escape byte at the very end carries nothing
        const char x = bytes[i];
        out += x == 0x02 ? '\r' : x == 0x03 ? '\n' : x;
    }
    return out;
}

}  // namespace veltro
