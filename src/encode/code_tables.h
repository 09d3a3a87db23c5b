// Internal: the compressor's codes, ready to be written.
//
// Each entry packs the bits in the order the stream takes them (a code's
// bits already reversed, extra bits above it) in bits 0-23 and their count in
// bits 24-31, so that emitting a symbol is one load and one append.
//
// The tables have internal linkage (constexpr, not inline): a table of the
// file that uses it is reached relative to the code, where a shared one
// costs position-independent code a load from the global offset table at
// every use on 32-bit ARM and x86.
#ifndef CMPR_SRC_ENCODE_CODE_TABLES_H
#define CMPR_SRC_ENCODE_CODE_TABLES_H

#include <array>
#include <bit>
#include <cstdint>

#include "bit_writer.h"
#include "stream_format.h"

namespace cmpr {

constexpr uint32_t pack_bits(uint32_t bits, uint32_t count) {
    return count << 24 | bits;
}
constexpr uint32_t packed_bits(uint32_t packed) {
    return packed & 0xFFFFFF;
}
constexpr uint32_t packed_count(uint32_t packed) {
    return packed >> 24;
}

constexpr uint32_t stream_code(uint32_t sym) {
    Code c = litlen_code(sym);
    return pack_bits(reverse_low_bits(c.code, static_cast<int32_t>(c.len)), c.len);
}

// Literal bytes 0..255.
constexpr std::array<uint32_t, 256> kLiteralBits = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b) t[b] = stream_code(b);
    return t;
}();

// Match lengths 3..258: the length symbol's code followed by its extra bits.
constexpr std::array<uint32_t, 259> kLengthBits = [] {
    std::array<uint32_t, 259> t{};
    for (uint32_t len = 3; len <= 258; ++len) {
        uint32_t xval = 0, xbits = 0;
        uint32_t code = stream_code(length_symbol(len, xval, xbits));
        t[len] =
            pack_bits(packed_bits(code) | xval << packed_count(code), packed_count(code) + xbits);
    }
    return t;
}();

// The five distance-code bits in stream order, by code.
constexpr std::array<uint8_t, 32> kDistanceCodeBits = [] {
    std::array<uint8_t, 32> t{};
    for (uint32_t c = 0; c < 32; ++c) t[c] = static_cast<uint8_t>(reverse_low_bits(c, 5));
    return t;
}();

// A distance 1..65535: its code followed by its extra bits.
constexpr uint32_t distance_bits(uint32_t dist) {
    uint32_t xval = 0, xbits = 0;
    const uint32_t code = distance_code(dist, xval, xbits);
    return pack_bits(kDistanceCodeBits[code] | xval << 5, 5 + xbits);
}

}  // namespace cmpr

#endif
