// The tables that read the own codec's stream: the fixed literal/length code
// and the distance code, each as one lookup on the next stream bits.  The
// decoder and the segment checker read with them; lut_init() copies the
// canonical tables into the exported ones.
#ifndef CMPR_SRC_FORMAT_STREAM_CODES_H
#define CMPR_SRC_FORMAT_STREAM_CODES_H

#include <array>
#include <cstdint>

#include "stream_format.h"

namespace cmpr {

inline constexpr uint16_t kLcodeMore = 0x8000;  // table entry: no code ends here

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

// Distances by distance code: base and number of extra bits.
inline constexpr std::array<DistanceEntry, 32> kDistanceByCode = [] {
    std::array<DistanceEntry, 32> t{};
    for (uint32_t i = 0; i < 32; ++i) t[kCanonicalTables.reverse5[i]] = kDistanceTable[i];
    return t;
}();

}  // namespace cmpr

#endif
