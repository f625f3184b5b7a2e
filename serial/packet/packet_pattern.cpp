// Start and end patterns of the packet framer: folding, wildcards, byte tests and retries.
#include "serial/packet/packet_pattern.h"

std::string UpperCaseAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(FoldAsciiCase(static_cast<uint8_t>(c)));
    return s;
}

void CompileWildcards(std::string& Pattern, std::string& Mask) {
    std::string out;
    std::string mask;
    bool escaped = false;
    for (char c : Pattern) {
        if (escaped) {
            out += c;
            mask += '0';
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '?') {
            out += c;
            mask += '1';
        } else {
            out += c;
            mask += '0';
        }
    }
    Pattern = std::move(out);
    Mask = std::move(mask);
}

void TPacketPattern::Compile(const std::string& Source, bool AIgnoreCase) {
    IgnoreCase = AIgnoreCase;
    Bytes = AIgnoreCase ? UpperCaseAscii(Source) : Source;
    CompileWildcards(Bytes, Mask);
}

bool TPacketPattern::Matches(uint8_t B, int32_t Pos) const {
    if (Pos < 1 || Pos > Length()) return false;
    const size_t i = static_cast<size_t>(Pos - 1);
    if (Mask[i] == '1') return true;
    const uint8_t want = static_cast<uint8_t>(Bytes[i]);
    return (IgnoreCase ? FoldAsciiCase(B) : B) == want;
}

bool TPacketPattern::MatchesRun(const uint8_t* Buffer, int32_t From, int32_t To) const {
    for (int32_t k = From; k <= To; ++k)
        if (!Matches(Buffer[k], k - From + 1)) return false;
    return true;
}

int32_t TPacketPattern::Restart(const uint8_t* Buffer, int32_t Begin, int32_t I) const {
    for (int32_t s = Begin + 1; s <= I; ++s)
        if (MatchesRun(Buffer, s, I)) return s;
    return -1;
}
