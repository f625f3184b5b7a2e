// How the trace and the dispatch log write one byte: the character itself, or its number in
// brackets, in hexadecimal ("[0D]") or in decimal ("[13]").
#pragma once
#include <cstdint>
#include <cstdio>

// Whether a byte is written as itself: the visible ASCII characters, and the space unless the
// file is in hexadecimal (where a bracketed 20 is easier to see than a blank).
inline bool LogByteIsLiteral(uint8_t b, bool InHex) {
    return b >= (InHex ? 0x21 : 0x20) && b <= 0x7E;
}

// Writes the byte into item and returns its width.
inline int FormatLogByte(char (&item)[8], uint8_t b, bool Literal, bool Hex) {
    if (Literal) {
        item[0] = static_cast<char>(b);
        item[1] = 0;
        return 1;
    }
    return std::snprintf(item, sizeof item, Hex ? "[%02X]" : "[%u]", b);
}
