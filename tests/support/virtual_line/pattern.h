// The byte pattern that both ends of the virtual line generate and check, so that a long
// transfer is verified byte for byte without carrying the bytes over the control connection.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vline {

// Byte `index` of the stream numbered `seed`: every value 0..255 occurs, CR, LF, XON and XOFF
// included, in an order that a dropped, doubled or swapped byte does not reproduce.
inline uint8_t PatternByte(uint32_t seed, uint64_t index) {
    uint64_t x = (index + 1) * 0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(seed) << 32);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<uint8_t>(x);
}

inline void FillPattern(uint32_t seed, uint64_t first, uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = PatternByte(seed, first + i);
}

}  // namespace vline
