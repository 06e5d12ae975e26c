#include "framestore/block_number_list.h"

#include <gtest/gtest.h>

#include <random>

namespace veltro {
namespace {

std::string encoded(std::initializer_list<int> values) {
    BlockNumberList list;
    for (int v : values)
        EXPECT_TRUE(list.push(v));
    std::string out;
    list.encode(out);
    return out;
}

std::vector<int32_t> decoded(const std::string& bytes, bool* ok = nullptr) {
    BlockNumberList list;
    const bool result = list.decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (ok)
        *ok = result;
    return list.values();
}

TEST(BlockNumberListTest, ExactStreamsOfTheReferenceLists) {
    EXPECT_EQ(encoded({0}), std::string("\x00\x00\x00\x02\x00\x00", 6));
    EXPECT_EQ(encoded({2, 0, 2}), std::string("\x00\x00\x00\x06\x00\x05\x0A\x80", 8));
    bool ok = false;
    EXPECT_EQ(decoded(std::string("\x00\x00\x00\x02\x00\x00", 6), &ok), (std::vector<int32_t>{0}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(decoded(std::string("\x00\x00\x00\x06\x00\x05\x0A\x80", 8), &ok), (std::vector<int32_t>{2, 0, 2}));
    EXPECT_TRUE(ok);
}

TEST(BlockNumberListTest, CursorAndRange) {
    BlockNumberList list;
    EXPECT_EQ(list.next(), -1);
    EXPECT_FALSE(list.push(-1));
    EXPECT_FALSE(list.push(65536));
    EXPECT_TRUE(list.push(65535));
    EXPECT_TRUE(list.push(7));
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(list.maximum(), 65535);
    EXPECT_EQ(list.next(), 65535);
    EXPECT_EQ(list.next(), 7);
    EXPECT_EQ(list.next(), -1);
    EXPECT_EQ(list.next(), -1);
    list.rewind();
    EXPECT_EQ(list.next(), 65535);
}

TEST(BlockNumberListTest, RandomListsRoundTrip) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        BlockNumberList list;
        const int count = std::uniform_int_distribution<int>(1, 3000)(rng);
        // Mix of shapes: tiny alphabets, wide uniform values, skewed (like
        // block indices near each other and small entry numbers).
        const int kind = round % 4;
        const int top = kind == 0 ? 1 : kind == 1 ? 65535 : kind == 2 ? 1199 : 40;
        std::uniform_int_distribution<int> uniform(0, top);
        std::geometric_distribution<int> skewed(0.05);
        std::vector<int32_t> expected;
        for (int i = 0; i < count; ++i) {
            const int v = kind == 3 ? std::min(skewed(rng), 65535) : uniform(rng);
            ASSERT_TRUE(list.push(v));
            expected.push_back(v);
        }
        std::string bytes;
        list.encode(bytes);
        BlockNumberList back;
        ASSERT_TRUE(back.decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << round;
        ASSERT_EQ(back.values(), expected) << round;
        EXPECT_EQ(back.size(), count);
        EXPECT_EQ(back.next(), expected[0]);
    }
}

TEST(BlockNumberListTest, SingleDistinctValueHasEmptyCodes) {
    BlockNumberList list;
    for (int i = 0; i < 1000; ++i)
        list.push(300);
    std::string bytes;
    list.encode(bytes);
    // 31 + 16 bits of header, a 0 bit and 9 value bits: 57 bits in 8 bytes.
    EXPECT_EQ(bytes.size(), 8u);
    EXPECT_EQ(decoded(bytes), std::vector<int32_t>(1000, 300));
}

TEST(BlockNumberListTest, DecodeReplacesContents) {
    BlockNumberList list;
    list.push(9);
    list.push(9);
    const std::string bytes = encoded({2, 0, 2});
    ASSERT_TRUE(list.decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(list.values(), (std::vector<int32_t>{2, 0, 2}));
    EXPECT_EQ(list.maximum(), 2);
}

TEST(BlockNumberListTest, MalformedStreamsAreRejected) {
    bool ok = true;
    // Every truncation of a valid stream fails (the last byte holds code bits).
    const std::string good = encoded({5, 1, 5, 3, 5, 1, 0});
    for (size_t cut = 0; cut < good.size(); ++cut) {
        decoded(good.substr(0, cut), &ok);
        EXPECT_FALSE(ok) << cut;
    }
    // Maximum 0 admits no internal node: count 1, M 0, then a 1 bit.
    decoded(std::string("\x00\x00\x00\x02\x00\x01\x00", 7), &ok);
    EXPECT_FALSE(ok);
    // A leaf value above the maximum: M = 2 (b = 2), a single leaf 3.
    decoded(std::string("\x00\x00\x00\x02\x00\x04\xC0", 7), &ok);
    EXPECT_FALSE(ok);
    // A tree that keeps opening internal nodes runs past 2M.
    decoded(std::string("\x00\x00\x00\x02\x00\x05\xFF\xFF\xFF", 9), &ok);
    EXPECT_FALSE(ok);
    // The tree of [2, 0, 2] but a count of a million values after it.
    decoded(std::string("\x00\x1E\x84\x80\x00\x05\x0A\x80", 8), &ok);
    EXPECT_FALSE(ok);
}

TEST(BlockNumberListTest, CountCeilingBoundsASingleLeafStream) {
    // A single leaf costs no bits per value, so only the ceiling stops a
    // six-byte stream from claiming two billion values.
    const std::string huge("\xFF\xFF\xFF\xFE\x00\x00", 6);
    BlockNumberList list;
    EXPECT_FALSE(list.decode(reinterpret_cast<const uint8_t*>(huge.data()), huge.size()));
    EXPECT_EQ(list.size(), 0);
    const std::string modest = encoded({0, 0, 0, 0});
    EXPECT_FALSE(list.decode(reinterpret_cast<const uint8_t*>(modest.data()), modest.size(), 3));
    EXPECT_TRUE(list.decode(reinterpret_cast<const uint8_t*>(modest.data()), modest.size(), 4));
    EXPECT_EQ(list.size(), 4);
}

}  // namespace
}  // namespace veltro
