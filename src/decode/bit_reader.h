// Internal: the bit reader and the fixed-code lookups, inline for the decoding
// loop.  The exported get_bits(), get_lcode() and get_ocode() wrap these.
#ifndef CMPR_SRC_DECODE_BIT_READER_H
#define CMPR_SRC_DECODE_BIT_READER_H

#include <cstdint>

#include "cmpr.h"
#include "decode_state.h"
#include "fixed_tables.h"

namespace cmpr {

// Hands out the next 'n' bits (first one in bit 0) and refills the 32-bit
// look-ahead a byte at a time.  Past the end of the input it shifts in zero
// bytes and leaves in_pos at in_len, so the input is never read at or beyond
// in_len.  'n' above 32 acts as 32: the look-ahead holds no more.
inline uint32_t read_bits(const uint8_t *src, uint32_t n) {
    DecodeState &st = decode_state;
    if (n > 32) n = 32;
    uint32_t value = st.bit_pos < 32 ? st.bit_buf >> st.bit_pos : 0;
    if (n < 32) value &= (uint32_t{1} << n) - 1;
    st.bit_pos += n;
    st.bits_used += n;
    while (st.bit_pos >= 8) {
        uint32_t byte = 0;
        if (st.in_pos < st.in_len) byte = src[st.in_pos++];
        st.bit_buf = (st.bit_buf >> 8) | (byte << 24);
        st.bit_pos -= 8;
    }
    return value;
}

// True when every bit still to come is zero: the input is fetched to its end
// and what is left of the look-ahead is zero.
inline bool only_zeros_ahead() {
    const DecodeState &st = decode_state;
    return st.in_pos >= st.in_len && (st.bit_pos >= 32 || (st.bit_buf >> st.bit_pos) == 0);
}

// Reports an undefined literal/length code and ends the process.
[[noreturn]] void undefined_lcode();

// The fixed literal/length code: 7 bits, then one more bit while the table
// says no code of this length ends here.  With the tables that lut_init()
// builds every 9 bits end a code; only altered tables reach the failure.
inline uint32_t read_lcode(const uint8_t *src) {
    uint32_t v = read_bits(src, 7);
    uint32_t e = lut_lcode_7[v];
    if (e & kLcodeMore) {
        v |= read_bits(src, 1) << 7;
        e = lut_lcode_8[v];
        if (e & kLcodeMore) {
            v |= read_bits(src, 1) << 8;
            e = lut_lcode_9[v];
            if (e & kLcodeMore) undefined_lcode();
        }
    }
    return e;
}

// The distance code: five bits, most significant first in the stream.
inline uint32_t read_ocode(const uint8_t *src) {
    return reverse5[read_bits(src, 5)];
}

}  // namespace cmpr

#endif
