// The escaping shared by the frame store index and the viewer data file: the
// marker "NCRF", then the text with 0x01, CR and LF replaced by two-byte
// sequences, so the written file holds no line-end bytes at all.
#pragma once

#include <string>
#include <string_view>

namespace veltro {

// The four bytes that open every escaped file.
inline constexpr std::string_view kNcrfMarker = "NCRF";

// The marker followed by the text with 0x01 -> 01 01, CR -> 01 02, LF -> 01 03.
std::string ncrfEscape(std::string_view text);
// True when the bytes begin with the marker.
bool isNcrfEscaped(std::string_view bytes);
// Undoes ncrfEscape for bytes that begin with the marker (raw CR and LF are
// dropped, 01 x becomes CR for 02, LF for 03, else x); other bytes are
// returned unchanged.
std::string ncrfUnescape(std::string_view bytes);

}  // namespace veltro
