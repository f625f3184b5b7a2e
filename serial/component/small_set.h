// A set of values of a small enumeration (values 0 to 63), kept as one bit word: the sets of
// component states, options and flags of the serial layer.
#pragma once
#include <cassert>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

template <typename E>
class SmallSet {
    static_assert(std::is_enum_v<E>, "SmallSet holds values of an enumeration");

  public:
    constexpr SmallSet() = default;
    constexpr SmallSet(std::initializer_list<E> items) {
        for (E e : items) FBits |= Bit(e);
    }

    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr SmallSet& Include(E e) {
        FBits |= Bit(e);
        return *this;
    }
    constexpr SmallSet& Exclude(E e) {
        FBits &= ~Bit(e);
        return *this;
    }
    constexpr uint64_t Bits() const { return FBits; }

    friend constexpr bool operator==(SmallSet a, SmallSet b) { return a.FBits == b.FBits; }
    friend constexpr SmallSet operator+(SmallSet a, SmallSet b) {
        return FromBits(a.FBits | b.FBits);
    }
    friend constexpr SmallSet operator*(SmallSet a, SmallSet b) {
        return FromBits(a.FBits & b.FBits);
    }
    friend constexpr SmallSet operator-(SmallSet a, SmallSet b) {
        return FromBits(a.FBits & ~b.FBits);
    }

  private:
    static constexpr uint64_t Bit(E e) {
        const auto v = static_cast<std::underlying_type_t<E>>(e);
        assert(v >= 0 && v < 64);
        return uint64_t{1} << v;
    }
    static constexpr SmallSet FromBits(uint64_t bits) {
        SmallSet s;
        s.FBits = bits;
        return s;
    }

    uint64_t FBits = 0;
};
