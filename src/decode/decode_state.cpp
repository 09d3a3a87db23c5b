// The decoder's library-wide state and its reset.
#include "decode_state.h"

#include <cstring>

#include "bit_reader.h"

namespace cmpr {

DecodeState decode_state;
uint32_t crash_on_fail = 1;

void reset_decoder(const uint8_t *src, uint32_t len) {
    DecodeState &st = decode_state;
    st.bit_buf = 0;
    st.in_pos = 0;
    st.out_cnt = 0;
    st.in_base = src;
    // Before the first output byte a match copies 0xFF.
    refill_history(st);
    st.in_len = len;
    lut_init();
    st.bits_used = 0;
    st.bit_pos = 32;
    read_bits(src, 0);  // fetches the first four bytes (zeros past the end)
    st.hist_pos = 0;
}

}  // namespace cmpr
