// The segment checker held to the decoder: every escalation, every output
// length and every traced segment end of gzip_decmprs() on the same bytes;
// the signs of damage at their bits; and the search for a segment start held
// to trying every start in turn.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>

#include "cmpr_check.h"
#include "support/support.h"

using cmpr_test::Bytes;
using cmpr_test::join_segments;

namespace {

std::vector<Bytes> log_records(size_t count, size_t size, uint64_t seed) {
    std::vector<Bytes> r;
    for (size_t i = 0; i < count; ++i) r.push_back(cmpr_test::log_text(size, seed + i));
    return r;
}

cmpr_check_result check(const Bytes &buf, uint32_t record_size = 0) {
    cmpr_check_result r;
    const uint32_t kind =
        cmpr_check(buf.data(), static_cast<uint32_t>(buf.size()), record_size, &r);
    EXPECT_EQ(kind, r.damage);
    return r;
}

// The checker's counts against what gzip_decmprs() does on the same bytes.
std::string disagreement(const Bytes &buf) {
    const cmpr_check_result r = check(buf);
    const cmpr_test::Decoded d =
        cmpr_test::observe(gzip_decmprs, buf.data(), static_cast<uint32_t>(buf.size()));
    const auto eobs = static_cast<uint32_t>(
        std::count_if(d.reports.begin(), d.reports.end(),
                      [](const std::string &s) { return s.rfind("decode_block-573-6:", 0) == 0; }));
    char why[160] = "";
    if (r.escalations != d.reboots || r.out_len != d.result || r.segments != eobs)
        std::snprintf(why, sizeof why, "escalations %u/%zu, output %llu/%u, segments %u/%u",
                      r.escalations, d.reboots, static_cast<unsigned long long>(r.out_len),
                      d.result, r.segments, eobs);
    return why;
}

// A stream written with the library's own encoders and bit writer.
struct Stream {
    uint8_t buf[256] = {};
    uint32_t pending = 0, at = 0;
    void put(uint32_t v, uint32_t n, int code) {
        put_bits(v, static_cast<int32_t>(n), code, &pending, buf, &at);
    }
    Stream &lit(uint8_t b) {
        code_entry c;
        huffman(b, &c);
        put(static_cast<uint32_t>(c.code), static_cast<uint32_t>(c.len), 1);
        return *this;
    }
    Stream &match(uint32_t len, uint32_t dist) {
        uint32_t x, n;
        code_entry c;
        huffman(encode_length(len, &x, &n), &c);
        put(static_cast<uint32_t>(c.code), static_cast<uint32_t>(c.len), 1);
        put(x, n, 0);
        put(encode_distance(dist, &x, &n), 5, 1);
        put(x, n, 0);
        return *this;
    }
    Stream &end() { return put(0, 8, 0), *this; }  // the end code and one more zero bit
    Bytes padded(size_t to) {                      // zero bits to the byte, zero bytes to 'to'
        if (pending != 0) put(0, 8 - pending, 0);
        Bytes b(buf, buf + at);
        b.resize(std::max(to, b.size()), 0);
        return b;
    }
};

// Two literals, a match, then one 9000 back: a far distance at bit 52.
Bytes far_segment() {
    Stream s;
    return s.lit('a').lit('b').match(3, 2).match(4, 9000).end().padded(8);
}

}  // namespace

// Random bytes, real segments damaged in every way flash is damaged, and
// streams built to sit at the edges: the verdict is exact, never a guess.
TEST(Check, CountsWhatTheDecoderDoes) {
    std::vector<Bytes> bufs;
    for (uint64_t seed = 1; seed <= 40; ++seed)
        bufs.push_back(cmpr_test::random_bytes(seed * 37 % 3000, seed));
    const Bytes dump = join_segments(log_records(6, 4096, 7));
    for (size_t bit = 3; bit < 8 * dump.size(); bit += 997) {
        Bytes d = dump;
        d[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        bufs.push_back(d);
    }
    for (size_t at : {size_t{0}, size_t{1000}, dump.size() - 9}) {
        Bytes erased = dump, inserted = dump, lost = dump;
        std::fill(erased.begin() + at, erased.begin() + std::min(at + 700, dump.size()), 0xFF);
        inserted.insert(inserted.begin() + at, 0x5A);
        lost.erase(lost.begin() + at, lost.begin() + at + 3);
        bufs.insert(bufs.end(), {erased, inserted, lost});
    }
    for (size_t len = 0; len <= 9; ++len) bufs.push_back(Bytes(dump.begin(), dump.begin() + len));
    // Distances 8192 and 8193 after enough literals; an end code that ends
    // on the last word; a match cut off by the end; segments of four bytes
    // or fewer at the end, which the decoder does not read.
    Stream far;
    for (int i = 0; i < 40; ++i) far.lit(static_cast<uint8_t>('a' + i % 26));
    far.match(258, 8192).match(3, 8193).match(10, 20000);
    for (int i = 0; i < 40; ++i) far.match(258, 1);  // more output than the far distances below
    far.match(4, 8193).match(5, 9000).end();
    Stream last_word;
    last_word.lit('x').lit('y').lit('z').put(0, 7, 0);
    bufs.push_back(far.padded(0));
    bufs.push_back(last_word.padded(0));
    bufs.push_back(
        Stream().lit('q').match(200, 1).padded(0));  // no end code: zero bits past the end
    bufs.push_back(join_segments({cmpr_test::str("hello, world")}) + Bytes{0x91, 0, 0, 0});
    for (const Bytes &b : bufs) EXPECT_EQ(disagreement(b), "") << b.size();
}

// The run of 'v' bytes around byte 'at': where it starts, how long it is.
std::pair<uint64_t, uint64_t> run_at(const Bytes &b, size_t at, uint8_t v) {
    size_t from = at, to = at;
    while (from > 0 && b[from - 1] == v) --from;
    while (to < b.size() && b[to] == v) ++to;
    return {8 * from, to - from};
}

// Each sign of damage at the bit where it shows, or none.
TEST(Check, FirstSignOfDamage) {
    const std::vector<Bytes> records = log_records(4, 4096, 21);
    const Bytes dump = join_segments(records), one = join_segments({records[0]});
    const uint64_t s1 = 8 * (one.size() - 4);  // the second segment's first bit
    Bytes erased = dump, zeroed = dump;
    std::fill(&erased[100], &erased[100 + CMPR_ERASED_RUN], 0xFF);
    std::fill(&zeroed[s1 / 8 + 8], &zeroed[s1 / 8 + 8 + CMPR_ZERO_RUN], 0);
    const auto [erased_bit, erased_len] = run_at(erased, 100, 0xFF);
    const auto [zeros_bit, zeros_len] = run_at(zeroed, s1 / 8 + 8, 0);
    Stream before, padded;
    before.lit('a').lit('b').match(3, 3).end();
    Bytes bad_padding = padded.lit('a').lit('b').end().padded(4);
    bad_padding[3] = 0x01;
    const struct {
        const char *name;
        Bytes buf;
        uint32_t record_size, kind;
        uint64_t bit, value;
    } cases[] = {
        {"clean", dump, 4096, CMPR_DAMAGE_NONE, 0, 0},
        {"clean, record size unknown", dump, 0, CMPR_DAMAGE_NONE, 0, 0},
        {"far distance", far_segment(), 0, CMPR_DAMAGE_FAR_DISTANCE, 8 + 8 + 12 + 24, 9000},
        {"before the start", before.padded(8), 0, CMPR_DAMAGE_BEFORE_START, 8 + 8 + 12, 3},
        {"no end code", Stream().lit('q').match(200, 1).padded(0), 0, CMPR_DAMAGE_NO_END, 32, 0},
        {"padding", bad_padding + one, 0, CMPR_DAMAGE_PADDING, 24, 0},
        {"record size", dump, 4000, CMPR_DAMAGE_RECORD_SIZE, 0, 4096},
        {"short last record", join_segments({records[0], cmpr_test::str("tail")}), 4096,
         CMPR_DAMAGE_NONE, 0, 0},
        {"short record, then more", join_segments({cmpr_test::str("head"), records[0]}), 4096,
         CMPR_DAMAGE_RECORD_SIZE, 0, 4},
        {"erased page", erased, 0, CMPR_DAMAGE_ERASED, erased_bit, erased_len},
        {"erased tail", dump + Bytes(10, 0xFF), 0, CMPR_DAMAGE_ERASED, 8 * dump.size(), 10},
        {"zeroed stretch", zeroed, 0, CMPR_DAMAGE_ZEROS, zeros_bit, zeros_len},
        {"zero tail", dump + Bytes(100, 0), 4096, CMPR_DAMAGE_NONE, 0, 0},
        {"trailing bytes", one + Bytes{0x91, 0x01}, 0, CMPR_DAMAGE_TRAILING, s1 + 32, 2},
    };
    for (const auto &c : cases) {
        const cmpr_check_result r = check(c.buf, c.record_size);
        EXPECT_EQ(r.damage, c.kind) << c.name;
        EXPECT_EQ(r.damage_bit, c.bit) << c.name;
        EXPECT_EQ(r.damage_value, c.value) << c.name;
    }
    // One byte short of a run, the 0xFF bytes are read as the literals they are.
    Bytes short_run = dump;
    std::fill(&short_run[100], &short_run[100 + CMPR_ERASED_RUN - 1], 0xFF);
    if (run_at(short_run, 100, 0xFF).second < CMPR_ERASED_RUN) {
        EXPECT_NE(check(short_run).damage, CMPR_DAMAGE_ERASED);
    }
}

// The search finds the first start from which a segment reads cleanly, as
// trying each start with cmpr_read_segment() does, on data where readings
// run on for long and meet.
TEST(Check, FindsTheFirstCleanStartAsTryingEachDoes) {
    const Bytes seg = join_segments(log_records(2, 2000, 3));
    const std::vector<Bytes> bufs = {
        Bytes(1500, 0xAA) + seg,
        cmpr_test::random_bytes(3000, 9) + seg,
        Bytes(777, 0x55) + Bytes{0x8E, 0x8E, 0x8E} + seg + Bytes(500, 0x8E) + seg,
        Bytes(seg.begin() + 5, seg.end()) + seg,
    };
    for (const Bytes &buf : bufs) {
        const auto n = static_cast<uint32_t>(buf.size());
        cmpr_finder *f = cmpr_finder_new(buf.data(), n, n);
        ASSERT_NE(f, nullptr);
        for (uint64_t min_out : {1, 2000}) {
            std::vector<uint32_t> starts;  // by trying each
            for (uint32_t c = 0; c < n; ++c) {
                cmpr_segment_reading r;
                if (cmpr_read_segment(buf.data(), n, c, n, &r) == CMPR_DAMAGE_NONE &&
                    r.out_len >= min_out)
                    starts.push_back(c);
            }
            uint32_t from = 0;
            for (uint32_t want : starts) {
                uint32_t at = 0;
                cmpr_segment_reading r;
                ASSERT_EQ(cmpr_find_segment(f, from, n, min_out, UINT64_MAX, &at, &r), 1);
                EXPECT_EQ(at, want);
                EXPECT_EQ(r.damage, CMPR_DAMAGE_NONE);
                from = at + 1;
            }
            uint32_t at = 0;
            cmpr_segment_reading r;
            EXPECT_EQ(cmpr_find_segment(f, from, n, min_out, UINT64_MAX, &at, &r), 0);
        }
        cmpr_finder_free(f);
    }
}

// Bit positions past 2^32 (a buffer beyond 512 MiB) count in 64 bits, on a
// 32-bit CPU too: the same segment reads the same there as at the start.
TEST(Check, ReadsAsFarAsTheLibraryCounts) {
    const size_t n = size_t{600} << 20, at = (size_t{513} << 20) + 4;
    void *p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    if (p == MAP_FAILED) GTEST_SKIP() << "no room for 600 MiB of address space";
    auto *b = static_cast<uint8_t *>(p);
    const Bytes seg = join_segments({cmpr_test::log_text(3000, 4)}), bad = far_segment();
    std::copy(seg.begin(), seg.end(), b + at);
    std::copy(bad.begin(), bad.end(), b + at + seg.size());
    cmpr_segment_reading near, there;
    cmpr_read_segment(seg.data(), static_cast<uint32_t>(seg.size()), 0,
                      static_cast<uint32_t>(seg.size()), &near);
    EXPECT_EQ(cmpr_read_segment(b, static_cast<uint32_t>(n), static_cast<uint32_t>(at),
                                static_cast<uint32_t>(n), &there),
              CMPR_DAMAGE_NONE);
    EXPECT_EQ(there.end_bit, 8 * uint64_t{at} + near.end_bit);
    EXPECT_EQ(there.next, at + near.next);
    const auto after = static_cast<uint32_t>(at + seg.size());
    EXPECT_EQ(
        cmpr_read_segment(b, static_cast<uint32_t>(n), after, static_cast<uint32_t>(n), &there),
        CMPR_DAMAGE_FAR_DISTANCE);
    EXPECT_EQ(there.damage_bit, 8 * uint64_t{after} + 52);
    cmpr_finder *f = cmpr_finder_new(b, static_cast<uint32_t>(n), static_cast<uint32_t>(n));
    uint32_t found = 0;
    EXPECT_EQ(cmpr_find_segment(f, static_cast<uint32_t>(at - 64), static_cast<uint32_t>(at + 8), 1,
                                UINT64_MAX, &found, &there),
              1);
    EXPECT_EQ(found, at);
    cmpr_finder_free(f);
    munmap(p, n);
}
