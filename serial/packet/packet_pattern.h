// Start and end patterns as a packet matches them: case folding, wildcards and escapes, the test
// of one byte against one pattern position, and the retry that finds a later starting point after
// a mismatch. Plain functions of bytes, shared by every packet.
#pragma once
#include <cstdint>
#include <string>

// Folds a to z to A to Z; every other byte, 128 to 255 included, is left alone.
inline uint8_t FoldAsciiCase(uint8_t b) { return (b >= 'a' && b <= 'z') ? uint8_t(b - 32) : b; }
std::string UpperCaseAscii(std::string s);

// Reads Pattern left to right: "\" escapes the next byte (a trailing lone one is dropped), an
// unescaped "?" matches any byte. Pattern keeps the bytes to compare; Mask gets one character per
// byte, "1" for any byte and "0" for a literal.
void CompileWildcards(std::string& Pattern, std::string& Mask);

// A compiled pattern: the bytes as matched (upper-cased when IgnoreCase) and their mask.
struct TPacketPattern {
    std::string Bytes;
    std::string Mask;
    bool IgnoreCase = false;

    // Folds (when IgnoreCase) and compiles the pattern the user gave.
    void Compile(const std::string& Source, bool AIgnoreCase);
    int32_t Length() const { return static_cast<int32_t>(Bytes.size()); }
    // Whether byte B matches position Pos (1-based).
    bool Matches(uint8_t B, int32_t Pos) const;
    // Whether Buffer[From..To] all match the pattern from its first position.
    bool MatchesRun(const uint8_t* Buffer, int32_t From, int32_t To) const;
    // After an attempt at Buffer[Begin..] failed at index I: the first later starting point S
    // (Begin < S <= I) whose bytes S..I all match the pattern's first positions, or -1. Such a
    // run is always shorter than the pattern, so a retry never completes it.
    int32_t Restart(const uint8_t* Buffer, int32_t Begin, int32_t I) const;
};
