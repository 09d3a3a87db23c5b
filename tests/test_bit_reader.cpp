// The bit reader and the fixed-code lookup tables.
#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "cmpr.h"
#include "decode/decode_state.h"
#include "support/bit_writer.h"
#include "support/test_data.h"

using cmpr::decode_state;
using cmpr_test::BitWriter;
using cmpr_test::Bytes;

namespace {

// Resets and primes the reader on 'in', as every decompression does.
void start(const Bytes &in) {
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
}

int markers(const uint16_t *table, int n) {
    return static_cast<int>(std::count(table, table + n, uint16_t{0x8000}));
}

}  // namespace

TEST(BitReader, PrimingFetchesFourBytesAndZerosPastTheEnd) {
    Bytes none;
    start(none);
    EXPECT_EQ(decode_state.bit_pos, 0u);
    EXPECT_EQ(decode_state.in_pos, 0u);
    EXPECT_EQ(decode_state.bits_used, 0u);
    EXPECT_EQ(get_bits(none.data(), 25), 0u);
    EXPECT_EQ(get_bits(none.data(), 32), 0u);
    EXPECT_EQ(decode_state.in_pos, 0u);
    EXPECT_EQ(decode_state.bits_used, 57u);
    start(none);
    EXPECT_EQ(get_lcode(none.data()), 256u);
    EXPECT_EQ(decode_state.bits_used, 7u);

    Bytes three = {0xAA, 0xBB, 0xCC};
    start(three);
    EXPECT_EQ(decode_state.in_pos, 3u);
    EXPECT_EQ(decode_state.bit_buf, 0x00CCBBAAu);
    EXPECT_EQ(get_bits(three.data(), 24), 0xCCBBAAu);
    EXPECT_EQ(get_bits(three.data(), 16), 0u);
}

TEST(BitReader, ReadsFieldsLeastSignificantBitFirstAcrossBytes) {
    Bytes in = {0x08, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0x00};
    start(in);
    EXPECT_EQ(get_bits(in.data(), 0), 0u);  // changes nothing below bit 8
    EXPECT_EQ(decode_state.bit_pos, 0u);
    EXPECT_EQ(decode_state.in_pos, 4u);
    // The stream bits 0, 0, 0, 1, 0 read as 8.
    EXPECT_EQ(get_bits(in.data(), 5), 8u);
    EXPECT_EQ(get_bits(in.data(), 3), 0u);
    EXPECT_EQ(get_bits(in.data(), 20), 0x01234u);
    EXPECT_EQ(get_bits(in.data(), 25), 0x1ABCDEFu);
    EXPECT_EQ(decode_state.bits_used, 53u);
    // in_pos * 8 == bits_used + 32 - bit_pos while input is left.
    EXPECT_EQ(decode_state.in_pos * 8, decode_state.bits_used + 32 - decode_state.bit_pos);
}

TEST(BitReader, WideReadsAdvanceExactly) {
    Bytes in(16, 0x5A);
    start(in);
    get_bits(in.data(), 7);
    ASSERT_EQ(decode_state.bit_pos, 7u);
    ASSERT_EQ(decode_state.in_pos, 4u);
    get_bits(in.data(), 31);  // fetches four new bytes
    EXPECT_EQ(decode_state.bit_pos, 6u);
    EXPECT_EQ(decode_state.in_pos, 8u);
    EXPECT_EQ(decode_state.bits_used, 38u);
    get_bits(in.data(), 40);  // more than 32 acts as 32
    EXPECT_EQ(decode_state.bits_used, 70u);
    EXPECT_EQ(decode_state.in_pos, 12u);
}

TEST(BitReader, DistanceCodeIsReadMostSignificantBitFirst) {
    Bytes in = {0x08};  // stream bits 0, 0, 0, 1, 0: code 00010
    start(in);
    EXPECT_EQ(get_ocode(in.data()), 2u);
    EXPECT_EQ(decode_state.bits_used, 5u);
}

TEST(BitReader, FixedCodeSymbolsAndTheirBitCosts) {
    Bytes ff = {0xFF};  // 111111110 from the zeros past the end: 254, then 256
    start(ff);
    EXPECT_EQ(get_lcode(ff.data()), 254u);
    EXPECT_EQ(decode_state.bits_used, 9u);
    EXPECT_EQ(get_lcode(ff.data()), 256u);
    EXPECT_EQ(decode_state.bits_used, 16u);

    Bytes ab = {0x89, 0x49};
    start(ab);
    EXPECT_EQ(get_lcode(ab.data()), 97u);
    EXPECT_EQ(get_lcode(ab.data()), 98u);
    EXPECT_EQ(decode_state.bits_used, 16u);
    EXPECT_EQ(get_lcode(ab.data()), 256u);
    EXPECT_EQ(decode_state.bits_used, 23u);

    // Every symbol of the alphabet, each costing its code's length.
    BitWriter w;
    for (uint32_t s = 0; s < 288; ++s) w.sym(s);
    Bytes all = w.bytes();
    start(all);
    for (uint32_t s = 0; s < 288; ++s) {
        uint32_t before = decode_state.bits_used;
        ASSERT_EQ(get_lcode(all.data()), s);
        uint32_t cost = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        ASSERT_EQ(decode_state.bits_used - before, cost) << "symbol " << s;
    }
}

TEST(FixedTables, HoldExactlyTheFixedCode) {
    lut_init();
    EXPECT_EQ(markers(lut_lcode_7, 128), 104);
    EXPECT_EQ(markers(lut_lcode_8, 256), 104);
    EXPECT_EQ(markers(lut_lcode_9, 512), 400);
    const uint8_t first[] = {0, 16, 8, 24, 4, 20};
    EXPECT_TRUE(std::equal(first, first + 6, reverse5));
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(reverse5[reverse5[i]], i);
    EXPECT_EQ(lut_lcode_7[0], 256);
    EXPECT_EQ(lut_lcode_7[reverse(23, 7)], 279);
    EXPECT_EQ(lut_lcode_8[reverse(0x30, 8)], 0);
    EXPECT_EQ(lut_lcode_8[reverse(0xC7, 8)], 287);
    EXPECT_EQ(lut_lcode_9[reverse(0x1FF, 9)], 255);
    // Reachable only after a 7-bit code: still a marker.
    EXPECT_EQ(lut_lcode_8[0], 0x8000);
    EXPECT_TRUE(std::all_of(lut_ocode, lut_ocode + 512, [](uint8_t b) { return b == 0; }));

    // Every call rebuilds the tables completely.
    lut_lcode_8[reverse(0x30, 8)] = 77;
    reverse5[1] = 3;
    lut_init();
    EXPECT_EQ(lut_lcode_8[reverse(0x30, 8)], 0);
    EXPECT_EQ(reverse5[1], 16);
}

TEST(FixedTables, ZeroTablesReadSymbolZeroAfterSevenBits) {
    Bytes in = {0xFF, 0xFF};
    start(in);
    std::memset(lut_lcode_7, 0, sizeof lut_lcode_7);
    std::memset(reverse5, 0, sizeof reverse5);
    EXPECT_EQ(get_lcode(in.data()), 0u);
    EXPECT_EQ(decode_state.bits_used, 7u);
    EXPECT_EQ(get_ocode(in.data()), 0u);
    lut_init();
}

TEST(Reverse, MirrorsTheLowWidthBits) {
    EXPECT_EQ(reverse(11, 3), 6u);
    EXPECT_EQ(reverse(0xFFF1, 3), 4u);  // bits at or above the width are dropped
    EXPECT_EQ(reverse(0x12345678, 0), 0u);
    EXPECT_EQ(reverse(0x12345678, -1), 0u);
    EXPECT_EQ(reverse(0x12345678, 32), 0x1E6A2C48u);
    EXPECT_EQ(reverse(1, 32), 0x80000000u);
    // Wider than 32: what would land above bit 31 is dropped.
    EXPECT_EQ(reverse(1, 33), 0u);
    EXPECT_EQ(reverse(2, 33), 0x80000000u);
    EXPECT_EQ(reverse(0xFFFFFFFF, 0x7FFFFFFF), 0u);
}
