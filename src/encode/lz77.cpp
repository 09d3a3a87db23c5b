// gzip_cmprs: single-pass greedy LZ77 with one hash probe per step.
#include "lz77.h"

#include <cstdlib>

#include "bit_writer.h"
#include "cmpr.h"
#include "symbols.h"

extern "C" uint32_t cmpr_in_idx;
uint32_t cmpr_in_idx;

namespace cmpr {
namespace {

struct HashEntry {
    uint32_t valid;
    uint32_t pos;
};

// Used when the heap cannot spare the window.  Only one compression may run
// at a time in a process, so one spare window is enough.
uint8_t g_spare_window[kWindowSize];

struct State {
    uint32_t win_head = 0, str_reg = 0, cur_pos = 0, hist_reg = 0;
    uint32_t bit_cnt = 0, out_pos = 0;
};

void put_code(uint32_t code, uint32_t len, State &s, uint8_t *dst) {
    write_bits(reverse_low_bits(code, static_cast<int32_t>(len)), len, s.bit_cnt, dst, s.out_pos);
}

void put_literal(uint32_t byte, State &s, uint8_t *dst) {
    Code c = litlen_code(byte);
    put_code(c.code, c.len, s, dst);
}

void put_match(uint32_t len, uint32_t dist, State &s, uint8_t *dst) {
    uint32_t len_xval, len_xbits, dist_xval, dist_xbits;
    uint32_t sym = length_symbol(len, len_xval, len_xbits);
    uint32_t dcode = distance_code(dist, dist_xval, dist_xbits);
    Code c = litlen_code(sym);
    put_code(c.code, c.len, s, dst);
    write_bits(len_xval, len_xbits, s.bit_cnt, dst, s.out_pos);
    put_code(dcode, 5, s, dst);
    write_bits(dist_xval, dist_xbits, s.bit_cnt, dst, s.out_pos);
}

}  // namespace
}  // namespace cmpr

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

int32_t gzip_cmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    using namespace cmpr;
    cmpr_in_idx = 0;
    cmpr_bit_acc = 0;
    State s;
    uint32_t prev_hash = 0;

    uint8_t *heap_window = static_cast<uint8_t *>(std::malloc(kWindowSize));
    uint8_t *window = heap_window != nullptr ? heap_window : g_spare_window;

    HashEntry hash_tab[1u << kHashBits];
    for (HashEntry &e : hash_tab) e.valid = 0;

    for (int i = 0; i < 3; ++i)
        window_advance(src, src_len, window, s.win_head, s.str_reg, s.cur_pos);

    while (s.win_head < src_len) {
        const HashEntry &e = hash_tab[hash3(s.str_reg)];
        uint32_t dist = 0;
        bool candidate = false;
        if (e.valid != 0 && s.cur_pos != 0) {
            dist = s.cur_pos - e.pos;
            candidate = dist <= kMaxDistance && dist <= s.cur_pos;
        }
        if (candidate)
            for (uint32_t i = 0; i < 3; ++i)
                history_advance(s.cur_pos - dist + i, window, s.hist_reg);

        if (candidate && s.str_reg == s.hist_reg) {
            // Extend while the next input byte equals the candidate's next
            // byte; the last input byte is never taken into a match.
            uint32_t n = 3;
            int32_t end = window_advance(src, src_len, window, s.win_head, s.str_reg, s.cur_pos);
            history_advance(s.cur_pos - dist + 2, window, s.hist_reg);
            while (s.str_reg == s.hist_reg && end == 0 && n < kMaxMatch) {
                ++n;
                end = window_advance(src, src_len, window, s.win_head, s.str_reg, s.cur_pos);
                history_advance(s.cur_pos - dist + 2, window, s.hist_reg);
            }
            put_match(n, dist, s, dst);
            window_advance(src, src_len, window, s.win_head, s.str_reg, s.cur_pos);
        } else {
            put_literal(s.str_reg & 0xFF, s, dst);
        }

        // Enter the string now at cur_pos, unless it continues a run of one
        // hash whose first position is still near enough.
        uint32_t hn = hash3(s.str_reg);
        HashEntry &u = hash_tab[hn];
        if (s.cur_pos == 0 || hn != prev_hash || s.cur_pos - u.pos > kWindowSize) {
            u.valid = 1;
            u.pos = s.cur_pos;
        }
        prev_hash = hn;
        window_advance(src, src_len, window, s.win_head, s.str_reg, s.cur_pos);
    }

    while (s.cur_pos < src_len) {
        put_literal(s.str_reg & 0xFF, s, dst);
        window_advance(src, src_len, window, s.win_head, s.str_reg, s.cur_pos);
    }

    // End code and one more zero bit, then zero filler to the byte boundary.
    write_bits(0, 8, s.bit_cnt, dst, s.out_pos);
    if (s.bit_cnt != 0) write_bits(0, 8 - s.bit_cnt, s.bit_cnt, dst, s.out_pos);

    std::free(heap_window);
    return static_cast<int32_t>(s.out_pos);
}

}  // extern "C"
