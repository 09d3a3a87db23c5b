// gzip_decmprs and decode_block: golden streams, segment ends, the history
// window, the corrupt-distance escalation and the other decoding modes.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/decode_state.h"
#include "support/bit_writer.h"
#include "support/guarded_buffer.h"
#include "support/owned_tree.h"
#include "support/shell_recorder.h"
#include "support/test_data.h"
#include "support/trace_capture.h"

using cmpr::decode_state;
using cmpr_test::BitWriter;
using cmpr_test::Bytes;
using cmpr_test::TraceCapture;

namespace {

Bytes decode(const Bytes &in) {
    Bytes out(CMPR_GZIP_DECMPRS_BOUND(in.size()), 0xEE);
    uint32_t n = gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), out.data());
    EXPECT_LE(n, out.size());
    out.resize(n);
    return out;
}

Bytes str(const char *s) {
    return Bytes(s, s + std::char_traits<char>::length(s));
}

Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string eob(int n, unsigned bit) {
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "decode_block-573: EOB %d at bit position 0x%.8x ( byte 0x%.8x )", n, bit,
                  (bit + 7) >> 3);
    return buf;
}

// Output and the traces of one decompression.
struct Decoded {
    Bytes out;
    std::vector<std::string> traces;
};

Decoded run(const Bytes &in) {
    TraceCapture cap;
    Decoded r;
    r.out = decode(in);
    r.traces = cap.texts();
    for (const cmpr_test::Report &rep : cap.reports())
        EXPECT_EQ(rep.level, rep.line == 573 ? 6 : 3) << rep.text();
    return r;
}

using Traces = std::vector<std::string>;

// Bytes of the segment that stands for "abcabcabc".
const Bytes kAbc9 = {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00};

}  // namespace

TEST(GzipDecmprs, GoldenStreams) {
    Decoded r = run({});
    EXPECT_EQ(r.out, Bytes{});
    EXPECT_EQ(r.traces,
              (Traces{"decode_block-573: EOB 0 at bit position 0x00000007 ( byte 0x00000001 )"}));

    r = run({0x00});
    EXPECT_EQ(r.out, Bytes{});
    EXPECT_EQ(r.traces, Traces{eob(0, 7)});

    r = run(kAbc9);
    EXPECT_EQ(r.out, str("abcabcabc"));
    EXPECT_EQ(r.traces, Traces{eob(0, 51)});

    // No end code: the zeros past the end supply one.
    r = run({0x89, 0x49});
    EXPECT_EQ(r.out, str("ab"));
    EXPECT_EQ(r.traces, Traces{eob(0, 23)});

    // Symbol 285 with its distance code cut off: 258 bytes of the 0xFF history.
    r = run({0xA3});
    EXPECT_EQ(r.out, Bytes(258, 0xFF));
    EXPECT_EQ(r.traces, Traces{eob(0, 8 + 5 + 7)});
}

TEST(GzipDecmprs, MatchLengthsAndTheHistoryBeforeTheFirstByte) {
    EXPECT_EQ(decode(BitWriter().sym(257).dist(0).end_segment().bytes()), Bytes(3, 0xFF));
    // A distance shorter than the length repeats the latest byte.
    EXPECT_EQ(decode(BitWriter().sym(97).sym(264).dist(0).end_segment().bytes()), Bytes(11, 97));
    EXPECT_EQ(decode(BitWriter().text("xy").sym(257).dist(4).end_segment().bytes()),
              (Bytes{'x', 'y', 0xFF, 0xFF, 0xFF}));

    // 258 three ways: 284 with extra 31, and 286 and 287, which no writer
    // sends.  The extra bits of 284 are five, least significant first.
    for (BitWriter w :
         {BitWriter().sym('q').sym(284).bits(31, 5).dist(0), BitWriter().sym('q').sym(286).dist(0),
          BitWriter().sym('q').sym(287).dist(0)}) {
        Bytes out = decode(w.text("!").end_segment().bytes());
        EXPECT_EQ(out, Bytes(259, 'q') + str("!"));
    }
    // Extra bits of both: length 17 + 1 at distance 24 + 5.
    Bytes base = str("0123456789abcdefghijklmnopqrstuvwxyz");
    BitWriter w;
    w.text("0123456789abcdefghijklmnopqrstuvwxyz").sym(268).bits(1, 1).dist(9).bits(5, 3);
    Bytes out = decode(w.end_segment().bytes());
    Bytes want = base;
    for (int i = 0; i < 18; ++i) want.push_back(want[want.size() - 29]);
    EXPECT_EQ(out, want);

    // A second call starts afresh: distance 3 now reaches 0xFF, not "abc".
    EXPECT_EQ(decode(kAbc9), str("abcabcabc"));
    EXPECT_EQ(decode(BitWriter().sym(257).dist(2).end_segment().bytes()), Bytes(3, 0xFF));
}

TEST(GzipDecmprs, SegmentsOnFourByteBoundariesDecodeBackToBack) {
    Bytes first = kAbc9 + Bytes{0};  // padded to 8
    // The second segment copies "cab" from the first one's output.
    Bytes second = BitWriter().text("xyz").sym(257).dist(6).bits(2, 2).end_segment().bytes();
    ASSERT_GT(second.size(), 4u);
    unsigned second_end = 64 + 3 * 8 + 7 + 5 + 2 + 7;

    Decoded r = run(first + second);
    EXPECT_EQ(r.out, str("abcabcabcxyzcab"));
    EXPECT_EQ(r.traces, (Traces{eob(0, 51), eob(1, second_end)}));

    // Eight more bytes of zero filler change nothing but the bit position.
    Decoded padded = run(first + Bytes(8, 0) + second);
    EXPECT_EQ(padded.out, r.out);
    EXPECT_EQ(padded.traces, (Traces{eob(0, 51), eob(1, second_end + 64)}));

    // A final segment of no more than four bytes is not reached.
    Bytes ab = BitWriter().text("ab").end_segment().pad_to(4).bytes();
    ASSERT_EQ(ab.size(), 4u);
    Decoded twice = run(ab + ab);
    EXPECT_EQ(twice.out, str("ab"));
    EXPECT_EQ(twice.traces, Traces{eob(0, 23)});
    EXPECT_EQ(run(ab + ab + ab).out, str("abab"));
}

TEST(GzipDecmprs, AnEndCodeOnABoundarySkipsNothing) {
    // 9 + 8 + 8 bits of literals and the 7-bit end code end at bit 32; the
    // writer's extra zero bit reads as a further, untraced end code.
    BitWriter w;
    w.sym(200).text("ab").end_segment().pad_to(4);
    Bytes in = w.bytes() + BitWriter().text("cd").end_segment().bytes() + Bytes(5, 0);
    ASSERT_EQ(in.size(), 16u);
    Decoded r = run(in);
    EXPECT_EQ(r.out, (Bytes{200, 'a', 'b', 'c', 'd'}));
    EXPECT_EQ(r.traces, (Traces{eob(0, 32), eob(1, 64 + 23)}));
}

TEST(GzipDecmprs, StaysWithinTheInputAndTheResult) {
    // Input and output each end right at an unmapped page.
    cmpr_test::GuardedBuffer in(kAbc9.size()), out(9);
    std::copy(kAbc9.begin(), kAbc9.end(), in.data_at_end());
    TraceCapture cap;
    EXPECT_EQ(gzip_decmprs(in.data_at_end(), 7, out.data_at_end()), 9u);
    EXPECT_EQ(Bytes(out.data_at_end(), out.data_at_end() + 9), str("abcabcabc"));
    EXPECT_EQ(gzip_decmprs(nullptr, 0, nullptr), 0u);

    // The bound: length-258 matches at distance 1 cost 13 bits each, so 14
    // bytes hold eight and a ninth whose distance code the zeros supply.
    EXPECT_EQ(CMPR_GZIP_DECMPRS_BOUND(0xFFFFFFFFu), 258ull * (0x7FFFFFFF8ull / 13 + 1));
    BitWriter w;
    while (w.bit_count() < 14 * 8) w.sym(285).dist(0);
    Bytes dense = w.bytes();
    dense.resize(14);
    EXPECT_EQ(decode(dense).size(), CMPR_GZIP_DECMPRS_BOUND(14));
}

namespace {

std::string row_line(const uint8_t *row) {
    char buf[128];
    std::snprintf(buf, sizeof buf,
                  "dbg_hex_dump-63: %p: %02X%02X%02X%02X %02X%02X%02X%02X %02X%02X%02X%02X "
                  "%02X%02X%02X%02X %02X%02X%02X%02X\n",
                  static_cast<const void *>(row), row[0], row[1], row[2], row[3], row[4], row[5],
                  row[6], row[7], row[8], row[9], row[10], row[11], row[12], row[13], row[14],
                  row[15], row[16], row[17], row[18], row[19]);
    return buf;
}

// Decodes 'stream' placed 32 bytes into a zeroed area, with every report,
// the stderr text and the shell commands in one stderr capture.
struct Escalation {
    Bytes area = Bytes(256, 0);
    Bytes out;
    std::string err;
};

Escalation decode_escalating(const Bytes &stream) {
    Escalation e;
    std::copy(stream.begin(), stream.end(), e.area.begin() + 32);
    for (size_t i = 0; i < 32; ++i) e.area[i] = static_cast<uint8_t>(0xC0 + i);
    const uint8_t *in = e.area.data() + 32;
    e.out.resize(CMPR_GZIP_DECMPRS_BOUND(stream.size()));
    trc_fn_t saved = cmpr_trc_fn;
    cmpr_api_init(cmpr_test::trace_to_stderr);
    cmpr_test::shell_commands().clear();
    cmpr_test::echo_shell_to(stderr);
    testing::internal::CaptureStderr();
    e.out.resize(gzip_decmprs(in, static_cast<uint32_t>(stream.size()), e.out.data()));
    std::fflush(stderr);
    e.err = testing::internal::GetCapturedStderr();
    cmpr_test::echo_shell_to(nullptr);
    cmpr_trc_fn = saved;
    return e;
}

}  // namespace

TEST(GzipDecmprs, Distance8192IsAcceptedSilently) {
    Bytes in = BitWriter().text("a").sym(257).dist(26).bits(0, 12).text("b").end_segment().bytes();
    Escalation e = decode_escalating(in);
    EXPECT_EQ(e.out, (Bytes{'a', 0xFF, 0xFF, 0xFF, 'b'}));
    EXPECT_EQ(e.err, eob(0, 8 + 7 + 5 + 12 + 8 + 7) + "\n");
    EXPECT_TRUE(cmpr_test::shell_commands().empty());
}

TEST(GzipDecmprs, Distance8193IsReportedEscalatedAndDecoded) {
    // Length 3 at distance 8193 (code 26, extra 1), then the literal z.
    Bytes in = BitWriter().sym(257).dist(26).bits(1, 12).text("z").end_segment().bytes();
    ASSERT_EQ(in, (Bytes{0xc0, 0x15, 0x00, 0x55, 0x00}));
    Escalation e = decode_escalating(in);
    EXPECT_EQ(e.out, (Bytes{0xFF, 0xFF, 0xFF, 'z'}));

    std::string want = "invalid offset -> 8193 at byte 0x00000003\n";
    want += "dbg_hex_dump-55: invalid offset: buffer dump:\n";
    for (int r = 0; r < 7; ++r) want += row_line(e.area.data() + 20 * r);
    want += "decode_block-724: invalid offset -> 8193 at byte 0x00000003\n";
    want += "\n## MORB: hit unrecoverable data compression failure.\n";
    want += "## Need to reboot QZ to preserve the logs for debugging this failure.\n\n";
    want += "decode_block-726: ## Crash QZ\n";
    want += "[shell] reboot -f\n";
    want += eob(0, 7 + 5 + 12 + 8 + 7) + "\n";
    EXPECT_EQ(e.err, want);
    EXPECT_EQ(cmpr_test::shell_commands(), std::vector<std::string>{"reboot -f"});
}

TEST(GzipDecmprs, EveryCorruptDistanceIsEscalatedAnew) {
    // Distances 12288 + 4095 and 49152 + 16383 (code 31), a literal between.
    BitWriter w;
    w.text("k").sym(258).dist(27).bits(4095, 12);
    Bytes in = w.text("m").sym(257).dist(31).bits(16383, 14).end_segment().bytes();
    Escalation e = decode_escalating(in);
    EXPECT_EQ(e.out, Bytes{'k'} + Bytes(4, 0xFF) + Bytes{'m'} + Bytes(3, 0xFF));
    EXPECT_NE(e.err.find("invalid offset -> 16383 at byte"), std::string::npos);
    EXPECT_NE(e.err.find("invalid offset -> 65535 at byte"), std::string::npos);
    EXPECT_EQ(cmpr_test::shell_commands(), (std::vector<std::string>{"reboot -f", "reboot -f"}));
}

namespace {

// Runs decode_block in 'mode' on 'in' after the reset a decompression makes.
Decoded run_mode(const Bytes &in, int32_t mode, tree_node *lit, tree_node *dist) {
    TraceCapture cap;
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    Decoded r;
    r.out.resize(4096, 0xEE);
    EXPECT_EQ(decode_block(in.data(), mode, lit, dist, r.out.data()), 0);
    r.out.resize(decode_state.out_cnt);
    r.traces = cap.texts();
    return r;
}

}  // namespace

TEST(DecodeBlock, RawModeReadsPlainNineAndFiveBitFields) {
    // a, b, length 3 at distance code 1 (distance 2), end code; the fields
    // are plain numbers, least significant bit first.
    BitWriter w;
    w.bits('a', 9).bits('b', 9).bits(257, 9).bits(1, 5).bits(256, 9);
    Decoded r = run_mode(w.bytes(), 3, nullptr, nullptr);
    EXPECT_EQ(r.out, str("ababa"));
    EXPECT_EQ(r.traces, Traces{eob(0, 41)});

    // Zero bits read as literal 0 in this mode: a stream without its end code
    // stops at the first symbol made only of the zeros past the end, instead
    // of repeating it for ever.
    w = BitWriter();
    w.bits('a', 9).bits(0, 9).bits('c', 9);
    r = run_mode(w.bytes(), 3, nullptr, nullptr);
    EXPECT_EQ(r.out, (Bytes{'a', 0, 'c'}));
    EXPECT_EQ(r.traces, Traces{});

    // Symbols above 287 act as 258; the extra-bit rule and the distance
    // clamp keep every read within 14 bits.
    w = BitWriter();
    w.bits('x', 9).bits(511, 9).bits(0, 5).bits(256, 9);
    r = run_mode(w.bytes(), 3, nullptr, nullptr);
    EXPECT_EQ(r.out, Bytes(259, 'x'));
}

TEST(DecodeBlock, TreeModeWalksTheGivenTrees) {
    // Trees of the fixed code read the fixed-code stream alike.
    cmpr_test::OwnedTree lit, dist;
    lit.build(cmpr_test::fixed_litlen_lengths());
    dist.build(std::vector<int32_t>(32, 5));
    Decoded r = run_mode(kAbc9, 0, &lit.root, &dist.root);
    EXPECT_EQ(r.out, str("abcabcabc"));
    EXPECT_EQ(r.traces, Traces{eob(0, 51)});
    EXPECT_EQ(run_mode(kAbc9, 7, &lit.root, &dist.root).out, str("abcabcabc"));

    // A small code of its own: x = 0, end = 10, 257 = 110, 300 = 111;
    // distance codes 0 = 0, 40 = 1.
    cmpr_test::OwnedTree small, near;
    add_symbol('x', 0, 1, 1, &small.root);
    add_symbol(256, 2, 2, 2, &small.root);
    add_symbol(257, 6, 3, 3, &small.root);
    add_symbol(300, 7, 3, 3, &small.root);
    add_symbol(0, 0, 1, 1, &near.root);
    add_symbol(40, 1, 1, 1, &near.root);
    BitWriter w;
    w.code(0, 1).code(6, 3).code(0, 1).code(7, 3).code(0, 1).code(2, 2);
    r = run_mode(w.bytes(), 2, &small.root, &near.root);
    EXPECT_EQ(r.out, Bytes(1 + 3 + 258, 'x'));
    EXPECT_EQ(r.traces, Traces{eob(0, 11)});

    // Distance code 40 acts as 31: 14 extra bits, and a corrupt distance.
    cmpr_test::shell_commands().clear();
    w = BitWriter();
    w.code(0, 1).code(6, 3).code(1, 1).bits(0, 14).code(2, 2);
    testing::internal::CaptureStderr();
    r = run_mode(w.bytes(), 2, &small.root, &near.root);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.out, (Bytes{'x', 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(r.traces.back(), eob(0, 1 + 3 + 1 + 14 + 2));
    EXPECT_EQ(err.rfind("invalid offset -> 49152 at byte 0x00000002\n", 0), 0u);
    EXPECT_EQ(cmpr_test::shell_commands().size(), 1u);
}

TEST(DecodeBlock, ASymbolThatTakesNoBitsEndsTheDecoding) {
    // A root that is itself a leaf yields its symbol without reading: the
    // stream would never move on.
    cmpr_test::OwnedTree lit, end;
    add_symbol('A', 0, 0, 0, &lit.root);
    add_symbol(256, 0, 0, 0, &end.root);
    Bytes in(12, 0x55);
    Decoded r = run_mode(in, 2, &lit.root, nullptr);
    EXPECT_EQ(r.out, Bytes{});
    EXPECT_EQ(decode_state.bits_used, 0u);

    r = run_mode(in, 2, &end.root, nullptr);  // the end code: traced once, aligned, stop
    EXPECT_EQ(r.traces, Traces{eob(0, 0)});
    EXPECT_EQ(decode_state.bits_used, 0u);
}
