// The compressor: exact bytes, its bound, its fast road held to the exported
// building blocks driven step by step, and the checksums of its output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "encode/lz77.h"
#include "support/support.h"

using cmpr_test::Bytes;
using cmpr_test::str;

namespace {

size_t g_failing_malloc_size = 0;  // 0: none fails

// A sample and its segment: sizes and CRC-32s.
std::string line(const std::string &name, const Bytes &in, const Bytes &out) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s, %zu, 0x%08X, %zu, 0x%08X", name.c_str(), in.size(),
                  crc_gen(in.data(), int32_t(in.size())), out.size(),
                  crc_gen(out.data(), int32_t(out.size())));
    return buf;
}

}  // namespace

// The test binary is linked with --wrap=malloc.
extern "C" void *__real_malloc(size_t);
extern "C" void *__wrap_malloc(size_t n) {
    return g_failing_malloc_size != 0 && n == g_failing_malloc_size ? nullptr : __real_malloc(n);
}

// Each length's and each distance's symbol and extra bits against the
// format's rule (base plus extra value), over their whole ranges and past
// them.  put_bits after 0 to 7 pending bits, of every width up to a whole
// word and past it, against the stream that the bits make.
TEST(EncoderBlocks, SymbolsExtraBitsAndPutBitsAtEveryWidth) {
    for (uint64_t n = 0; n <= 0x10001; ++n) {  // to 65536, then the largest
        const uint32_t v = n > 0x10000 ? UINT32_MAX : uint32_t(n);
        uint32_t x = ~0u, xb = ~0u, dx = ~0u, dxb = ~0u;
        const uint32_t s = encode_length(std::max(v, 3u), &x, &xb) - 257;
        const uint32_t c = encode_distance(v, &dx, &dxb);
        const uint32_t e = s < 8 || s == 28 ? 0 : (s - 4) >> 2, de = c < 5 ? 0 : (c - 2) >> 1;
        const uint32_t len = s == 28 ? 258 : s < 8 ? s + 3 : (4u << e) + (s & 3) * (1u << e) + 3;
        const uint32_t dist = c < 5 ? c + 1 : (2u << de) + (c & 1) * (1u << de);
        ASSERT_TRUE(s <= 28 && xb == e && x >> e == 0 && len + x == std::clamp(v, 3u, 258u) &&
                    (v < 258 || s == 28))
            << v;
        ASSERT_TRUE(c <= 31 && dxb == de && dx >> de == 0 && dist + dx == std::clamp(v, 1u, 65535u))
            << v;
    }
    for (uint32_t pending = 0; pending < 8; ++pending)
        for (int32_t nbits : {INT32_MIN, -1, 0, 1, 5, 8, 9, 24, 25, 26, 31, 32, 33, INT32_MAX})
            for (int32_t rev : {0, 1}) {
                const uint32_t n = uint32_t(std::clamp(nbits, 0, 32)),
                               value = 0xB5C3A96Du >> pending;
                const uint64_t low = value & ((uint64_t{1} << n) - 1),
                               first = 0x55u >> (8 - pending);
                const uint64_t stream = first | (rev ? reverse(value, int32_t(n)) : low) << pending;
                uint8_t none[1], buf[8] = {};
                gzip_cmprs(none, 0, none);  // nothing pending in the library-wide accumulator
                uint32_t cnt = 0, pos = 0;
                put_bits(uint32_t(first), int32_t(pending), 0, &cnt, buf, &pos);
                EXPECT_EQ(put_bits(uint32_t(rev ? value : low), nbits, rev, &cnt, buf, &pos), 0);
                EXPECT_TRUE(pos == (pending + n) / 8 && cnt == (pending + n) % 8) << nbits;
                put_bits(0, 7, 0, &cnt, buf, &pos);  // and the bits left pending
                for (uint32_t b = 0; b < 8; ++b)
                    ASSERT_EQ(buf[b], b < pos ? uint8_t(stream >> 8 * b) : 0)
                        << pending << ", " << nbits << ", " << rev;
            }
}

// The bounds at the smallest lengths and at the largest.
TEST(Bounds, AtTheLargestLengths) {
    const uint32_t most = UINT32_MAX;
    EXPECT_TRUE(CMPR_GZIP_CMPRS_BOUND(0u) == 1 && CMPR_GZIP_CMPRS_BOUND(1u) == 3 &&
                CMPR_GZIP_CMPRS_BOUND(most) == 4831838208u);  // ceil(9 * most / 8) + 1
    EXPECT_TRUE(CMPR_GZIP_DECMPRS_BOUND(0u) == 258 &&
                CMPR_GZIP_DECMPRS_BOUND(most) == 258ull * (0x7FFFFFFF8ull / 13 + 1));
}

TEST(GzipCmprs, GoldenSegments) {
    const std::pair<Bytes, Bytes> cases[] = {
        {{}, {0x00}},
        {{'A'}, {0x8e, 0x00}},
        {{0xFF}, {0xff, 0x01, 0x00}},
        {str("abcd"), {0x89, 0x49, 0xc9, 0x29, 0x00}},
        {str("abcabcabc"), {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00}},
        {str("aaaa"), {0x89, 0x89, 0x89, 0x89, 0x00}},
        {str("aaaaa"), {0x89, 0x40, 0x90, 0x08, 0x00}},
        {str("aaaaaaaa"), {0x89, 0x10, 0x90, 0x08, 0x00}},
        {Bytes(300, 'a'), {0x89, 0xa3, 0x80, 0xd8, 0x30, 0x48, 0x04, 0x00}},
    };
    for (const auto &[in, out] : cases) EXPECT_EQ(cmpr_test::compress(in), out) << in.size();
}

// Small alphabets give matches of every length at every distance, ending at
// every place near the end; periods around 8 and the window size test the
// overlapping compare and the distance limit.  Before each call a host's
// put_bits has left bits pending in the library-wide accumulator.
TEST(GzipCmprs, MatchesTheBuildingBlocks) {
    auto inputs = cmpr_test::varied_samples();
    for (uint64_t seed = 0; seed < 300; ++seed) {
        Bytes r = cmpr_test::random_bytes(1 + seed * 37 % 3000, seed);
        for (auto &b : r) b = static_cast<uint8_t>('a' + b % (1 + seed % 5));
        inputs.push_back({"alphabet-" + std::to_string(seed), r});
    }
    for (size_t p :
         {1u, 2u, 5u, 6u, 7u, 8u, 9u, 15u, 257u, 258u, 259u, 4095u, 8188u, 8189u, 8190u, 8191u})
        inputs.push_back({"period-" + std::to_string(p), cmpr_test::periodic(3 * p + 8300, p, p)});
    // Noise, in which the steps go on eight at a time, with copies of its own
    // bytes: matches of every short length at every place in those runs.
    for (uint64_t seed = 0; seed < 40; ++seed) {
        Bytes r = cmpr_test::random_bytes(700 + seed * 311 % 9000, seed);
        const Bytes pick = cmpr_test::random_bytes(r.size(), seed + 1000);
        for (size_t at = 300 + seed % 16; at + 40 < r.size(); at += 20 + pick[at] % 400) {
            const size_t len = 3 + pick[at + 1] % 14;
            const size_t back =
                1 + (pick[at + 2] * 256u + pick[at + 3]) % std::min<size_t>(at, 8300);
            for (size_t k = 0; k < len; ++k) r[at + k] = r[at - back + k];
        }
        inputs.push_back({"noise-and-copies-" + std::to_string(seed), r});
    }
    // Noise in which the strings at q - 1 and q hash alike, for q at each
    // place in a round of eight literal steps and where they are taken up,
    // and the string at q - 1 comes back 600 bytes on: a match there only if
    // the step at q kept the older entry.
    Bytes noise = cmpr_test::random_bytes(1400, 77);
    const auto hash_at = [&](size_t i) {
        return cmpr::hash3(noise[i] | noise[i + 1] << 8 | noise[i + 2] << 16);
    };
    for (size_t q = 257; q < 257 + 8 * 45; q += 45) {
        for (uint32_t v = 0; v < 65536 && hash_at(q - 1) != hash_at(q); ++v) {
            noise[q + 1] = uint8_t(v);
            noise[q + 2] = uint8_t(v >> 8);
        }
        ASSERT_EQ(hash_at(q - 1), hash_at(q)) << q;
        std::copy_n(noise.begin() + ptrdiff_t(q - 1), 8, noise.begin() + ptrdiff_t(q + 599));
    }
    inputs.push_back({"noise-same-hash-neighbours", noise});
    // The string at 0 hashes like the run's own, whose positions keep that
    // entry as long as it is near enough: up to exactly 8192 back.  The run
    // ends there, goes on as 8-bit literals, or as 9-bit ones (more than
    // eight bits a byte, which the steps take eight at a time).
    for (const auto &[first, run, size] :
         {std::tuple{141, 120, 8197}, {141, 120, 8240}, {163, 194, 8240}}) {
        Bytes colliding = {uint8_t(first)};
        colliding.resize(size, uint8_t(run));
        inputs.push_back(
            {"same-hash-run-" + std::to_string(run) + "-" + std::to_string(size), colliding});
    }
    for (const auto &[name, in] : inputs) {
        uint32_t pending = 0, pos = 0;
        uint8_t scratch[4];
        put_bits(5, 3, 0, &pending, scratch, &pos);
        ASSERT_EQ(cmpr_test::compress(in), cmpr_test::reference_cmprs(in)) << name;
        EXPECT_EQ(cmpr_in_idx, in.size());
    }
}

// The table outlives calls.  A call that runs its 32-bit entries out leaves
// the next base at 0; a short call stands in for it.  A call from base 0
// that trusted what that one left would find each of its strings, 8192
// positions on, at distance 0.  Fresh from the clear that 0 asks for,
// entries no call wrote still look near: here the string 0 A B, like the
// bytes before slot 0 and at slots 0 and 1, must stay a literal.  (Each call
// is made before the reference, which makes calls of its own.)
TEST(GzipCmprs, StartsAFreshTableWhenTheEntriesRunOut) {
    const Bytes text = cmpr_test::log_text(30000, 33), later = Bytes(8192, 0) + text;
    cmpr::g_next_base = 8192;
    cmpr_test::compress(text);
    cmpr::g_next_base = 0;
    const Bytes after_run_out = cmpr_test::compress(later);
    EXPECT_EQ(after_run_out, cmpr_test::reference_cmprs(later));

    const Bytes stale = str("AB, then twenty-odd letters") + Bytes{0, 'A', 'B'} + str("...");
    cmpr::g_next_base = 0;
    const Bytes after_clear = cmpr_test::compress(stale);
    EXPECT_EQ(after_clear, cmpr_test::reference_cmprs(stale));
}

TEST(GzipCmprs, WorksInASpareWindowWhenTheHeapFails) {
    const Bytes text = cmpr_test::log_text(30000, 33), want = cmpr_test::compress(text);
    g_failing_malloc_size = 8192;
    const Bytes got = cmpr_test::compress(text);
    g_failing_malloc_size = 0;
    EXPECT_EQ(got, want);
}

// The unit must write exactly the bytes the developer's machine writes.  The
// checksums below were recorded on x86-64; the armhf and s390x runs compare
// against them, which proves identical output, not a round trip that merely
// agrees with itself.
// One line per sample of varied_samples(): the sample (a generator fault shows
// apart from a codec fault), then its segment.
TEST(Golden, EverySampleCompressesToTheRecordedBytesAndBack) {
    const char *const want[] = {
        "zeros-100k, 100000, 0xD411957D, 1110, 0x335A493E",
        "period-3, 1000, 0xF2CE6062, 16, 0x4010DA7E",
        "text-1M, 1048576, 0x0B2629E4, 472771, 0xC0F25FC2",
        "records-200k, 200000, 0xE68B96D3, 94835, 0x419C4518",
        "random-3M, 3145728, 0xF51D88BD, 3317326, 0xEDDF35D9",
        "period-8189, 40000, 0xE1A8A5CD, 10442, 0x07001271",
        "period-8190, 40000, 0x556DBC0B, 42145, 0x8ED0B48E",
        "period-8192, 40000, 0xED612BEC, 42160, 0x74E4757C",
        "period-8193, 40000, 0x43EE484F, 42143, 0x4DAAB834",
    };
    std::vector<std::string> got;
    for (const auto &[name, in] : cmpr_test::varied_samples()) {
        const Bytes out = cmpr_test::compress(in);
        got.push_back(line(name, in, out));
        EXPECT_TRUE(cmpr_test::observe(gzip_decmprs, out.data(), uint32_t(out.size())).out == in)
            << name;
    }
    EXPECT_EQ(got, std::vector<std::string>(std::begin(want), std::end(want)));
}
