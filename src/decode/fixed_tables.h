// Internal: the fixed code's lookup tables, computed at compile time.
//
// lut_init() copies the canonical contents into the exported tables; the
// fast decoder reads its own combined tables, which say in one lookup what
// a literal/length code or a distance code stands for.
#ifndef CMPR_SRC_DECODE_FIXED_TABLES_H
#define CMPR_SRC_DECODE_FIXED_TABLES_H

#include <array>
#include <cstdint>

#include "common/bit_ops.h"

namespace cmpr {

inline constexpr uint16_t kLcodeMore = 0x8000;  // table entry: no code ends here

// What a match symbol (257 and above) and a distance code stand for: a base
// and a number of extra bits whose value is added to it.  Symbols beyond 284
// all mean 258 without extra bits (285 as the writer sends it; 286 and above,
// which only a caller's own trees or altered tables yield, as 287 does).  A
// distance code is the binary form of the distance, its top two bits in the
// code; codes above 31, which only a caller's trees yield, act as 31.
constexpr uint32_t length_extra_bits(uint32_t symbol) {
    return symbol < 265 || symbol > 284 ? 0 : (symbol - 261) >> 2;
}
constexpr uint32_t length_base(uint32_t symbol) {
    if (symbol < 265) return symbol - 254;  // 257-264: 3-10
    if (symbol > 284) return 258;
    const uint32_t s = symbol - 257, e = length_extra_bits(symbol);
    return (1u << (e + 2)) + (s & 3) * (1u << e) + 3;
}
constexpr uint32_t distance_extra_bits(uint32_t code) {
    if (code > 31) code = 31;
    return code < 5 ? 0 : (code - 2) >> 1;
}
constexpr uint32_t distance_base(uint32_t code) {
    if (code > 31) code = 31;
    if (code < 5) return code + 1;
    const uint32_t e = distance_extra_bits(code);
    return (2u << e) + (code & 1) * (1u << e);
}

// The exported tables as lut_init() builds them: indexed by the code's bits
// as they come from the stream (the code reversed), a symbol or kLcodeMore.
struct CanonicalTables {
    std::array<uint16_t, 128> lcode7;
    std::array<uint16_t, 256> lcode8;
    std::array<uint16_t, 512> lcode9;
    std::array<uint8_t, 32> reverse5;
};

inline constexpr CanonicalTables kCanonicalTables = [] {
    CanonicalTables t{};
    for (uint32_t i = 0; i < 32; ++i) t.reverse5[i] = static_cast<uint8_t>(reverse_low_bits(i, 5));
    t.lcode7.fill(kLcodeMore);
    t.lcode8.fill(kLcodeMore);
    t.lcode9.fill(kLcodeMore);
    // Literals 0-143: 8-bit codes 0x30-0xBF.
    for (uint32_t k = 48; k <= 191; ++k)
        t.lcode8[reverse_low_bits(k, 8)] = static_cast<uint16_t>(k - 48);
    // Literals 144-255: 9-bit codes 0x190-0x1FF.
    for (uint32_t k = 400; k <= 511; ++k)
        t.lcode9[reverse_low_bits(k, 9)] = static_cast<uint16_t>(k - 256);
    // End code and lengths 257-279: 7-bit codes 0-0x17.
    for (uint32_t k = 0; k <= 23; ++k)
        t.lcode7[reverse_low_bits(k, 7)] = static_cast<uint16_t>(k + 256);
    // Lengths 280-287: 8-bit codes 0xC0-0xC7.
    for (uint32_t k = 192; k <= 199; ++k)
        t.lcode8[reverse_low_bits(k, 8)] = static_cast<uint16_t>(k + 88);
    return t;
}();

// What the next nine stream bits begin with, packed in one word so that the
// decoding loop can shift by it directly: bits 0-7 the code length (7, 8 or
// 9), bits 8-15 the kind (kLiteral, kEndOfSegment, or a length's number of
// extra bits, 0-5), bits 16-31 the literal byte or the base match length.
using LitLenEntry = uint32_t;
inline constexpr uint32_t kLiteral = 0x80;
inline constexpr uint32_t kEndOfSegment = 0x40;

constexpr uint32_t entry_bits(LitLenEntry e) {
    return e & 0xFF;
}
constexpr uint32_t entry_kind(LitLenEntry e) {
    return (e >> 8) & 0xFF;
}
constexpr uint32_t entry_value(LitLenEntry e) {
    return e >> 16;
}
constexpr bool is_literal(LitLenEntry e) {
    return (e & (kLiteral << 8)) != 0;
}

inline constexpr std::array<LitLenEntry, 512> kLitLenTable = [] {
    std::array<LitLenEntry, 512> t{};
    for (uint32_t i = 0; i < 512; ++i) {
        uint32_t sym, bits;
        if (uint16_t e = kCanonicalTables.lcode7[i & 127]; !(e & kLcodeMore)) {
            sym = e, bits = 7;
        } else if (uint16_t e8 = kCanonicalTables.lcode8[i & 255]; !(e8 & kLcodeMore)) {
            sym = e8, bits = 8;
        } else {
            sym = kCanonicalTables.lcode9[i], bits = 9;
        }
        uint32_t kind, value = 0;
        if (sym < 256) {
            kind = kLiteral, value = sym;
        } else if (sym == 256) {
            kind = kEndOfSegment;
        } else {
            kind = length_extra_bits(sym), value = length_base(sym);
        }
        t[i] = bits | kind << 8 | value << 16;
    }
    return t;
}();

// What the next five stream bits, a distance code, stand for.
struct DistanceEntry {
    uint16_t base;
    uint8_t extra;  // extra bits, 0-14
};

inline constexpr std::array<DistanceEntry, 32> kDistanceTable = [] {
    std::array<DistanceEntry, 32> t{};
    for (uint32_t i = 0; i < 32; ++i) {
        const uint32_t c = kCanonicalTables.reverse5[i];
        t[i] = {static_cast<uint16_t>(distance_base(c)),
                static_cast<uint8_t>(distance_extra_bits(c))};
    }
    return t;
}();

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

// Distances by distance code: base and number of extra bits.
inline constexpr std::array<DistanceEntry, 32> kDistanceByCode = [] {
    std::array<DistanceEntry, 32> t{};
    for (uint32_t i = 0; i < 32; ++i) t[kCanonicalTables.reverse5[i]] = kDistanceTable[i];
    return t;
}();

}  // namespace cmpr

#endif
