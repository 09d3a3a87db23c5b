// The bit reader and the fixed-code lookup tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cmpr.h"
#include "decode/decode_state.h"
#include "support/bit_writer.h"
#include "support/test_data.h"

using cmpr::decode_state;
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

TEST(BitReader, PrimingAndTheZerosPastTheEnd) {
    Bytes none;
    start(none);
    EXPECT_EQ(decode_state.bit_pos, 0u);
    EXPECT_EQ(get_bits(none.data(), 32), 0u);
    EXPECT_EQ(decode_state.in_pos, 0u);
    start(none);
    EXPECT_EQ(get_lcode(none.data()), 256u);
    EXPECT_EQ(decode_state.bits_used, 7u);

    Bytes three = {0xAA, 0xBB, 0xCC};
    start(three);
    EXPECT_EQ(decode_state.in_pos, 3u);
    EXPECT_EQ(get_bits(three.data(), 0), 0u);  // changes nothing
    EXPECT_EQ(decode_state.bit_pos, 0u);
    EXPECT_EQ(get_bits(three.data(), 25), 0xCCBBAAu);
    EXPECT_EQ(get_bits(three.data(), 16), 0u);
}

TEST(BitReader, FieldsAndWideReads) {
    Bytes in = {0x08, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0, 0, 0};
    start(in);
    EXPECT_EQ(get_bits(in.data(), 5), 8u);  // stream bits 0, 0, 0, 1, 0
    EXPECT_EQ(get_bits(in.data(), 3), 0u);
    EXPECT_EQ(get_bits(in.data(), 20), 0x01234u);
    EXPECT_EQ(get_bits(in.data(), 25), 0x1ABCDEFu);
    EXPECT_EQ(decode_state.bits_used, 53u);
    EXPECT_EQ(decode_state.bit_pos, 5u);
    EXPECT_EQ(decode_state.in_pos, 10u);
    get_bits(in.data(), 2);   // to bit_pos 7
    get_bits(in.data(), 31);  // four new bytes, bit_pos 6
    EXPECT_EQ(decode_state.bit_pos, 6u);
    EXPECT_EQ(decode_state.in_pos, 14u);
    EXPECT_EQ(decode_state.bits_used, 86u);
    get_bits(in.data(), 40);  // acts as 32, and the input stays at its end
    EXPECT_EQ(decode_state.bits_used, 118u);
    EXPECT_EQ(decode_state.in_pos, 14u);

    Bytes code2 = {0x08};
    start(code2);
    EXPECT_EQ(get_ocode(code2.data()), 2u);  // 00010, most significant bit first
}

TEST(BitReader, FixedCodeSymbolsAndTheirBitCosts) {
    Bytes ff = {0xFF};  // 111111110 from the zeros past the end: 254, then 256
    start(ff);
    EXPECT_EQ(get_lcode(ff.data()), 254u);
    EXPECT_EQ(decode_state.bits_used, 9u);
    EXPECT_EQ(get_lcode(ff.data()), 256u);
    EXPECT_EQ(decode_state.bits_used, 16u);
    // Only bit 15 of an entry means "read on": 0x7FFF is a symbol.
    start(ff);
    lut_lcode_9[255] = 0x7FFF;
    EXPECT_EQ(get_lcode(ff.data()), 0x7FFFu);
    lut_init();

    Bytes ab = {0x89, 0x49};
    start(ab);
    EXPECT_EQ(get_lcode(ab.data()), 97u);
    EXPECT_EQ(get_lcode(ab.data()), 98u);
    EXPECT_EQ(get_lcode(ab.data()), 256u);
    EXPECT_EQ(decode_state.bits_used, 23u);

    // Every symbol of the alphabet, each costing its code's length.
    cmpr_test::BitWriter w;
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

TEST(FixedTables, HoldExactlyTheFixedCodeAndAreRebuiltEachTime) {
    lut_lcode_8[0x0C] = 77;
    reverse5[1] = 3;
    lut_init();
    EXPECT_EQ(markers(lut_lcode_7, 128), 104);
    EXPECT_EQ(markers(lut_lcode_8, 256), 104);
    EXPECT_EQ(markers(lut_lcode_9, 512), 400);
    const uint8_t first[] = {0, 16, 8, 24, 4, 20};
    EXPECT_TRUE(std::equal(first, first + 6, reverse5));
    EXPECT_EQ(lut_lcode_8[0x0C], 0);    // code 0x30 reversed
    EXPECT_EQ(lut_lcode_8[0], 0x8000);  // reachable only after the 7-bit end code
    EXPECT_TRUE(std::all_of(lut_ocode, lut_ocode + 512, [](uint8_t b) { return b == 0; }));
}

TEST(Reverse, MirrorsTheLowWidthBits) {
    EXPECT_EQ(reverse(11, 3), 6u);
    EXPECT_EQ(reverse(0xFFF1, 3), 4u);
    EXPECT_EQ(reverse(7, 0), 0u);
    EXPECT_EQ(reverse(7, -1), 0u);
    EXPECT_EQ(reverse(0x12345678, 32), 0x1E6A2C48u);
    EXPECT_EQ(reverse(2, 33), 0x80000000u);  // bit 0 would land on bit 32: dropped
}
