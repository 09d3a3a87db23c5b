#include "reference_codec.h"

#include "cmpr.h"

namespace cmpr_test {
namespace {

struct HashEntry {
    uint32_t valid = 0;
    uint32_t pos = 0;
};

struct Writer {
    uint8_t *dst;
    uint32_t bit_cnt = 0;
    uint32_t out_pos = 0;
    void put(uint32_t value, uint32_t nbits, int rev) {
        put_bits(value, static_cast<int32_t>(nbits), rev, &bit_cnt, dst, &out_pos);
    }
    void symbol(uint32_t sym) {
        code_entry huff;
        huffman(sym, &huff);
        put(static_cast<uint32_t>(huff.code), static_cast<uint32_t>(huff.len), 1);
    }
};

}  // namespace

std::vector<uint8_t> reference_cmprs(const std::vector<uint8_t> &in) {
    const uint8_t *src = in.data();
    const uint32_t src_len = static_cast<uint32_t>(in.size());
    std::vector<uint8_t> out((9ull * in.size() + 7) / 8 + 1);
    std::vector<uint8_t> window(8192);
    std::vector<HashEntry> hash_tab(8192);

    // Resets the library-wide input index and accumulator, as gzip_cmprs does:
    // compress nothing first.
    uint8_t scratch[4];
    gzip_cmprs(nullptr, 0, scratch);

    Writer w{out.data()};
    uint32_t win_head = 0, str_reg = 0, cur_pos = 0, hist_reg = 0, prev_hash = 0;
    auto advance = [&] {
        return adv_window(src, src_len, window.data(), &win_head, &str_reg, &cur_pos);
    };
    for (int i = 0; i < 3; ++i) advance();

    while (win_head < src_len) {
        HashEntry e = hash_tab[hashf(str_reg)];
        uint32_t dist = cur_pos - e.pos;
        bool candidate = e.valid != 0 && cur_pos != 0 && dist <= 8189 && dist <= cur_pos;
        if (candidate)
            for (uint32_t i = 0; i < 3; ++i)
                adv_history((cur_pos - dist + i) & 0x1FFF, window.data(), &hist_reg);
        if (candidate && str_reg == hist_reg) {
            uint32_t n = 3;
            int32_t end = advance();
            adv_history((cur_pos - dist + 2) & 0x1FFF, window.data(), &hist_reg);
            while (str_reg == hist_reg && end == 0 && n <= 257) {
                ++n;
                end = advance();
                adv_history((cur_pos - dist + 2) & 0x1FFF, window.data(), &hist_reg);
            }
            uint32_t len_xval, len_xbits, dist_xval, dist_xbits;
            uint32_t s = encode_length(n, &len_xval, &len_xbits);
            uint32_t k = encode_distance(dist, &dist_xval, &dist_xbits);
            w.symbol(s);
            w.put(len_xval, len_xbits, 0);
            w.put(k, 5, 1);
            w.put(dist_xval, dist_xbits, 0);
            advance();
        } else {
            w.symbol(str_reg & 0xFF);
        }
        uint32_t hn = hashf(str_reg);
        if (cur_pos == 0 || hn != prev_hash || cur_pos - hash_tab[hn].pos > 8192)
            hash_tab[hn] = {1, cur_pos};
        prev_hash = hn;
        advance();
    }
    while (cur_pos < src_len) {
        w.symbol(str_reg & 0xFF);
        advance();
    }
    w.put(0, 8, 0);
    if (w.bit_cnt != 0) w.put(0, 8 - w.bit_cnt, 0);
    out.resize(w.out_pos);
    return out;
}

}  // namespace cmpr_test
