// The decoder: golden streams with their trace lines, segments joined on
// 4-byte boundaries, the corrupt-distance escalation, and the fast road held
// to the block decoder.
#include <gtest/gtest.h>

#include <cstring>

#include "support/support.h"

using cmpr_test::BitWriter;
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

TEST(GzipDecmprs, GoldenStreamsAndTheirSegmentEnds) {
    const Bytes q = BitWriter().sym('q').bytes();
    const struct {
        Bytes in, out;
        unsigned end_bit;
    } cases[] = {
        {{}, {}, 7},
        {kAbc9, str("abcabcabc"), 51},
        {{0x89, 0x49}, str("ab"), 23},   // the zeros past the end supply the end code
        {{0xA3}, Bytes(258, 0xFF), 20},  // before the first byte lies 0xFF
        {BitWriter().sym('a').sym(264).dist(0).end_segment().bytes(), Bytes(11, 'a'),
         27},  // a distance shorter than the length repeats
        // 258 three ways: 284 with extra 31, 286 and 287.
        {BitWriter().sym('q').sym(284).bits(31, 5).dist(0).end_segment().bytes(), Bytes(259, 'q'),
         33},
        {BitWriter().sym('q').sym(286).dist(0).end_segment().bytes(), Bytes(259, 'q'), 28},
        {BitWriter().sym('q').sym(287).dist(0).end_segment().bytes(), Bytes(259, 'q'), 28},
    };
    for (const auto &c : cases) {
        const cmpr_test::Decoded d = decode(c.in);
        EXPECT_EQ(d.out, c.out) << c.end_bit;
        EXPECT_EQ(d.reports, Lines{eob(0, c.end_bit)});
    }
    EXPECT_EQ(CMPR_GZIP_DECMPRS_BOUND(0xFFFFFFFFu), 258ull * (0x7FFFFFFF8ull / 13 + 1));
}

TEST(GzipDecmprs, SegmentsOnFourByteBoundaries) {
    // The second segment copies "cab" from the first one's output.
    const Bytes first = kAbc9 + Bytes{0},
                second = BitWriter().text("xyz").sym(257).dist(6).bits(2, 2).end_segment().bytes();
    cmpr_test::Decoded d = decode(first + second);
    EXPECT_EQ(d.out, str("abcabcabcxyzcab"));
    EXPECT_EQ(d.reports, (Lines{eob(0, 51), eob(1, 109)}));
    EXPECT_EQ(decode(first + Bytes(8, 0) + second).reports, (Lines{eob(0, 51), eob(1, 173)}));
    // An end code that ends on a boundary skips nothing.
    d = decode(BitWriter().sym(200).text("ab").end_segment().pad_to(4).bytes() +
               Bytes{0x89, 0xc9, 0x00} + Bytes(5, 0));
    EXPECT_EQ(d.out, (Bytes{200, 'a', 'b', 'a', 'c'}));
    EXPECT_EQ(d.reports, (Lines{eob(0, 32), eob(1, 64 + 23)}));
    // A last segment of four bytes or less is decoded only when more follow.
    const Bytes ab = BitWriter().text("ab").end_segment().pad_to(4).bytes();
    EXPECT_EQ(decode(ab + ab).out, str("ab"));
    EXPECT_EQ(decode(ab + ab + ab).out, str("abab"));
}

TEST(GzipDecmprs, ACorruptDistanceIsReportedEscalatedAndDecodedOn) {
    // 8192 is fine: 'a', length 3 at distance code 26 with extra 0, 'b'.
    cmpr_test::Decoded d =
        decode(BitWriter().text("a").sym(257).dist(26).bits(0, 12).text("b").end_segment().bytes());
    EXPECT_EQ(d.out, (Bytes{'a', 0xFF, 0xFF, 0xFF, 'b'}));
    EXPECT_TRUE(d.shell.empty());
    // 8193 is not, nor 49152 + 16383 after it: each is escalated anew.
    testing::internal::CaptureStderr();
    d = decode(BitWriter()
                   .sym(257)
                   .dist(26)
                   .bits(1, 12)
                   .text("z")
                   .sym(257)
                   .dist(31)
                   .bits(16383, 14)
                   .end_segment()
                   .bytes());
    EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 198),
              "invalid offset -> 8193 at byte 0x00000003\n"
              "\n## MORB: hit unrecoverable data compression failure.\n"
              "## Need to reboot QZ to preserve the logs for debugging this failure.\n\n"
              "invalid offset -> 65535 at byte");
    EXPECT_EQ(d.out, (Bytes{0xFF, 0xFF, 0xFF, 'z', 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(d.shell, (Lines{"reboot -f", "reboot -f"}));
    ASSERT_EQ(d.reports.size(),
              21u);  // twice a dump header and seven rows, the report, the escalation
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
    inputs.push_back(
        BitWriter().sym('q').sym(257).dist(20).bits(9, 9).bytes());  // after a long one
    for (size_t i = 0; i < inputs.size(); ++i) {
        // One copy for both, in fixed bytes: the failure dump shows what lies around the input.
        const Bytes framed = Bytes(32, 0x3C) + inputs[i] + Bytes(128, 0xC3);
        const auto n = static_cast<uint32_t>(inputs[i].size());
        std::string err[2];
        cmpr_test::Decoded d[2];
        for (int k = 0; k < 2; ++k) {
            testing::internal::CaptureStderr();
            d[k] = cmpr_test::observe(k ? gzip_decmprs : cmpr_test::reference_decmprs,
                                      framed.data() + 32, n);
            err[k] = testing::internal::GetCapturedStderr();
        }
        ASSERT_EQ(cmpr_test::difference(d[1], d[0]) + err[1], err[0]) << "input " << i;
    }
}

TEST(GzipDecmprs, RebuildsTheExportedTablesWhateverAHostDidToThem) {
    lut_init();
    const std::vector<uint16_t> fixed = std::vector<uint16_t>(lut_lcode_8, lut_lcode_8 + 256) +
                                        std::vector<uint16_t>(lut_lcode_9, lut_lcode_9 + 512);
    std::memset(lut_lcode_8, 0, sizeof lut_lcode_8);
    std::memset(lut_lcode_9, 0, sizeof lut_lcode_9);
    gzip_decmprs(nullptr, 0, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(lut_lcode_8, lut_lcode_8 + 256) +
                  std::vector<uint16_t>(lut_lcode_9, lut_lcode_9 + 512),
              fixed);
}
