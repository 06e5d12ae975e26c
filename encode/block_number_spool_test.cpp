#include "encode/block_number_spool.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "image/image_test_support.h"

namespace veltro {
namespace {

// Block numbers the way a store produces them: sprite counts, entry numbers
// and block indices, mixed.
std::vector<int> storeLikeValues(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int> values;
    while (values.size() < count) {
        const int sprites = std::uniform_int_distribution<int>(0, 300)(rng);
        values.push_back(sprites);
        const int entry = std::uniform_int_distribution<int>(0, 9999)(rng);
        for (int k = 0; k < sprites && values.size() + 2 <= count; ++k) {
            values.push_back(entry + k % 3);
            values.push_back(std::uniform_int_distribution<int>(0, 4799)(rng));
        }
    }
    values.resize(count);
    return values;
}

std::string wholeStream(const std::vector<int>& values) {
    BlockNumberList list;
    for (int v : values)
        EXPECT_TRUE(list.push(v));
    std::string out;
    list.encode(out);
    return out;
}

// The spool's stream, joined from its pieces; largestPiece receives the
// size of the largest one.
std::string spooledStream(const BlockNumberSpool& spool, size_t* largestPiece = nullptr, bool* ok = nullptr) {
    std::string out;
    size_t largest = 0;
    const bool coded = spool.encode([&](const std::string& piece) {
        out += piece;
        largest = std::max(largest, piece.size());
        return true;
    });
    if (largestPiece)
        *largestPiece = largest;
    if (ok)
        *ok = coded;
    return out;
}

std::vector<int32_t> decoded(const std::string& stream) {
    BlockNumberList list;
    EXPECT_TRUE(list.decode(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()));
    return list.values();
}

TEST(BlockNumberSpoolTest, SpooledListsCodeAsTheWholeListInBoundedPieces) {
    testing::TempDir dir;
    for (size_t count : {size_t(1), size_t(1000), BlockNumberSpool::kBufferValues,
                         5 * BlockNumberSpool::kBufferValues + 17, size_t(400000)}) {
        const std::vector<int> values = storeLikeValues(count, uint32_t(count));
        BlockNumberSpool spool(dir.path());
        for (int v : values)
            ASSERT_TRUE(spool.push(v));
        EXPECT_EQ(spool.size(), count);
        EXPECT_FALSE(spool.inMemory());

        size_t largest = 0;
        bool ok = false;
        const std::string stream = spooledStream(spool, &largest, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(stream, wholeStream(values)) << count << " values";
        EXPECT_EQ(decoded(stream), std::vector<int32_t>(values.begin(), values.end())) << count << " values";
        EXPECT_LE(largest, BlockNumberSpool::kPieceBytes + 16) << count << " values";
        // Coding twice gives the same stream: reading back does not consume.
        EXPECT_EQ(spooledStream(spool), stream);
    }
    // The spool file has no name: the directory stays empty.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(BlockNumberSpoolTest, OutOfRangeValuesAndARefusingSink) {
    testing::TempDir dir;
    BlockNumberSpool spool(dir.path());
    EXPECT_FALSE(spool.push(-1));
    EXPECT_FALSE(spool.push(BlockNumberList::kMaxValue + 1));
    EXPECT_TRUE(spool.push(BlockNumberList::kMaxValue));
    EXPECT_TRUE(spool.push(0));
    EXPECT_EQ(spool.size(), 2u);
    EXPECT_EQ(spooledStream(spool), wholeStream({BlockNumberList::kMaxValue, 0}));

    BlockNumberList list;
    list.push(3);
    list.push(5);
    spool.append(list);
    EXPECT_EQ(decoded(spooledStream(spool)), (std::vector<int32_t>{BlockNumberList::kMaxValue, 0, 3, 5}));

    for (int v : storeLikeValues(300000, 3))
        spool.push(v);
    int pieces = 0;
    EXPECT_FALSE(spool.encode([&](const std::string&) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);  // nothing more is offered once a piece is refused
}

// Where no file can be made the values stay in memory and code the same.
TEST(BlockNumberSpoolTest, WithoutAnyFileTheListStaysInMemory) {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    ::setenv("TMPDIR", "/nonexistent-veltro-dir", 1);
    const std::vector<int> values = storeLikeValues(3 * BlockNumberSpool::kBufferValues + 5, 9);
    BlockNumberSpool spool("/nonexistent-veltro-dir/store");
    for (int v : values)
        spool.push(v);
    if (previous)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_TRUE(spool.inMemory());
    EXPECT_EQ(spooledStream(spool), wholeStream(values));
}

// A spool file that stops taking writes (here: the file size limit) hands
// its values back to memory; none is lost and the order holds.
TEST(BlockNumberSpoolTest, FailedFileWriteKeepsEveryValue) {
    testing::TempDir dir;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);

    const std::vector<int> values = storeLikeValues(6 * BlockNumberSpool::kBufferValues + 11, 21);
    BlockNumberSpool spool(dir.path());
    ASSERT_FALSE(spool.inMemory());
    // Room for one and a half buffers: the second write stops half way.
    rlimit small = saved;
    small.rlim_cur = BlockNumberSpool::kBufferValues * sizeof(uint16_t) * 3 / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int v : values)
        spool.push(v);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(spool.inMemory());
    bool ok = false;
    const std::string stream = spooledStream(spool, nullptr, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(stream, wholeStream(values));
}

}  // namespace
}  // namespace veltro
