// The host build has no code page tables of its own system to ask, so it describes the two code
// pages the program is run with: Western (1252) and Japanese (932).
#include "platform/case_folding.h"

namespace platform {

namespace {

// Windows-1252: the Latin-1 letters à..þ (except ÷) have their capitals 32 below; š œ ž ÿ have
// theirs in the 0x80 row.
CaseFolding Western() {
    CaseFolding f = CaseFolding::AsciiOnly();
    for (int b = 0xE0; b <= 0xFE; ++b)
        if (b != 0xF7) f.Upper[static_cast<size_t>(b)] = static_cast<uint8_t>(b - 32);
    f.Upper[0x9A] = 0x8A;
    f.Upper[0x9C] = 0x8C;
    f.Upper[0x9E] = 0x8E;
    f.Upper[0xFF] = 0x9F;
    return f;
}

// Shift-JIS (932): ASCII letters fold; 0x81..0x9F and 0xE0..0xFC are lead bytes; the half-width
// katakana 0xA1..0xDF have no case.
CaseFolding Japanese() {
    CaseFolding f = CaseFolding::AsciiOnly();
    for (int b = 0x81; b <= 0x9F; ++b) f.Lead[static_cast<size_t>(b)] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) f.Lead[static_cast<size_t>(b)] = true;
    return f;
}

}  // namespace

CaseFolding CaseFolding::ForCodePage(uint32_t CodePage) {
    switch (CodePage) {
        case 1252:
            return Western();
        case 932:
            return Japanese();
        default:
            return CaseFolding::AsciiOnly();
    }
}

const CaseFolding& SystemCaseFolding() {
    static const CaseFolding folding = CaseFolding::ForCodePage(1252);
    return folding;
}

}  // namespace platform
