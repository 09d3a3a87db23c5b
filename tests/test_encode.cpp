// The compressor and its building blocks: exact bytes, and properties of the
// streams it writes, checked with an independent reader of the format.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include "cmpr.h"
#include "encode/bit_writer.h"
#include "encode/lz77.h"
#include "support/alloc_faults.h"
#include "support/reference_codec.h"
#include "support/stream_parser.h"
#include "support/test_data.h"

using cmpr_test::Bytes;

namespace {

Bytes compress(const Bytes &in) {
    Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size()) + 16, 0xEE);
    int32_t n = gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data());
    EXPECT_GE(n, 1);
    EXPECT_LE(static_cast<uint64_t>(n), CMPR_GZIP_CMPRS_BOUND(in.size()));
    for (size_t i = static_cast<size_t>(n); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xEE) << "wrote past its length";
    out.resize(static_cast<size_t>(n));
    return out;
}

Bytes bytes(const char *s) {
    return Bytes(s, s + std::strlen(s));
}

}  // namespace

TEST(GzipCmprs, GoldenSegments) {
    struct Case {
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {{}, {0x00}},
        {{'A'}, {0x8e, 0x00}},
        {{0xFF}, {0xff, 0x01, 0x00}},
        {bytes("abcd"), {0x89, 0x49, 0xc9, 0x29, 0x00}},
        {bytes("abcabcabc"), {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00}},
        {bytes("aaaa"), {0x89, 0x89, 0x89, 0x89, 0x00}},
        {bytes("aaaaa"), {0x89, 0x40, 0x90, 0x08, 0x00}},
        {bytes("aaaaaaaa"), {0x89, 0x10, 0x90, 0x08, 0x00}},
        {Bytes(300, 'a'), {0x89, 0xa3, 0x80, 0xd8, 0x30, 0x48, 0x04, 0x00}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(compress(c.in), c.out) << std::string(c.in.begin(), c.in.end());
}

TEST(GzipCmprs, ShortInputsAreLiteralsOnly) {
    for (const char *s : {"a", "ab", "abc", "aaa", "abcd", "aaaa"}) {
        cmpr_test::ParsedSegment p = cmpr_test::parse_segment(compress(bytes(s)));
        EXPECT_EQ(p.tokens.size(), std::strlen(s)) << s;
        for (const auto &t : p.tokens) EXPECT_EQ(t.len, 1u) << s;
    }
}

// Every stream obeys the writer's limits and restores the input.
TEST(GzipCmprs, StreamsKeepTheFormatLimitsAndRestore) {
    for (const auto &[name, in] : cmpr_test::varied_samples()) {
        SCOPED_TRACE(name);
        Bytes out = compress(in);
        cmpr_test::ParsedSegment p = cmpr_test::parse_segment(out);
        ASSERT_TRUE(p.ended);
        EXPECT_EQ((p.end_bit + 1 + 7) / 8, out.size());  // end code, one zero bit, filler
        size_t pos = 0;
        for (const auto &t : p.tokens) {
            if (t.len > 1) {
                ASSERT_GE(t.len, 3u);
                ASSERT_LE(t.len, 258u);
                ASSERT_GE(t.dist, 1u);
                ASSERT_LE(t.dist, 8189u);
                ASSERT_LE(t.dist, pos) << "match reaches before the input";
                ASSERT_LT(pos + t.len, in.size()) << "match covers the last byte";
            }
            pos += t.len;
        }
        ASSERT_EQ(p.bytes.size(), in.size());
        EXPECT_TRUE(p.bytes == in);
    }
}

TEST(GzipCmprs, LongRunKeepsItsFirstPositionWhileNearEnough) {
    // One literal, then matches of 258 at distances 1, 259, 517, ... 7999;
    // then the entry moves on and the distances start again at 1.
    cmpr_test::ParsedSegment p = cmpr_test::parse_segment(compress(Bytes(20000, 'q')));
    ASSERT_GT(p.tokens.size(), 34u);
    EXPECT_EQ(p.tokens[0].len, 1u);
    for (uint32_t k = 0; k < 32; ++k) {
        EXPECT_EQ(p.tokens[1 + k].len, 258u);
        EXPECT_EQ(p.tokens[1 + k].dist, 1 + 258 * k) << k;
    }
    EXPECT_EQ(p.tokens[32].dist, 7999u);
    EXPECT_EQ(p.tokens[33].dist, 1u);
}

TEST(GzipCmprs, DeterministicAndIndependentOfEarlierCalls) {
    Bytes text = cmpr_test::log_text(50000, 31);
    Bytes first = compress(text);
    compress(cmpr_test::random_bytes(7777, 32));  // leaves other state behind
    compress(Bytes(3, 0xFF));
    EXPECT_EQ(compress(text), first);
    EXPECT_EQ(cmpr_in_idx, text.size());
    EXPECT_EQ(cmpr_bit_acc, 0u);
}

TEST(GzipCmprs, WorksInTheSpareWindowWhenTheHeapFails) {
    Bytes text = cmpr_test::log_text(30000, 33);
    Bytes want = compress(text);
    cmpr_test::MallocFailure fail(8192);
    EXPECT_EQ(compress(text), want);
    EXPECT_EQ(fail.refused(), 1);
}

TEST(PutBits, PacksCodesAndPlainValues) {
    uint8_t dst[8] = {};
    uint32_t cnt = 0, pos = 0;
    cmpr_bit_acc = 0;
    EXPECT_EQ(put_bits(0x91, 8, 1, &cnt, dst, &pos), 0);  // the literal a
    EXPECT_EQ(dst[0], 0x89);
    EXPECT_EQ(pos, 1u);
    EXPECT_EQ(cnt, 0u);

    put_bits(2, 5, 1, &cnt, dst, &pos);  // bits 0,0,0,1,0 pending
    EXPECT_EQ(pos, 1u);
    EXPECT_EQ(cnt, 5u);
    EXPECT_EQ(cmpr_bit_acc, 0x08u);
    put_bits(0, 0, 1, &cnt, dst, &pos);
    put_bits(0, 0, 0, &cnt, dst, &pos);
    EXPECT_EQ(cnt, 5u);
    EXPECT_EQ(cmpr_bit_acc, 0x08u);

    cmpr_bit_acc = 5;
    cnt = 3;
    put_bits(0, 8, 0, &cnt, dst, &pos);
    EXPECT_EQ(dst[1], 0x05);
    EXPECT_EQ(cnt, 3u);
    EXPECT_EQ(cmpr_bit_acc, 0u);

    // Out-of-range counts stay inside the 32 bits a value has.
    cmpr_bit_acc = 0;
    cnt = 0;
    pos = 0;
    put_bits(0xFFFFFFFF, -4, 0, &cnt, dst, &pos);
    EXPECT_EQ(pos, 0u);
    put_bits(0xA5A5A5A5, 40, 0, &cnt, dst, &pos);
    EXPECT_EQ(pos, 4u);
    EXPECT_EQ(dst[3], 0xA5);
    cmpr_bit_acc = 0;
}

TEST(SymbolEncoders, FixedLiteralLengthCode) {
    const struct {
        uint32_t sym;
        int32_t code, len;
    } cases[] = {{0, 0x30, 8}, {143, 0xBF, 8}, {144, 0x190, 9}, {255, 0x1FF, 9},
                 {256, 0, 7},  {279, 0x17, 7}, {280, 0xC0, 8},  {285, 0xC5, 8}};
    for (const auto &c : cases) {
        code_entry e{-1, -1};
        huffman(c.sym, &e);
        EXPECT_EQ(e.code, c.code) << c.sym;
        EXPECT_EQ(e.len, c.len) << c.sym;
    }
}

// Every length and every distance, against the ranges the format lists.
TEST(SymbolEncoders, EveryLengthAndDistanceRoundTrips) {
    const uint16_t len_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    for (uint32_t len = 3; len <= 258; ++len) {
        uint32_t xv = 99, xb = 99;
        uint32_t sym = encode_length(len, &xv, &xb);
        ASSERT_GE(sym, 257u);
        ASSERT_LE(sym, 285u);
        EXPECT_EQ(len_base[sym - 257] + xv, len) << len;
        EXPECT_LT(xv, 1u << xb);
    }
    uint32_t xv, xb;
    EXPECT_EQ(encode_length(258, &xv, &xb), 285u);
    EXPECT_EQ(encode_length(1000, &xv, &xb), 285u);
    EXPECT_EQ(xb, 0u);
    EXPECT_EQ(encode_length(257, &xv, &xb), 284u);
    EXPECT_EQ(xv, 30u);

    for (uint32_t d = 1; d <= 65535; ++d) {
        uint32_t code = encode_distance(d, &xv, &xb);
        ASSERT_LE(code, 31u);
        uint32_t e = code < 5 ? 0 : (code - 2) >> 1;
        uint32_t base = code < 5 ? code + 1 : (2u << e) + (code & 1) * (1u << e);
        ASSERT_EQ(xb, e) << d;
        ASSERT_EQ(base + xv, d) << d;
    }
    EXPECT_EQ(encode_distance(5, &xv, &xb), 4u);
    EXPECT_EQ(encode_distance(6, &xv, &xb), 5u);
    EXPECT_EQ(encode_distance(8189, &xv, &xb), 25u);
    EXPECT_EQ(xv, 2045u);
    EXPECT_EQ(encode_distance(8192, &xv, &xb), 26u);
    EXPECT_EQ(xb, 12u);
    EXPECT_EQ(encode_distance(65535, &xv, &xb), 31u);
    EXPECT_EQ(xv, 16383u);
}

TEST(CompressorSteps, HashWindowAndHistory) {
    EXPECT_EQ(hashf(0), 6601u);
    EXPECT_EQ(hashf('a' | 'b' << 8 | 'c' << 16), 1436u);

    const uint8_t src[] = {'x', 'y', 'z'};
    uint8_t window[8192] = {};
    uint32_t head = 8190, reg = 0, cur = 0;
    cmpr_in_idx = 0;
    EXPECT_EQ(adv_window(src, 3, window, &head, &reg, &cur), 0);
    EXPECT_EQ(adv_window(src, 3, window, &head, &reg, &cur), 0);
    EXPECT_EQ(adv_window(src, 3, window, &head, &reg, &cur), -1);
    EXPECT_EQ(adv_window(src, 3, window, &head, &reg, &cur), -1);  // a zero byte past the end
    EXPECT_EQ(reg, static_cast<uint32_t>('y' | 'z' << 8));
    EXPECT_EQ(head, 8194u);
    EXPECT_EQ(cur, 8191u);
    EXPECT_EQ(window[8190], 'x');
    EXPECT_EQ(window[0], 'z');  // the ring wraps

    uint32_t hist = 0;
    adv_history(8190, window, &hist);
    adv_history(8191, window, &hist);
    adv_history(8192, window, &hist);  // slot 0
    EXPECT_EQ(hist, static_cast<uint32_t>('x' | 'y' << 8 | 'z' << 16));
}

// gzip_cmprs takes its own road through the data; it must write exactly what
// the exported building blocks, driven step by step, write.
TEST(GzipCmprs, MatchesTheBuildingBlocksStepByStep) {
    std::vector<cmpr_test::Sample> inputs = cmpr_test::varied_samples();
    for (uint64_t seed = 0; seed < 300; ++seed) {
        // Small alphabets and short lengths: many matches of every length,
        // at every distance, ending at every position relative to the end.
        Bytes r = cmpr_test::random_bytes(1 + seed * 37 % 3000, seed);
        uint32_t alphabet = 1 + seed % 5;
        for (auto &b : r) b = static_cast<uint8_t>('a' + b % alphabet);
        inputs.push_back({"small-alphabet-" + std::to_string(seed), r});
    }
    for (size_t period :
         {1u, 2u, 5u, 6u, 7u, 8u, 9u, 15u, 257u, 258u, 259u, 4095u, 8188u, 8189u, 8190u, 8191u})
        inputs.push_back({"period-" + std::to_string(period),
                          cmpr_test::periodic(3 * period + 8300, period, period)});
    for (const auto &[name, in] : inputs) {
        SCOPED_TRACE(name);
        ASSERT_EQ(compress(in), cmpr_test::reference_cmprs(in));
    }
}
