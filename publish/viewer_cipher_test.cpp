#include "publish/viewer_cipher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace veltro {
namespace {

TEST(ViewerCipher, KeyBytesFollowTheParityRule) {
    EXPECT_EQ(viewerKeyText(), "12071998");
    // '0' (0x30) and each "9" (0x39) carry an even number of ones and gain 0x80.
    EXPECT_EQ(viewerKeyBytes(), std::string("\x31\x32\xB0\x37\x31\xB9\xB9\x38", 8));
}

TEST(ViewerCipher, PadsToWholeBlocksWithLineFeeds) {
    std::string body(31, 'x');
    std::string stored = encipherViewerBody(body);
    ASSERT_EQ(stored.size(), 32u);
    auto back = decipherViewerBody(stored);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, body + "\x0A");
    EXPECT_EQ(encipherViewerBody(std::string(16, 'y')).size(), 16u) << "no padding block";
    EXPECT_FALSE(decipherViewerBody(std::string(9, 'z')));
}

// An independent DES implementation (OpenSSL's legacy provider) reads what we
// write, so the browser viewer and any other reader can rely on the format.
TEST(ViewerCipher, OpenSslDeciphersTheStoredBody) {
    const std::string body = "The quick brown fox jumps over the lazy dog 0123456789";
    namespace fs = std::filesystem;
    fs::path file = fs::temp_directory_path() / ("veltro_cipher_" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << encipherViewerBody(body);
    std::string command = "openssl enc -d -des-cbc -nopad -provider legacy -provider default "
                          "-K 3132b03731b9b938 -iv 0000000000000000 -in '" + file.string() + "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    int rc = pclose(pipe);
    fs::remove(file);
    ASSERT_EQ(rc, 0) << output;
    std::string padded = body;
    while (padded.size() % 8)
        padded += '\x0A';
    EXPECT_EQ(output, padded);
}

}  // namespace
}  // namespace veltro
