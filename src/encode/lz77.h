// Internal: the per-byte steps of the LZ77 compressor.
//
// Positions count input bytes from 0; after the input runs out, zero bytes are
// shifted in at the following positions and never coded.  The window keeps
// the byte of position q in slot q & kCompressorWindowMask.
#ifndef CMPR_SRC_ENCODE_LZ77_H
#define CMPR_SRC_ENCODE_LZ77_H

#include <cstdint>

#include "stream_format.h"

// Index in the input of the next byte that the window reads; only the
// compressor resets it.
extern "C" uint32_t cmpr_in_idx;

namespace cmpr {

constexpr uint32_t kHashBits = 13;

// The base of the next gzip_cmprs call's hash table entries (compress.cpp).
extern uint32_t g_next_base;

// A 32-bit integer hash (add-shift-xor rounds), cut to kHashBits.
inline uint32_t hash3(uint32_t x) {
    x = x + ~(x << 15);
    x = x ^ (x >> 10);
    x = x + (x << 3);
    x = x ^ (x >> 6);
    x = x + ~(x << 11);
    x = x ^ (x >> 16);
    return x & ((1u << kHashBits) - 1);
}

// Shifts the next input byte (or a zero byte past the end) into the window
// and the string register.  Returns 0 while input bytes remain, -1 after.
inline int32_t window_advance(const uint8_t *src, uint32_t src_len, uint8_t *window,
                              uint32_t &win_head, uint32_t &str_reg, uint32_t &cur_pos) {
    uint32_t b = 0;
    if (cmpr_in_idx < src_len) b = src[cmpr_in_idx++];
    window[win_head & kCompressorWindowMask] = static_cast<uint8_t>(b);
    str_reg = (b << 16) | (str_reg >> 8);
    cur_pos = win_head - 2;
    win_head += 1;
    return cmpr_in_idx < src_len ? 0 : -1;
}

inline void history_advance(uint32_t idx, const uint8_t *window, uint32_t &hist_reg) {
    hist_reg = (static_cast<uint32_t>(window[idx & kCompressorWindowMask]) << 16) | (hist_reg >> 8);
}

}  // namespace cmpr

#endif
