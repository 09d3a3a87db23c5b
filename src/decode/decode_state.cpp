// The decoder's library-wide state and its reset.
#include "decode_state.h"

#include <cstring>

#include "bit_reader.h"

namespace cmpr {

DecodeState decode_state;
uint32_t crash_on_fail = 1;

void reset_decoder(const uint8_t *src, uint32_t len) {
    DecodeState &st = decode_state;
    // No output yet; before the first output byte a match copies 0xFF.
    st.out_cnt = 0;
    st.hist_pos = 0;
    refill_history(st);
    lut_init();
    // Nothing of the input used; the reader then fetches its first four
    // bytes (zero bytes past the end).
    st.in_base = src;
    st.in_len = len;
    st.in_pos = 0;
    st.bits_used = 0;
    st.bit_buf = 0;
    st.bit_pos = 32;
    read_bits(src, 0);
}

}  // namespace cmpr
