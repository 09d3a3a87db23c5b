// Internal: the fast decoder's combined lookup table, computed at compile
// time from the format's own tables (stream_codes.h).
#ifndef CMPR_SRC_DECODE_FIXED_TABLES_H
#define CMPR_SRC_DECODE_FIXED_TABLES_H

#include <array>
#include <cstdint>

#include "stream_codes.h"

namespace cmpr {

// The fast decoder's main table, indexed by the next twelve stream bits.
// Literals, end codes and long matches read as in kLitLenTable; a length
// code without extra bits (lengths 3-10, the most common matches) is seven
// bits long, so the twelve bits also hold its distance code, and one lookup
// says both, in one of two forms.
//
// A near match, whose distance is 4 to kMaxSilentDistance whatever its
// extra bits say, is all the fast loop needs at once: bits 0-7 count the
// codes' bits and the distance's extra bits together, bits 8-11 hold the
// length, bit 12 says near, and bits 16-31 the distance's base, to which
// the extra bits (the entry's bits from bit 12 on) are added.
//
// Any other short match, kind kShortMatch, has bits 12, and in bits 16-19
// the length less 3, in bits 20-24 the distance code, in bits 25-28 its
// number of extra bits.
inline constexpr uint32_t kShortMatch = 0x20;
inline constexpr uint32_t kNearMatchFlag = 0x1000;
inline constexpr uint32_t kShortMatchCodeBits = 12;  // a length code of 7 bits and a distance code

constexpr uint32_t short_length(LitLenEntry e) {
    return ((e >> 16) & 15) + 3;
}
constexpr uint32_t short_distance_code(LitLenEntry e) {
    return (e >> 20) & 31;
}
constexpr uint32_t short_distance_extra(LitLenEntry e) {
    return (e >> 25) & 15;
}

constexpr bool is_near_match(LitLenEntry e) {
    return (e & kNearMatchFlag) != 0;
}
constexpr uint32_t near_length(LitLenEntry e) {
    return (e >> 8) & 15;
}
constexpr uint32_t near_distance_base(LitLenEntry e) {
    return e >> 16;
}

// Whether every distance of a distance code is one the fast loop copies
// without a second look: at least 4 (a match copies in whole words from
// there) and never corrupt.
constexpr bool is_near_distance(DistanceEntry d) {
    return d.base >= 4 && d.base + (1u << d.extra) - 1 <= kMaxSilentDistance;
}

// The distance code read together with its extra bits, for the fast loop:
// by the next five stream bits, bits 0-7 count the code's bits and its
// extra bits, and bits 16-31 hold the distance's base, to which the extra
// bits (the entry's bits from bit 5 on) are added.
constexpr uint32_t kDistanceCodeLength = 5;

constexpr uint32_t distance_entry_bits(uint32_t d) {
    return d & 0xFF;
}
constexpr uint32_t distance_entry_base(uint32_t d) {
    return d >> 16;
}

inline constexpr std::array<LitLenEntry, 4096> kDecodeTable = [] {
    std::array<LitLenEntry, 4096> t{};
    for (uint32_t i = 0; i < 4096; ++i) {
        LitLenEntry e = kLitLenTable[i & 511];
        if (entry_kind(e) == 0 && entry_bits(e) == 7) {
            const DistanceEntry d = kDistanceTable[(i >> 7) & 31];
            const uint32_t code = kCanonicalTables.reverse5[(i >> 7) & 31];
            if (is_near_distance(d))
                e = (kShortMatchCodeBits + d.extra) | entry_value(e) << 8 | kNearMatchFlag |
                    uint32_t{d.base} << 16;
            else
                e = kShortMatchCodeBits | kShortMatch << 8 | (entry_value(e) - 3) << 16 |
                    code << 20 | static_cast<uint32_t>(d.extra) << 25;
        }
        t[i] = e;
    }
    return t;
}();

inline constexpr std::array<uint32_t, 32> kDistanceDecode = [] {
    std::array<uint32_t, 32> t{};
    for (uint32_t i = 0; i < 32; ++i) {
        const DistanceEntry d = kDistanceTable[i];
        t[i] = (kDistanceCodeLength + d.extra) | uint32_t{d.base} << 16;
    }
    return t;
}();

}  // namespace cmpr

#endif
