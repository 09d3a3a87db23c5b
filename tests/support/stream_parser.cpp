#include "stream_parser.h"

namespace cmpr_test {
namespace {

// Lengths by symbol 257..285: base and extra bits, as the format lists them.
const uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distances by code 0..31.
const uint32_t kDistBase[32] = {1,    2,    3,    4,     5,     6,     8,     12,
                                16,   24,   32,   48,    64,    96,    128,   192,
                                256,  384,  512,  768,   1024,  1536,  2048,  3072,
                                4096, 6144, 8192, 12288, 16384, 24576, 32768, 49152};
const uint8_t kDistExtra[32] = {0, 0, 0, 0, 0, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

struct BitReader {
    const std::vector<uint8_t> &in;
    size_t pos = 0;
    uint32_t bit() {
        uint32_t b = pos / 8 < in.size() ? (in[pos / 8] >> (pos % 8)) & 1u : 0u;
        ++pos;
        return b;
    }
    uint32_t plain(uint32_t n) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < n; ++i) v |= bit() << i;
        return v;
    }
    uint32_t code(uint32_t n) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < n; ++i) v = (v << 1) | bit();
        return v;
    }
};

uint32_t read_litlen(BitReader &r) {
    uint32_t c = r.code(7);
    if (c <= 0x17) return c + 256;
    c = (c << 1) | r.bit();
    if (c >= 0x30 && c <= 0xBF) return c - 0x30;
    if (c >= 0xC0 && c <= 0xC7) return c + 88;
    c = (c << 1) | r.bit();
    return c - 0x100;  // 0x190..0x1FF: literals 144..255
}

}  // namespace

ParsedSegment parse_segment(const std::vector<uint8_t> &seg) {
    ParsedSegment out;
    BitReader r{seg};
    while (r.pos <= seg.size() * 8) {
        uint32_t sym = read_litlen(r);
        if (sym == 256) {
            out.end_bit = r.pos;
            out.ended = r.pos <= seg.size() * 8;
            return out;
        }
        if (sym < 256) {
            out.tokens.push_back({1, 0, static_cast<uint8_t>(sym)});
            out.bytes.push_back(static_cast<uint8_t>(sym));
            continue;
        }
        uint32_t s = sym > 285 ? 28 : sym - 257;
        uint32_t len = kLenBase[s] + r.plain(kLenExtra[s]);
        uint32_t dc = r.code(5);
        uint32_t dist = kDistBase[dc] + r.plain(kDistExtra[dc]);
        out.tokens.push_back({len, dist, 0});
        for (uint32_t i = 0; i < len; ++i) {
            size_t n = out.bytes.size();
            out.bytes.push_back(dist <= n ? out.bytes[n - dist] : 0xFF);
        }
    }
    out.end_bit = r.pos;
    return out;
}

}  // namespace cmpr_test
