// gzip_decmprs takes a fast road through most of its input; the block
// decoder, driven as the driver's steps read, is the reference.  Both must
// agree on everything the host can see: the output, the result, the trace
// reports, standard error, the shell commands, and the decoder state they
// leave behind (bit reader, counts and the whole history).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include "cmpr.h"
#include "decode/decode_state.h"
#include "support/bit_writer.h"
#include "support/shell_recorder.h"
#include "support/test_data.h"
#include "support/trace_capture.h"

using cmpr::decode_state;
using cmpr_test::BitWriter;
using cmpr_test::Bytes;

namespace {

struct Outcome {
    uint32_t result = 0;
    Bytes out;
    std::vector<std::string> traces;
    std::string err;
    std::vector<std::string> shell;
    cmpr::DecodeState state;
};

// The failure dump shows the 32 bytes before the input and up to 108 from
// its start, addresses included: both runs decode the same copy of the input,
// framed in fixed bytes.
struct Framed {
    Bytes bytes;
    size_t size;
    explicit Framed(const Bytes &in) : bytes(32 + in.size() + 128, 0xC3), size(in.size()) {
        std::fill_n(bytes.begin(), 32, 0x3C);
        std::copy(in.begin(), in.end(), bytes.begin() + 32);
    }
    const uint8_t *data() const { return bytes.data() + 32; }
};

template <class Decode>
Outcome observe(const Framed &in, Decode &&decode) {
    Outcome o;
    Bytes out(CMPR_GZIP_DECMPRS_BOUND(in.size), 0xEE);
    cmpr_test::shell_commands().clear();
    cmpr_test::TraceCapture cap;
    testing::internal::CaptureStderr();
    o.result = decode(in.data(), static_cast<uint32_t>(in.size), out.data());
    o.err = testing::internal::GetCapturedStderr();
    o.traces = cap.texts();
    o.shell = cmpr_test::shell_commands();
    o.state = decode_state;
    out.resize(o.result);
    o.out = out;
    return o;
}

uint32_t reference_decmprs(const uint8_t *src, uint32_t len, uint8_t *dst) {
    cmpr::reset_decoder(src, len);
    decode_block(src, 1, &litlen_tree, &offset_tree, dst);
    return decode_state.out_cnt;
}

void expect_same(const Bytes &in, const std::string &name) {
    SCOPED_TRACE(name);
    const Framed framed(in);
    Outcome want = observe(framed, reference_decmprs);
    Outcome got = observe(framed, gzip_decmprs);
    ASSERT_EQ(got.result, want.result);
    EXPECT_TRUE(got.out == want.out);
    EXPECT_EQ(got.traces, want.traces);
    EXPECT_EQ(got.err, want.err);
    EXPECT_EQ(got.shell, want.shell);
    const cmpr::DecodeState &a = got.state, &b = want.state;
    EXPECT_EQ(a.bit_buf, b.bit_buf);
    EXPECT_EQ(a.bit_pos, b.bit_pos);
    EXPECT_EQ(a.bits_used, b.bits_used);
    EXPECT_EQ(a.in_pos, b.in_pos);
    EXPECT_EQ(a.in_len, b.in_len);
    EXPECT_EQ(a.in_base, b.in_base);
    EXPECT_EQ(a.out_cnt, b.out_cnt);
    EXPECT_EQ(a.hist_pos, b.hist_pos);
    EXPECT_EQ(std::memcmp(a.history, b.history, sizeof a.history), 0) << "histories differ";
}

Bytes compress(const Bytes &in) {
    Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size()));
    out.resize(
        static_cast<size_t>(gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data())));
    return out;
}

// A stream of random symbols from the whole alphabet: every literal, every
// length symbol with every extra value (284 with 31, 286 and 287 too), every
// distance code with random extra bits (so distances above 8192 as well),
// and segment ends at random places, padded to 4-byte boundaries.
Bytes random_stream(size_t symbols, uint64_t seed, bool corrupt_distances) {
    Bytes r = cmpr_test::random_bytes(symbols * 8, seed);
    BitWriter w;
    for (size_t i = 0; i < symbols; ++i) {
        const uint8_t *x = &r[i * 8];
        if (x[0] < 150) {
            w.sym(x[1]);
        } else if (x[0] < 155) {
            w.end_segment().pad_to(4);
            for (int k = x[1] % 3; k > 0; --k) w.bits(0, 32);  // and some filler
        } else {
            uint32_t sym = 257 + x[1] % 31;
            w.sym(sym);
            if (sym >= 265 && sym <= 284) w.bits(x[2], static_cast<int>((sym - 261) / 4));
            uint32_t code = corrupt_distances ? x[3] % 32 : x[3] % 27;
            w.dist(code);
            uint32_t extra = code < 5 ? 0 : (code - 2) / 2;
            uint32_t value = x[4] | x[5] << 8;
            if (!corrupt_distances && code == 26) value = 0;  // exactly 8192
            w.bits(value & ((1u << extra) - 1), static_cast<int>(extra));
        }
    }
    return w.end_segment().bytes();
}

}  // namespace

TEST(FastDecoder, AgreesWithTheBlockDecoderOnCompressedData) {
    for (const auto &[name, in] : cmpr_test::varied_samples()) {
        if (in.size() > (1u << 20)) continue;
        expect_same(compress(in), name);
    }
    // Joined segments, with filler, and buffers cut at every length near the
    // end (the fast road stops some bytes before it).
    Bytes a = compress(cmpr_test::log_text(3000, 51)),
          b = compress(cmpr_test::binary_records(2000, 52));
    Bytes joined = a;
    joined.resize((joined.size() + 3) / 4 * 4 + 8, 0);
    joined.insert(joined.end(), b.begin(), b.end());
    for (size_t cut = joined.size() > 40 ? joined.size() - 40 : 0; cut <= joined.size() + 8;
         ++cut) {
        Bytes in(joined.begin(), joined.begin() + std::min(cut, joined.size()));
        in.resize(cut, 0);
        expect_same(in, "joined-cut-" + std::to_string(cut));
    }
}

TEST(FastDecoder, AgreesWithTheBlockDecoderOnEverySymbol) {
    for (uint64_t seed = 1; seed <= 40; ++seed)
        expect_same(random_stream(50 + seed * 20, seed, false), "symbols-" + std::to_string(seed));
}

TEST(FastDecoder, AgreesWithTheBlockDecoderOnCorruptInput) {
    for (uint64_t seed = 1; seed <= 8; ++seed) {
        expect_same(random_stream(300, seed + 100, true), "corrupt-" + std::to_string(seed));
        expect_same(cmpr_test::random_bytes(64 * seed, seed + 200),
                    "random-" + std::to_string(seed));
    }
}

TEST(FastDecoder, AgreesAcrossCallsThatLeaveHistoryBehind) {
    // A long decoding fills the whole history; the next, short one must see
    // 0xFF before its first byte, and leave the same history as the reference.
    Bytes big = compress(cmpr_test::log_text(100000, 53));
    Bytes reaches_back = BitWriter().sym('q').sym(257).dist(20).bits(100, 9).end_segment().bytes();
    for (int i = 0; i < 2; ++i) {
        expect_same(big, "big");
        expect_same(reaches_back, "reaches-back");
        expect_same(Bytes{}, "empty");
    }
}
