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
// says both: kind kShortMatch, bits 12, and in bits 16-19 the length less 3,
// in bits 20-24 the distance code, in bits 25-28 its number of extra bits.
inline constexpr uint32_t kShortMatch = 0x20;

constexpr uint32_t short_length(LitLenEntry e) {
    return ((e >> 16) & 15) + 3;
}
constexpr uint32_t short_distance_code(LitLenEntry e) {
    return (e >> 20) & 31;
}
constexpr uint32_t short_distance_extra(LitLenEntry e) {
    return (e >> 25) & 15;
}

inline constexpr std::array<LitLenEntry, 4096> kDecodeTable = [] {
    std::array<LitLenEntry, 4096> t{};
    for (uint32_t i = 0; i < 4096; ++i) {
        LitLenEntry e = kLitLenTable[i & 511];
        if (entry_kind(e) == 0 && entry_bits(e) == 7) {
            const DistanceEntry d = kDistanceTable[(i >> 7) & 31];
            const uint32_t code = kCanonicalTables.reverse5[(i >> 7) & 31];
            e = 12 | kShortMatch << 8 | (entry_value(e) - 3) << 16 | code << 20 |
                static_cast<uint32_t>(d.extra) << 25;
        }
        t[i] = e;
    }
    return t;
}();

}  // namespace cmpr

#endif
