// Internal: the symbol encoders of the stream format.
//
// Literal/length symbols use the fixed literal/length code; a match length
// becomes a length symbol plus extra bits; a distance becomes a 5-bit
// distance code plus extra bits formed from the distance's own binary digits
// (code 2m + bit m-1 for a distance whose highest set bit is m).
#ifndef CMPR_SRC_ENCODE_SYMBOLS_H
#define CMPR_SRC_ENCODE_SYMBOLS_H

#include <bit>
#include <cstdint>

namespace cmpr {

struct Code {
    uint32_t code;  // most significant bit first over 'len' bits
    uint32_t len;
};

constexpr Code litlen_code(uint32_t sym) {
    if (sym < 144) return {sym + 0x30, 8};
    if (sym < 256) return {sym + 0x100, 9};
    if (sym < 280) return {sym - 0x100, 7};
    return {sym - 0x58, 8};
}

// Lengths 3..258; shorter ones give symbols 254..256, as the arithmetic says.
constexpr uint32_t length_symbol(uint32_t mlen, uint32_t &xval, uint32_t &xbits) {
    xval = 0;
    xbits = 0;
    if (mlen <= 6) return mlen + 254;
    if (mlen >= 258) return 285;
    uint32_t t = mlen - 7;
    uint32_t e = 0;
    while (e < 5 && t >= 4 * ((2u << e) - 1)) ++e;
    uint32_t r = t - 4 * ((1u << e) - 1);
    xbits = e;
    xval = r & ((1u << e) - 1);
    return 261 + 4 * e + (r >> e);
}

// Distances 1..65535.  0 has no code and yields code 0; larger distances are
// treated as 65535.
constexpr uint32_t distance_code(uint32_t dist, uint32_t &xval, uint32_t &xbits) {
    xval = 0;
    xbits = 0;
    if (dist <= 5) return dist == 0 ? 0 : dist - 1;
    if (dist > 0xFFFF) dist = 0xFFFF;
    const uint32_t m = static_cast<uint32_t>(std::bit_width(dist)) - 1;  // highest set bit
    xbits = m - 1;
    xval = dist & ((1u << (m - 1)) - 1);
    return 2 * m + ((dist >> (m - 1)) & 1u);
}

}  // namespace cmpr

#endif
