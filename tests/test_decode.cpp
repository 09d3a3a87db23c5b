// The decoder: golden streams and segments joined on 4-byte boundaries in
// every mode, with their trace lines; the corrupt-distance escalation and its
// dump; the fast road held to the block decoder; the bit reader and the
// fixed-code tables at their limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <tuple>

#include "support/support.h"

using cmpr_test::Bytes;
using cmpr_test::Lines;
using cmpr_test::str;

namespace {

std::string eob(int n, unsigned bit) {
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "decode_block-573-6: EOB %d at bit position 0x%.8x ( byte 0x%.8x )", n, bit,
                  (bit + 7) >> 3);
    return buf;
}

const Bytes kAbc9 = {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00};  // "abcabcabc"

}  // namespace

// Streams as symbols: literals by their character, then length symbol,
// distance code, extra bits; segments joined on 4-byte boundaries.  Mode 1
// through gzip_decmprs and the block decoder alike; mode 3 reads plain 9-bit
// symbols (above 287 as 287) and 5-bit distance codes; every other mode walks
// the exported roots, built from the fixed code's lengths, and decodes what
// the fixed code does.
TEST(DecodeBlock, GoldenStreamsInEveryMode) {
    std::vector<code_entry> lit(288), dist(32, code_entry{0, 5});
    for (int s = 0; s < 288; ++s) lit[s].len = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    get_table(lit.data(), 288, &litlen_tree);
    get_table(dist.data(), 32, &offset_tree);
    const Bytes first = kAbc9 + Bytes{0},
                second = {0x15, 0x95, 0x55, 0x40, 0x26, 0x00},  // x y z 257 6 (2)
        ab = {0x89, 0x49, 0x00, 0x00};
    // clang-format off
    std::vector<std::tuple<int32_t, Bytes, Bytes, Lines>> cases = {
        {1, {}, {}, {eob(0, 7)}},
        {1, kAbc9, str("abcabcabc"), {eob(0, 51)}},
        {1, {0x89, 0x49}, str("ab"), {eob(0, 23)}},   // the zeros past the end supply the end code
        {1, {0xA3}, Bytes(258, 0xFF), {eob(0, 20)}},  // 285, 0: before the first byte lies 0xFF
        {1, {0x89, 0x08, 0x00, 0x00}, Bytes(11, 'a'), {eob(0, 27)}},  // a 264 0: distance repeats
        {1, {0x85, 0x23, 0x1f, 0x00, 0x00}, Bytes(259, 'q'), {eob(0, 33)}},  // q 284 (31) 0: 258
        {1, {0x85, 0x63, 0x00, 0x00}, Bytes(259, 'q'), {eob(0, 28)}},        // q 286 0
        {1, {0x85, 0xe3, 0x00, 0x00}, Bytes(259, 'q'), {eob(0, 28)}},        // q 287 0
        {1, {0x89, 0xc0, 0x05, 0x00, 0x49, 0x00}, {'a', 0xFF, 0xFF, 0xFF, 'b'}, {eob(0, 47)}},  // a
        // 257 26 (0) b: 8192 is no corrupt distance
        {1, first + second, str("abcabcabcxyzcab"), {eob(0, 51), eob(1, 109)}},
        {1, first + Bytes(8, 0) + second, str("abcabcabcxyzcab"), {eob(0, 51), eob(1, 173)}},
        // 200 a b end: an end code that ends on a boundary skips nothing
        {1, {0x27, 0x12, 0x93, 0, 0, 0, 0, 0, 0x89, 0xc9, 0, 0, 0, 0, 0, 0},
         {200, 'a', 'b', 'a', 'c'}, {eob(0, 32), eob(1, 87)}},
        // a last segment of four bytes or less is decoded only when more follow
        {1, ab + ab, str("ab"), {eob(0, 23)}},
        {1, ab + ab + ab, str("abab"), {eob(0, 23), eob(1, 55)}},
        {3, {0x61, 0x58, 0x82, 0x80, 0x1a, 0x00, 0xfe, 0x03, 0x80},  // a, 300 (as 287) 0,
         Bytes(259, 'a') + Bytes(261, 0xFF), {eob(0, 72)}}};       // 257 26 (0), 511 0, end
    // clang-format on
    for (int32_t mode : {2, 0, -1, INT32_MIN, INT32_MAX})
        cases.push_back({mode, kAbc9, str("abcabcabc"), {eob(0, 51)}});
    for (const auto &[mode, in, out, reports] : cases) {
        cmpr_test::block_mode = mode;
        for (auto decoder : {cmpr_test::reference_decmprs,
                             mode == 1 ? gzip_decmprs : cmpr_test::reference_decmprs}) {
            const cmpr_test::Decoded d =
                cmpr_test::observe(decoder, in.data(), uint32_t(in.size()));
            EXPECT_EQ(d.out, out) << mode << ", " << in.size();
            EXPECT_EQ(d.reports, reports) << mode << ", " << in.size();
        }
    }
    cmpr_test::block_mode = 1;
    cmpr_test::free_below(&litlen_tree);
    cmpr_test::free_below(&offset_tree);
}

TEST(GzipDecmprs, ACorruptDistanceIsReportedEscalatedAndDecodedOn) {
    // 257 26 (1) z 257 31 (16383): distances 8193 and 65535, both corrupt.
    // The input lies amid bytes of its own, so its dump is known.
    std::vector<uint8_t> area(140);
    std::iota(area.begin(), area.end(), 1);
    const Bytes corrupt = {0xc0, 0x15, 0x00, 0x55, 0xc0, 0xff, 0xff, 0x03, 0x00};
    std::copy(corrupt.begin(), corrupt.end(), &area[32]);
    testing::internal::CaptureStderr();
    const cmpr_test::Decoded d = cmpr_test::observe(gzip_decmprs, &area[32], 9);
    EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 198),
              "invalid offset -> 8193 at byte 0x00000003\n"
              "\n## MORB: hit unrecoverable data compression failure.\n"
              "## Need to reboot QZ to preserve the logs for debugging this failure.\n\n"
              "invalid offset -> 65535 at byte");
    EXPECT_EQ(d.out, (Bytes{0xFF, 0xFF, 0xFF, 'z', 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(d.reboots, 2u);
    ASSERT_EQ(d.reports.size(), 21u);  // each: the dump's header and seven rows, two reports
    EXPECT_EQ(Lines(d.reports.begin(), d.reports.begin() + 10),
              (Lines{"dbg_hex_dump-55-3: invalid offset: buffer dump:"} +
               cmpr_test::dump_rows(63, &area[0], 7) +
               Lines{"decode_block-724-3: invalid offset -> 8193 at byte 0x00000003",
                     "decode_block-726-3: ## Crash QZ"}));
    EXPECT_TRUE(d.reports[1].ends_with(": 01020304 05060708 090A0B0C 0D0E0F10 11121314"));
    EXPECT_EQ(d.reports.back(), eob(0, 65));
}

// The fast road agrees with the block decoder, after the driver's reset, on
// all a host sees: result, bytes, reports, standard error, shell commands and
// the state left behind, history included.
TEST(FastDecoder, AgreesWithTheBlockDecoder) {
    std::vector<Bytes> inputs;
    for (const auto &[name, in] : cmpr_test::varied_samples())
        if (in.size() <= (1u << 20)) inputs.push_back(cmpr_test::compress(in));
    Bytes joined = cmpr_test::compress(cmpr_test::log_text(3000, 51));
    joined.resize((joined.size() + 3) / 4 * 4 + 8, 0);
    joined = joined + cmpr_test::compress(cmpr_test::binary_records(2000, 52)) + Bytes(8, 0);
    for (size_t cut = joined.size() - 48; cut <= joined.size(); ++cut)  // where the fast road stops
        inputs.push_back(Bytes(joined.begin(), joined.begin() + cut));
    for (uint64_t seed = 1; seed <= 40; ++seed)  // any symbol, corrupt distances, ends anywhere
        inputs.push_back(cmpr_test::random_bytes(100 * seed, seed));
    inputs.push_back({0x85, 0xc0, 0x92, 0x00});  // q 257 20 (9), after a long decoding
    for (size_t i = 0; i < inputs.size(); ++i) {
        // One copy for both, in fixed bytes: the failure dump shows what lies around the input.
        const Bytes framed = Bytes(32, 0x3C) + inputs[i] + Bytes(128, 0xC3);
        std::string err[2];
        cmpr_test::Decoded d[2];
        for (int k = 0; k < 2; ++k) {
            testing::internal::CaptureStderr();
            d[k] = cmpr_test::observe(k ? gzip_decmprs : cmpr_test::reference_decmprs, &framed[32],
                                      uint32_t(inputs[i].size()));
            err[k] = testing::internal::GetCapturedStderr();
        }
        ASSERT_EQ(cmpr_test::difference(d[1], d[0]) + err[1], err[0]) << "input " << i;
    }
}

// The dump's window, from 32 bytes before the input, may reach an unmapped
// page before the input or after it: the rows there are left out and nothing
// faults.
TEST(GzipDecmprs, TheDumpLeavesOutRowsItCannotRead) {
    auto rows = [](uint8_t *in) {
        std::copy_n(cmpr_test::kCorruptDistance.begin(), 5, in);
        testing::internal::CaptureStderr();
        Lines reports = cmpr_test::observe(gzip_decmprs, in, 5).reports;
        testing::internal::GetCapturedStderr();
        std::erase_if(reports, [](const std::string &r) { return r.rfind("dbg_hex_dump-63", 0); });
        return reports;
    };
    cmpr_test::GuardedBuffer after(100), before(5);
    EXPECT_EQ(rows(after.start), cmpr_test::dump_rows(63, after.start + 8, 5));     // not -32, -12
    EXPECT_EQ(rows(before.end - 5), cmpr_test::dump_rows(63, before.end - 37, 1));  // only -32
}

// Reads of every width from an input that ends at an unmapped page: the
// value, then bit_pos, in_pos and bits_used; past the end only zero bits.
// reverse() at every kind of width.  Every entry of the tables as lut_init()
// builds them and as gzip_decmprs() rebuilds them over a host's writes: the
// fixed code's symbol where the code's bits, in reading order, index, else
// the marker; lut_ocode stays zero.
TEST(BitReader, ReadsOfEveryWidthAndEveryTableEntry) {
    cmpr_test::GuardedBuffer guard(10);
    uint8_t *in = guard.end - 10;
    const Bytes bytes = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0, 0x11, 0x22};
    std::copy(bytes.begin(), bytes.end(), in);
    const cmpr::DecodeState &st = cmpr::decode_state;
    cmpr::reset_decoder(in, 10);
    // clang-format off
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t> reads[] = {
        {0, 0, 0, 4, 0}, {32, 0x78563412, 0, 8, 32}, {7, 0x1A, 7, 8, 39},
        {25, 0x1E1BD79, 0, 10, 64}, {33, 0x2211, 0, 10, 96}, {7, 0, 7, 10, 103},
        {31, 0, 6, 10, 134}};  // 33 reads as 32
    const std::tuple<uint32_t, int32_t, uint32_t> reversals[] = {
        {11, 3, 6}, {~0u, 0, 0}, {~0u, -1, 0}, {~0u, INT32_MIN, 0}, {0x80000001, 31, 0x40000000},
        {0x12345678, 32, 0x1E6A2C48}, {0x12345678, 33, 0x3CD45890}, {~0u, INT32_MAX, 0}};
    const std::tuple<int32_t, int, uint32_t, uint32_t, uint32_t> codes[] = {  // the fixed code
        {7, 0, 0, 23, 256}, {8, 128, 48, 191, 0}, {8, 128, 192, 199, 280}, {9, 384, 400, 511, 144}};
    // clang-format on
    for (auto [n, value, bit_pos, in_pos, used] : reads) {
        EXPECT_EQ(get_bits(in, n), value) << used;
        EXPECT_TRUE(st.bit_pos == bit_pos && st.in_pos == in_pos && st.bits_used == used) << used;
    }
    for (auto [value, width, result] : reversals) EXPECT_EQ(reverse(value, width), result) << width;
    std::vector<uint16_t> want(128 + 256 + 512, 0x8000);  // lut_lcode_7, _8 and _9 back to back
    for (auto [w, at, first, last, symbol] : codes)
        for (uint32_t k = first; k <= last; ++k)
            want[at + reverse(k, w)] = uint16_t(symbol + k - first);
    Bytes want_bytes(32 + 512, 0);  // reverse5, then lut_ocode
    for (uint32_t i = 0; i < 32; ++i) want_bytes[i] = uint8_t(reverse(i, 5));
    for (int by_driver = 0; by_driver < 2; ++by_driver) {
        std::memset(lut_lcode_7, 0xA5, sizeof lut_lcode_7);
        std::memset(lut_lcode_8, 0xA5, sizeof lut_lcode_8);
        std::memset(lut_lcode_9, 0xA5, sizeof lut_lcode_9);
        std::memset(reverse5, 0xA5, sizeof reverse5);
        by_driver ? (void)cmpr_test::observe(gzip_decmprs, nullptr, 0) : lut_init();
        using V = std::vector<uint16_t>;
        EXPECT_EQ(V(lut_lcode_7, lut_lcode_7 + 128) + V(lut_lcode_8, lut_lcode_8 + 256) +
                      V(lut_lcode_9, lut_lcode_9 + 512),
                  want);
        EXPECT_EQ(Bytes(reverse5, reverse5 + 32) + Bytes(lut_ocode, lut_ocode + 512), want_bytes);
    }
}
