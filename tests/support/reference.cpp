// The codec spelled out with the exported building blocks, and what a host
// sees of one decompression.  The library's gzip_cmprs and gzip_decmprs take
// faster roads; the tests and the fuzz targets hold them to these.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "support.h"

namespace cmpr_test {
namespace {

void check(bool ok, const char *what) {
    if (!ok) std::fprintf(stderr, "cmpr test support: %s\n", what), std::abort();
}

}  // namespace

Bytes join_segments(const std::vector<Bytes> &records, std::vector<size_t> *starts) {
    Bytes out;
    for (const Bytes &r : records) {
        if (starts != nullptr) starts->push_back(out.size());
        const Bytes seg = compress(r);
        out.insert(out.end(), seg.begin(), seg.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    if (starts != nullptr) starts->push_back(out.size());
    return out + Bytes(4, 0);
}

Bytes compress(const Bytes &in) {
    const size_t bound = CMPR_GZIP_CMPRS_BOUND(in.size());
    Bytes out(bound + 16, 0xEE);
    const int32_t n = gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data());
    check(n >= 1 && static_cast<size_t>(n) <= bound, "gzip_cmprs went past its bound");
    // Hosts pack segments back to back on zeroed buffers: nothing past the
    // segment may change.
    for (size_t i = static_cast<size_t>(n); i < out.size(); ++i)
        check(out[i] == 0xEE, "gzip_cmprs wrote past its segment");
    out.resize(static_cast<size_t>(n));
    return out;
}

Bytes reference_cmprs(const Bytes &in) {
    const uint8_t *src = in.data();
    const auto src_len = static_cast<uint32_t>(in.size());
    Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size())), window(8192);
    std::vector<int64_t> table(8192, -1);  // the latest position of each hash, -1 for none
    uint8_t none[1];
    gzip_cmprs(none, 0, none);  // resets the input index and the bit accumulator

    uint32_t pending = 0, pos = 0, head = 0, str = 0, cur = 0, hist = 0, prev_hash = 0;
    auto put = [&](uint32_t v, uint32_t n, int rev) {
        put_bits(v, static_cast<int32_t>(n), rev, &pending, out.data(), &pos);
    };
    auto symbol = [&](uint32_t s) {
        code_entry c;
        huffman(s, &c);
        put(static_cast<uint32_t>(c.code), static_cast<uint32_t>(c.len), 1);
    };
    auto advance = [&] { return adv_window(src, src_len, window.data(), &head, &str, &cur); };
    auto history = [&](uint32_t from) { adv_history(from & 0x1FFF, window.data(), &hist); };
    for (int i = 0; i < 3; ++i) advance();
    while (head < src_len) {
        const int64_t entry = table[hashf(str)];
        const uint32_t dist = cur - static_cast<uint32_t>(entry);
        const bool candidate = entry >= 0 && cur != 0 && dist <= 8189 && dist <= cur;
        for (uint32_t i = 0; candidate && i < 3; ++i) history(cur - dist + i);
        if (candidate && str == hist) {
            uint32_t n = 2, lx, lb, dx, db;
            int32_t end;
            do {
                ++n;
                end = advance();
                history(cur - dist + 2);
            } while (str == hist && end == 0 && n <= 257);
            symbol(encode_length(n, &lx, &lb));
            put(lx, lb, 0);
            put(encode_distance(dist, &dx, &db), 5, 1);
            put(dx, db, 0);
            advance();
        } else {
            symbol(str & 0xFF);
        }
        const uint32_t h = hashf(str);
        if (cur == 0 || h != prev_hash || cur - table[h] > 8192) table[h] = cur;
        prev_hash = h;
        advance();
    }
    while (cur < src_len) {  // cur moves with the window
        symbol(str & 0xFF);
        advance();
    }
    put(0, 8, 0);  // the end code and one zero bit
    if (pending != 0) put(0, 8 - pending, 0);
    out.resize(pos);
    return out;
}

Decoded observe(Decoder decode, const uint8_t *src, uint32_t len) {
    Decoded d;
    const uint64_t bound = CMPR_GZIP_DECMPRS_BOUND(len);
    std::unique_ptr<uint8_t[]> room(new uint8_t[bound]);  // exactly: ASan sees a byte past it
    TraceCapture cap;
    shell_reboots() = 0;
    d.result = decode(src, len, room.get());
    check(d.result <= bound, "decoded past the bound");
    d.out.assign(room.get(), room.get() + d.result);
    d.reports = cap.reports;
    d.reboots = shell_reboots();
    d.state = cmpr::decode_state;
    return d;
}

int32_t block_mode = 1;

uint32_t reference_decmprs(const uint8_t *src, uint32_t len, uint8_t *dst) {
    cmpr::reset_decoder(src, len);
    decode_block(src, block_mode, &litlen_tree, &offset_tree, dst);
    return cmpr::decode_state.out_cnt;
}

std::string difference(const Decoded &a, const Decoded &b) {
    const cmpr::DecodeState &s = a.state, &t = b.state;
    if (a.result != b.result || a.out != b.out) return "output";
    if (a.reports != b.reports || a.reboots != b.reboots) return "reports or reboots";
    if (s.bit_buf != t.bit_buf || s.bit_pos != t.bit_pos || s.bits_used != t.bits_used ||
        s.in_pos != t.in_pos || s.in_len != t.in_len || s.in_base != t.in_base)
        return "bit reader";
    if (s.out_cnt != t.out_cnt || s.hist_pos != t.hist_pos ||
        std::memcmp(s.history, t.history, sizeof s.history) != 0)
        return "output count or history";
    return "";
}

}  // namespace cmpr_test
