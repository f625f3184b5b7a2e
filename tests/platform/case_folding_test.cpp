// Case folding from a code page's mapping. The same expectations hold for the host's description
// of the two code pages and for the tables the Windows build reads from the system.
#include <gtest/gtest.h>

#include <string>

#include "platform/case_folding.h"

namespace {

using platform::CaseFolding;

struct ByteCase {
    uint8_t byte;
    uint8_t upper1252;
    uint8_t upper932;  // for a byte read on its own
    bool lead932;
};

TEST(CaseFolding, EachByteFoldsAsItsCodePageSays) {
    const ByteCase cases[] = {
        {'a', 'A', 'A', false},    {'z', 'Z', 'Z', false},    {'A', 'A', 'A', false},
        {'0', '0', '0', false},    {0xE9, 0xC9, 0xE9, true},   // é; a lead byte in 932
        {0xE0, 0xC0, 0xE0, true},  {0xFE, 0xDE, 0xFE, false},  // þ; not a 932 lead byte
        {0xF7, 0xF7, 0xF7, true},                              // ÷ has no capital
        {0x9A, 0x8A, 0x9A, true},                              // š
        {0x9C, 0x8C, 0x9C, true},                              // œ
        {0x9E, 0x8E, 0x9E, true},                              // ž
        {0xFF, 0x9F, 0xFF, false},                             // ÿ; 932 has no such byte
        {0xB5, 0xB5, 0xB5, false},  // µ: its capital is not in 1252; a katakana in 932
        {0xDF, 0xDF, 0xDF, false},  // ß
        {0x81, 0x81, 0x81, true},  {0xFC, 0xDC, 0xFC, true},  {0xB1, 0xB1, 0xB1, false},  // ｱ
    };
    const CaseFolding western = CaseFolding::ForCodePage(1252);
    const CaseFolding japanese = CaseFolding::ForCodePage(932);
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(c.upper1252, western.Upper[c.byte]);
        EXPECT_FALSE(western.Lead[c.byte]);
        EXPECT_EQ(c.lead932, japanese.Lead[c.byte]);
        if (!c.lead932) {
            EXPECT_EQ(c.upper932, japanese.Upper[c.byte]);
        }
    }
}

TEST(CaseFolding, TextKeepsDoubleByteCharactersWhole) {
    const struct {
        uint32_t codePage;
        std::string text;
        std::string folded;
    } cases[] = {
        {1252, "ok \xE9t\xE9 \x82\x61", "OK \xC9T\xC9 \x82\x41"},
        {932, "ok \xE9t\xE9 \x82\x61", "OK \xE9t\xE9 \x82\x61"},  // t and a are trail bytes
        {932, "\x83\x83\x61\x62", "\x83\x83\x41\x42"},            // a pair, then two letters
        {932, "ab\x82", "AB\x82"},                                // a lead byte at the end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.text);
        std::string text = c.text;
        CaseFolding::ForCodePage(c.codePage)
            .FoldText(reinterpret_cast<uint8_t*>(text.data()), text.size());
        EXPECT_EQ(c.folded, text);
    }
}

TEST(CaseFolding, AnUnknownCodePageFoldsAsciiLettersAlone) {
    const CaseFolding f = CaseFolding::ForCodePage(1);  // no such code page
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<uint8_t>(b);
        EXPECT_EQ(b >= 'a' && b <= 'z' ? b - 32 : b, f.Upper[byte]) << b;
        EXPECT_FALSE(f.Lead[byte]) << b;
    }
}

}  // namespace
