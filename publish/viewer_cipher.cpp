#include "publish/viewer_cipher.h"

#include <nettle/cbc.h>
#include <nettle/des.h>

#include <bit>
#include <cstdio>

namespace veltro {

namespace {

constexpr size_t kBlock = DES_BLOCK_SIZE;

des_ctx keySchedule() {
    const std::string key = viewerKeyBytes();
    des_ctx ctx;
    // The key bytes are fixed and not weak; nettle ignores the parity bits.
    des_set_key(&ctx, reinterpret_cast<const uint8_t*>(key.data()));
    return ctx;
}

}  // namespace

std::string viewerKeyText() {
    char text[16];
    std::snprintf(text, sizeof text, "%08d", kViewerKeyHigh * 10000 + kViewerKeyLow);
    return text;
}

std::string viewerKeyBytes() {
    std::string key = viewerKeyText();
    for (char& c : key) {
        unsigned low = static_cast<unsigned char>(c) & 0x7F;
        c = static_cast<char>(std::popcount(low) % 2 == 0 ? low | 0x80 : low);
    }
    return key;
}

std::string encipherViewerBody(const std::string& body) {
    std::string padded = body;
    while (padded.size() % kBlock != 0)
        padded += '\x0A';
    des_ctx ctx = keySchedule();
    uint8_t iv[kBlock] = {};
    std::string out(padded.size(), '\0');
    cbc_encrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt), kBlock, iv, padded.size(),
                reinterpret_cast<uint8_t*>(out.data()), reinterpret_cast<const uint8_t*>(padded.data()));
    return out;
}

std::optional<std::string> decipherViewerBody(const std::string& enciphered) {
    if (enciphered.size() % kBlock != 0)
        return std::nullopt;
    des_ctx ctx = keySchedule();
    uint8_t iv[kBlock] = {};
    std::string out(enciphered.size(), '\0');
    cbc_decrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_decrypt), kBlock, iv, enciphered.size(),
                reinterpret_cast<uint8_t*>(out.data()), reinterpret_cast<const uint8_t*>(enciphered.data()));
    return out;
}

}  // namespace veltro
