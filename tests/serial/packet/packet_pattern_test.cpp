// Start and end patterns: wildcards and escapes, case folding, and the restart after a mismatch.
#include <gtest/gtest.h>

#include "serial/packet/packet_pattern.h"

TEST(PacketPattern, WildcardsAndEscapesCompileToBytesAndMask) {
    struct Case {
        std::string source, bytes, mask;
    } cases[] = {
        {"A?C", "A?C", "010"}, {"A\\?C", "A?C", "000"}, {"A\\\\", "A\\", "00"},
        {"AB\\", "AB", "00"},  // a trailing lone backslash is dropped
        {"\\", "", ""},        {"??", "??", "11"},      {"\\a\\\\?", "a\\?", "001"},
    };
    for (const Case& c : cases) {
        std::string bytes = c.source, mask;
        CompileWildcards(bytes, mask);
        EXPECT_EQ(bytes, c.bytes) << c.source;
        EXPECT_EQ(mask, c.mask) << c.source;
    }
}

TEST(PacketPattern, IgnoreCaseFoldsOnlyAToZ) {
    TPacketPattern p;
    p.Compile("ab\xe9[", true);
    EXPECT_EQ(p.Bytes, "AB\xe9[");
    EXPECT_TRUE(p.Matches('a', 1));
    EXPECT_TRUE(p.Matches('A', 1));
    EXPECT_TRUE(p.Matches('b', 2));
    EXPECT_TRUE(p.Matches(0xE9, 3));
    EXPECT_FALSE(p.Matches(0xC9, 3)) << "bytes 128 to 255 never fold";
    EXPECT_TRUE(p.Matches('[', 4));
    EXPECT_FALSE(p.Matches('{', 4)) << "only a to z fold, not the bytes next to them";
    EXPECT_FALSE(p.Matches('a', 5)) << "past the end";

    TPacketPattern exact;
    exact.Compile("ab", false);
    EXPECT_TRUE(exact.Matches('a', 1));
    EXPECT_FALSE(exact.Matches('A', 1));
}

TEST(PacketPattern, FoldingHappensBeforeWildcards) {
    TPacketPattern p;
    p.Compile("a\\?", true);
    EXPECT_EQ(p.Bytes, "A?");
    EXPECT_EQ(p.Mask, "00");
    EXPECT_TRUE(p.Matches('?', 2));
    EXPECT_FALSE(p.Matches('x', 2));
}

TEST(PacketPattern, RestartFindsTheLongestPrefixEndingAtTheMismatch) {
    TPacketPattern p;
    p.Compile("AAB", false);
    const std::string buf = "AAAB";
    const auto* b = reinterpret_cast<const uint8_t*>(buf.data());
    // The attempt from 0 matched AA and failed on the third A (index 2).
    EXPECT_EQ(p.Restart(b, 0, 2), 1);

    TPacketPattern crlf;
    crlf.Compile("\r\n", false);
    const std::string line = "A\r\r\n";
    const auto* l = reinterpret_cast<const uint8_t*>(line.data());
    EXPECT_EQ(crlf.Restart(l, 1, 2), 2);  // the second CR starts a new attempt
    const std::string other = "A\rB\n";
    EXPECT_EQ(crlf.Restart(reinterpret_cast<const uint8_t*>(other.data()), 1, 2), -1);
}
