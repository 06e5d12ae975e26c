// The enciphered layer of the viewer data file: the body padded with 0x0A to
// a multiple of 8 and enciphered with DES in CBC mode under a zero vector.
// The browser viewer holds the same key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// The two constants the key text is printed from ("%08d" of a * 10000 + b).
inline constexpr int kViewerKeyHigh = 1207;
inline constexpr int kViewerKeyLow = 1998;

// The key text, "12071998".
std::string viewerKeyText();
// The eight key bytes after the parity rule: each keeps its low seven bits and
// gets 0x80 when those hold an even number of 1 bits.
std::string viewerKeyBytes();

// Pads body with 0x0A to a multiple of 8 and enciphers it.
std::string encipherViewerBody(const std::string& body);
// Deciphers whole blocks; none when the length is not a multiple of 8.
std::optional<std::string> decipherViewerBody(const std::string& enciphered);

}  // namespace veltro
