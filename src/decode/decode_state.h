// Internal: the decoder's library-wide state.
//
// One record for the whole library: the bit reader's fields and the output
// history.  reset_decoder() resets it at the start of every gzip_decmprs()
// call; between calls it keeps the values of the last decompression.
// Nothing guards it, so one decompression runs at a time per process.
#ifndef CMPR_SRC_DECODE_DECODE_STATE_H
#define CMPR_SRC_DECODE_DECODE_STATE_H

#include <cstdint>
#include <cstring>

namespace cmpr {

inline constexpr uint32_t kHistorySize = 32768;  // a power of two: indexed by mask
inline constexpr uint32_t kHistoryMask = kHistorySize - 1;

struct DecodeState {
    // Bit reader.
    uint32_t bit_buf;        // look-ahead: the last four bytes fetched, earliest in bits 0-7
    uint32_t bit_pos;        // next bit of bit_buf to hand out; 32 while nothing is fetched
    uint32_t bits_used;      // bits handed out or skipped since the reset (modulo 2^32)
    uint32_t in_pos;         // next input byte to fetch; never above in_len
    uint32_t in_len;         // input length in bytes
    const uint8_t *in_base;  // first input byte; only the failure dump reads it
    // Output.
    uint32_t out_cnt;               // bytes written so far, the index of the next one
    uint8_t history[kHistorySize];  // the latest output bytes, a ring
    uint32_t hist_pos;              // next write index in history
    // Once hist_filled (0 at load, when the history is all zero), the bytes
    // from hist_dirty on are 0xFF: a reset only refills those before.
    uint32_t hist_filled;
    uint32_t hist_dirty;
};

// The reset's fill: every history byte 0xFF.
inline void refill_history(DecodeState &st) {
    std::memset(st.history, 0xFF, st.hist_filled ? st.hist_dirty : kHistorySize);
    st.hist_filled = 1;
    st.hist_dirty = 0;
}

extern DecodeState decode_state;

// While non-zero, a corrupt distance ends in the reboot escalation.  1 at
// load; nothing in the library changes it.
extern uint32_t crash_on_fail;

// The start of every decompression, gzip_decmprs()'s included: resets the
// state for input 'src' of 'len' bytes.  No output yet (out_cnt and hist_pos
// 0) and every history byte 0xFF (refill_history()); the exported fixed-code
// tables rebuilt (lut_init()); no input bits used (bits_used 0), and the bit
// reader primed with the first four input bytes (zero bytes past the end,
// which in_pos does not count).  decode_block() can then run on the same
// input.
void reset_decoder(const uint8_t *src, uint32_t len);

}  // namespace cmpr

#endif
