// The compressor's per-byte steps, exported for hosts that drive them.
#include "lz77.h"

#include "cmpr.h"

extern "C" uint32_t cmpr_in_idx;
uint32_t cmpr_in_idx;

extern "C" {

uint32_t hashf(uint32_t x) {
    return cmpr::hash3(x);
}

int32_t adv_window(const uint8_t *src, uint32_t src_len, uint8_t *window, uint32_t *win_head,
                   uint32_t *str_reg, uint32_t *cur_pos) {
    return cmpr::window_advance(src, src_len, window, *win_head, *str_reg, *cur_pos);
}

// The slot is reduced to the window here too, so a stray index cannot reach
// outside it.
void adv_history(uint32_t idx, const uint8_t *window, uint32_t *hist_reg) {
    cmpr::history_advance(idx, window, *hist_reg);
}

}  // extern "C"
