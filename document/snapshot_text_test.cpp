// The snapshot line reader and its number parsers, on ordinary and hostile
// text.
#include "document/snapshot_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace veltro {
namespace {

std::vector<std::pair<std::string, std::string>> readAll(std::string_view text) {
    SnapshotLineReader in(text);
    std::vector<std::pair<std::string, std::string>> lines;
    while (in.next())
        lines.emplace_back(in.key(), in.value());
    EXPECT_TRUE(in.atEnd());
    EXPECT_TRUE(in.key().empty());
    return lines;
}

TEST(SnapshotLineReaderTest, SplitsKeysAtTheFirstBlankAndSkipsOtherLines) {
    auto lines = readAll(".V 3\nskip me\n\n.ON two  words \n.ODMI0 \n..\n.X\r\n.L 5");
    using Line = std::pair<std::string, std::string>;
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], Line("V", "3"));
    EXPECT_EQ(lines[1], Line("ON", "two  words "));
    EXPECT_EQ(lines[2], Line("ODMI0", ""));
    EXPECT_EQ(lines[3], Line(".", ""));
    EXPECT_EQ(lines[4], Line("X\r", "")) << "CR is an ordinary byte; the cut-off last line is not read";
}

TEST(SnapshotLineReaderTest, OverlongLinesEndTheRead) {
    std::string text = ".A 1\n." + std::string(kMaxSnapshotLineLength, 'k') + "\n.B 2\n";
    SnapshotLineReader in(text);
    ASSERT_TRUE(in.next());
    EXPECT_FALSE(in.next());
    EXPECT_TRUE(in.atEnd());
    EXPECT_FALSE(in.next());
}

TEST(SnapshotLineReaderTest, KeyPrefixes) {
    SnapshotLineReader in(".ODMC2 1 2 3\n");
    ASSERT_TRUE(in.next());
    EXPECT_TRUE(in.keyStartsWith("O"));
    EXPECT_TRUE(in.keyStartsWith("ODMC"));
    EXPECT_FALSE(in.keyStartsWith("ODMC2x"));
}

TEST(SnapshotNumbersTest, IntegersParseLikeScanfAndRejectOverflow) {
    int v[4] = {};
    ASSERT_TRUE(parseSnapshotInts(" 1 -2\t+3 4 trailing", v, 4));
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], -2);
    EXPECT_EQ(v[2], 3);
    EXPECT_EQ(v[3], 4);
    EXPECT_TRUE(parseSnapshotInts("2147483647 -2147483648", v, 2));
    EXPECT_EQ(v[0], INT_MAX);
    EXPECT_EQ(v[1], INT_MIN);
    EXPECT_FALSE(parseSnapshotInts("2147483648", v, 1));
    EXPECT_FALSE(parseSnapshotInts("-99999999999999999999999", v, 1));
    EXPECT_FALSE(parseSnapshotInts("1 2", v, 3));
    EXPECT_FALSE(parseSnapshotInts("- 1", v, 1));
    EXPECT_FALSE(parseSnapshotInts("", v, 1));
}

TEST(SnapshotNumbersTest, PathPointsTruncateTheirRealNumber) {
    int a, b, c, f;
    ASSERT_TRUE(parseSnapshotPathPoint("10 20 7.9 1", a, b, c, f));
    EXPECT_EQ(c, 7);
    ASSERT_TRUE(parseSnapshotPathPoint("10 20 -7.9 0", a, b, c, f));
    EXPECT_EQ(c, -7);
    EXPECT_EQ(f, 0);
    ASSERT_TRUE(parseSnapshotPathPoint("1 2 3e2 1", a, b, c, f));
    EXPECT_EQ(c, 300);
    EXPECT_FALSE(parseSnapshotPathPoint("1 2 1e300 1", a, b, c, f));
    EXPECT_FALSE(parseSnapshotPathPoint("1 2 nan 1", a, b, c, f));
    EXPECT_FALSE(parseSnapshotPathPoint("1 2 inf 1", a, b, c, f));
    EXPECT_FALSE(parseSnapshotPathPoint("1 2 3", a, b, c, f));
    EXPECT_FALSE(parseSnapshotPathPoint("1 2 x 1", a, b, c, f));
}

TEST(SnapshotNumbersTest, AtoiValuesClampInsteadOfOverflowing) {
    EXPECT_EQ(snapshotInt("42abc"), 42);
    EXPECT_EQ(snapshotInt("  -7"), -7);
    EXPECT_EQ(snapshotInt("abc"), 0);
    EXPECT_EQ(snapshotInt(""), 0);
    EXPECT_EQ(snapshotInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(snapshotInt("-99999999999999999999"), INT_MIN);
}

}  // namespace
}  // namespace veltro
