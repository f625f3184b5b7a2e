// Upper-case folding of 8-bit text in a code page, for matching that ignores case. Built from the
// code page's own mapping: each byte that stands for a character alone maps to the byte of that
// character's upper-case form when the code page has one; lead bytes of double-byte characters
// are marked, and neither they nor the byte after them (the trail byte) are ever folded.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

struct CaseFolding {
    std::array<uint8_t, 256> Upper{};  // the byte's upper case, for a byte read on its own
    std::array<bool, 256> Lead{};      // the byte starts a double-byte character

    // The folding of the given code page (1252 Western, 932 Japanese, ...). A code page the
    // system does not know folds the ASCII letters alone.
    static CaseFolding ForCodePage(uint32_t CodePage);
    // The ASCII letters folded, nothing else: where every code page agrees.
    static CaseFolding AsciiOnly();

    // Folds text in place: every byte that is not part of a double-byte character.
    void FoldText(uint8_t* Text, size_t Len) const;
};

// The folding of the code page the program converts its 8-bit text with (the system's ANSI code
// page on Windows; the host build runs as on a Western system, code page 1252). Built once.
const CaseFolding& SystemCaseFolding();

}  // namespace platform
