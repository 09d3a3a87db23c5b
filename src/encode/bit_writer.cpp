#include "bit_writer.h"

#include "cmpr.h"

extern "C" {

uint32_t cmpr_bit_acc;

// Counts outside 0..32 are cut to that range: a negative count writes
// nothing, and a count above 32 writes the 32 bits that a value can hold.
int put_bits(uint32_t value, int32_t nbits, int32_t rev, uint32_t *bit_cnt, uint8_t *dst,
             uint32_t *out_pos) {
    if (nbits < 0) return 0;
    int32_t n = nbits > 32 ? 32 : nbits;
    uint32_t v = rev != 0 ? cmpr::reverse_low_bits(value, n) : value;
    cmpr::write_bits(v, static_cast<uint32_t>(n), *bit_cnt, dst, *out_pos);
    return 0;
}

}  // extern "C"
