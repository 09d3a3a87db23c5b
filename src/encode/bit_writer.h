// Internal: the bit writer shared by put_bits and the compressor.
//
// Bits fill each output byte from its least significant bit.  Pending bits
// live in the library-wide accumulator cmpr_bit_acc (the oldest in bit 0);
// the caller owns the pending count and the output position.
#ifndef CMPR_SRC_ENCODE_BIT_WRITER_H
#define CMPR_SRC_ENCODE_BIT_WRITER_H

#include <cstdint>

#include "stream_format.h"

extern "C" uint32_t cmpr_bit_acc;

namespace cmpr {

// Appends 'n' (0 to 32) bits of 'v', least significant first, and stores
// every byte that they complete.  'v' has no bits set at or above 'n';
// 'bit_cnt' is below 8 on entry and on return.
inline void write_bits(uint32_t v, uint32_t n, uint32_t &bit_cnt, uint8_t *dst, uint32_t &out_pos) {
    // Up to 7 pending bits plus 32 new ones: a 64-bit register never loses any.
    uint64_t acc = cmpr_bit_acc | (bit_cnt < 32 ? static_cast<uint64_t>(v) << bit_cnt : 0);
    bit_cnt += n;
    while (bit_cnt >= 8) {
        dst[out_pos++] = static_cast<uint8_t>(acc);
        acc >>= 8;
        bit_cnt -= 8;
    }
    cmpr_bit_acc = static_cast<uint32_t>(acc);
}

}  // namespace cmpr

#endif
