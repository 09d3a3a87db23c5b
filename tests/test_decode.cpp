// The decoder: golden streams with their trace lines, segments joined on
// 4-byte boundaries, the corrupt-distance escalation, and the fast road held
// to the block decoder.
#include <gtest/gtest.h>

#include <cstring>

#include "support/support.h"

using cmpr_test::Bytes;
using cmpr_test::str;
using Lines = std::vector<std::string>;

namespace {

std::string eob(int n, unsigned bit) {
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "decode_block-573-6: EOB %d at bit position 0x%.8x ( byte 0x%.8x )", n, bit,
                  (bit + 7) >> 3);
    return buf;
}

cmpr_test::Decoded decode(const Bytes &in) {
    return cmpr_test::observe(gzip_decmprs, in.data(), static_cast<uint32_t>(in.size()));
}

const Bytes kAbc9 = {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00};  // "abcabcabc"

}  // namespace

// Streams as symbols: literals by their character, then length symbol, distance code, extra bits.
TEST(GzipDecmprs, GoldenStreamsAndTheirSegmentEnds) {
    const struct {
        Bytes in, out;
        unsigned end_bit;
    } cases[] = {
        {{}, {}, 7},
        {kAbc9, str("abcabcabc"), 51},
        {{0x89, 0x49}, str("ab"), 23},   // the zeros past the end supply the end code
        {{0xA3}, Bytes(258, 0xFF), 20},  // 285, 0: before the first byte lies 0xFF
        {{0x89, 0x08, 0x00, 0x00}, Bytes(11, 'a'), 27},         // a 264 0: the distance repeats
        {{0x85, 0x23, 0x1f, 0x00, 0x00}, Bytes(259, 'q'), 33},  // q 284 (31) 0: 258 three ways
        {{0x85, 0x63, 0x00, 0x00}, Bytes(259, 'q'), 28},        // q 286 0
        {{0x85, 0xe3, 0x00, 0x00}, Bytes(259, 'q'), 28},        // q 287 0
    };
    for (const auto &c : cases) {
        const cmpr_test::Decoded d = decode(c.in);
        EXPECT_EQ(d.out, c.out) << c.end_bit;
        EXPECT_EQ(d.reports, Lines{eob(0, c.end_bit)});
    }
    EXPECT_EQ(CMPR_GZIP_DECMPRS_BOUND(0xFFFFFFFFu), 258ull * (0x7FFFFFFF8ull / 13 + 1));
}

TEST(GzipDecmprs, SegmentsOnFourByteBoundaries) {
    const Bytes first = kAbc9 + Bytes{0},
                second = {0x15, 0x95, 0x55, 0x40, 0x26, 0x00};  // x y z 257 6 (2)
    cmpr_test::Decoded d = decode(first + second);
    EXPECT_EQ(d.out, str("abcabcabcxyzcab"));
    EXPECT_EQ(d.reports, (Lines{eob(0, 51), eob(1, 109)}));
    EXPECT_EQ(decode(first + Bytes(8, 0) + second).reports, (Lines{eob(0, 51), eob(1, 173)}));
    // 200 a b end: an end code that ends on a boundary skips nothing.
    d = decode(Bytes{0x27, 0x12, 0x93, 0, 0, 0, 0, 0, 0x89, 0xc9, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(d.out, (Bytes{200, 'a', 'b', 'a', 'c'}));
    EXPECT_EQ(d.reports, (Lines{eob(0, 32), eob(1, 64 + 23)}));
    // A last segment of four bytes or less is decoded only when more follow.
    const Bytes ab = {0x89, 0x49, 0x00, 0x00};
    EXPECT_EQ(decode(ab + ab).out, str("ab"));
    EXPECT_EQ(decode(ab + ab + ab).out, str("abab"));
}

TEST(GzipDecmprs, ACorruptDistanceIsReportedEscalatedAndDecodedOn) {
    cmpr_test::Decoded d =
        decode({0x89, 0xc0, 0x05, 0x00, 0x49, 0x00});  // a 257 26 (0) b: 8192 is fine
    EXPECT_EQ(d.out, (Bytes{'a', 0xFF, 0xFF, 0xFF, 'b'}));
    EXPECT_TRUE(d.shell.empty());
    testing::internal::CaptureStderr();  // 257 26 (1) z 257 31 (16383): 8193 and 65535 are not
    d = decode({0xc0, 0x15, 0x00, 0x55, 0xc0, 0xff, 0xff, 0x03, 0x00});
    EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 198),
              "invalid offset -> 8193 at byte 0x00000003\n"
              "\n## MORB: hit unrecoverable data compression failure.\n"
              "## Need to reboot QZ to preserve the logs for debugging this failure.\n\n"
              "invalid offset -> 65535 at byte");
    EXPECT_EQ(d.out, (Bytes{0xFF, 0xFF, 0xFF, 'z', 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(d.shell, (Lines{"reboot -f", "reboot -f"}));
    ASSERT_EQ(d.reports.size(),
              21u);  // each: a dump header and seven rows, the report, the escalation
    EXPECT_EQ(Lines(d.reports.begin() + 8, d.reports.begin() + 10),
              (Lines{"decode_block-724-3: invalid offset -> 8193 at byte 0x00000003",
                     "decode_block-726-3: ## Crash QZ"}));
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

TEST(GzipDecmprs, RebuildsTheExportedTablesWhateverAHostDidToThem) {
    auto tables = [] {
        using V = std::vector<uint16_t>;
        return V(lut_lcode_8, lut_lcode_8 + 256) + V(lut_lcode_9, lut_lcode_9 + 512);
    };
    lut_init();
    const std::vector<uint16_t> fixed = tables();
    std::memset(lut_lcode_8, 0, sizeof lut_lcode_8);
    std::memset(lut_lcode_9, 0, sizeof lut_lcode_9);
    gzip_decmprs(nullptr, 0, nullptr);
    EXPECT_EQ(tables(), fixed);
}
