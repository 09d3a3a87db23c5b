// gzip_cmprs: single-pass greedy LZ77, one hash probe per step.
//
// The rules that fix the output: a step at position cur hashes the three
// bytes there and probes the one position its table entry holds; a candidate
// at distance 1..kMaxMatchDistance whose three bytes (read from the window)
// equal them starts a match, which grows while the next input byte equals
// the byte the same distance back, up to kMaxMatch bytes and never over the
// last input byte.  The table learns each literal's position, and for a
// match only the position of its last byte (with the string starting there,
// zero bytes past the input); an entry that the previous update wrote under
// the same hash keeps its older position while that lies no more than
// kCompressorWindowSize back.  Steps run while three bytes follow the step's
// position; the rest are literals.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>

#include "bit_sink.h"
#include "bit_writer.h"
#include "cmpr.h"
#include "code_tables.h"
#include "common/compiler.h"
#include "common/unaligned.h"
#include "hash_batch.h"
#include "lz77.h"
#include "stream_format.h"
#include "window_ring.h"

namespace cmpr {

// The hash table lives across calls, so that a call need not clear it.  An
// entry holds a tag, base + position, where every call's base is a multiple
// of the window size (so a tag's low bits are its window slot) and lies at
// least a window's size above the last tag of the call before.  An entry of
// an earlier call is therefore more than a window back from every position
// of this one: never a candidate, and never kept by the update rule (which
// keeps only what the same call's previous update wrote anyway).
//
// When the 32-bit tags run out (every 4 GiB of input or so), the table is
// filled with kStale and the bases start again.  kStale is no tag at all,
// yet can look near: a match step refuses a candidate that holds it.  A
// call of nearly 4 GiB runs out on its own; its last tags wrap around to
// small numbers, which differences of tags take in their stride, and which
// never reach kStale.  Only one compression runs at a time, so one table
// serves all.
constexpr uint32_t kBaseStep = kCompressorWindowSize;
constexpr uint32_t kStale = kBaseStep - 1;
uint32_t g_next_base = kBaseStep;  // 0: the tags ran out

namespace {

uint32_t g_table[1u << kHashBits];

uint32_t claim_table(uint32_t src_len) {
    if (g_next_base == 0 || uint64_t{g_next_base} + src_len + kBaseStep > UINT32_MAX) {
        for (uint32_t &e : g_table) e = kStale;
        g_next_base = kBaseStep;
    }
    const uint32_t base = g_next_base;
    const uint64_t next = (uint64_t{base} + src_len + 2 * kBaseStep - 1) / kBaseStep * kBaseStep;
    g_next_base = next > UINT32_MAX ? 0 : static_cast<uint32_t>(next);
    return base;
}

// Used when the heap cannot spare the window; one compression runs at a time.
uint8_t g_spare_window[kCompressorWindowSize];

// The three bytes from 'pos', zero bytes past the end of the input.
CMPR_FORCE_INLINE uint32_t string_at(const uint8_t *src, uint32_t src_len, uint32_t pos) {
    if (CMPR_LIKELY(src_len - pos >= 4)) return load_le32(src + pos) & 0xFFFFFF;
    uint32_t v = 0;
    for (uint32_t i = 0; i < 3 && pos + i < src_len; ++i)
        v |= static_cast<uint32_t>(src[pos + i]) << (8 * i);
    return v;
}

// How many bytes two 8-byte words have equal from the front, given their
// XOR, which is not 0.  A 32-bit CPU looks at one half: a count of trailing
// zeros in 64 bits is a library call there.
CMPR_FORCE_INLINE uint32_t equal_bytes(uint64_t diff) {
    if constexpr (sizeof(size_t) == 8) return static_cast<uint32_t>(std::countr_zero(diff)) / 8;
    const auto low = static_cast<uint32_t>(diff);
    return low != 0
               ? static_cast<uint32_t>(std::countr_zero(low)) / 8
               : 4 + static_cast<uint32_t>(std::countr_zero(static_cast<uint32_t>(diff >> 32))) / 8;
}

// 8 % d for the distances d under 8, without a division (a library call on
// 32-bit ARM).
constexpr std::array<uint8_t, 8> kEightModulo = [] {
    std::array<uint8_t, 8> t{};
    for (uint32_t d = 1; d < 8; ++d) t[d] = static_cast<uint8_t>(8 % d);
    return t;
}();

// Length of the match at 'cur' against the candidate 'dist' back, whose
// first three bytes are known to match: up to 'limit' bytes.  Copies every
// matched byte into the window, so that on return the window holds every
// position before cur + length, and nothing beyond (a farther fill would
// overwrite bytes that a later candidate at the greatest distance needs).
//
// Kept out of line: the steps around it need every register.
__attribute__((noinline)) uint32_t extend_match(const uint8_t *src, WindowRing ring, uint32_t cur,
                                                uint32_t dist, uint32_t limit) {
    const uint32_t cand = cur - dist;
    uint32_t len = 3;
    if (dist >= 8) {
        // The candidate's next eight bytes are all in the window already.
        while (len + 8 <= limit) {
            const uint64_t here = load_le64(src + cur + len);
            const uint64_t diff = here ^ ring.get8(cand + len);
            if (diff != 0) {
                // Take the equal bytes before the first difference, and
                // leave the window's later slots alone.
                const uint32_t equal = equal_bytes(diff);
                ring.put8_first(cur + len, here, equal);
                return len + equal;
            }
            ring.put8(cur + len, here);
            len += 8;
        }
    } else {
        // The candidate runs into the bytes being matched: while they match,
        // it repeats its first 'dist' bytes, so compare against that
        // pattern, which moves on by 8 mod dist bytes per word.
        uint64_t pattern = 0;
        for (uint32_t k = 0, i = 0; k < 8; ++k, i = i + 1 == dist ? 0 : i + 1)
            pattern |= static_cast<uint64_t>(ring.get(cand + len + i)) << (8 * k);
        const uint32_t shift = kEightModulo[dist];
        while (len + 8 <= limit) {
            const uint64_t here = load_le64(src + cur + len);
            if (here != pattern) break;
            ring.put8(cur + len, here);
            len += 8;
            if (shift != 0)
                pattern = pattern >> (8 * shift) |
                          (pattern << (8 * (dist - shift)) & ~0ull << (8 * (8 - shift)));
        }
    }
    while (len < limit && src[cur + len] == ring.get(cand + len)) {
        ring.put(cur + len, src[cur + len]);
        ++len;
    }
    return len;
}

// distance_bits for the distances the window allows, from small tables:
// below 256 whole; from 256 on by dist >> 7, which fixes the distance code
// and the number of extra bits, and these are the low bits of dist.
constexpr uint32_t kNearDistances = 256;
inline constexpr std::array<uint32_t, kNearDistances> kNearDistanceBits = [] {
    std::array<uint32_t, kNearDistances> t{};
    for (uint32_t d = 1; d < kNearDistances; ++d) t[d] = distance_bits(d);
    return t;
}();
struct FarDistance {
    uint32_t code;        // the packed code, extra bits 0
    uint32_t extra_mask;  // where the extra bits go in it
};
inline constexpr std::array<FarDistance, kCompressorWindowSize / 128> kFarDistances = [] {
    std::array<FarDistance, kCompressorWindowSize / 128> t{};
    for (uint32_t i = kNearDistances / 128; i < t.size(); ++i) {
        const uint32_t code = distance_bits(i << 7);
        t[i] = {code, ((1u << (packed_count(code) - 5)) - 1) << 5};
    }
    return t;
}();

CMPR_FORCE_INLINE uint32_t window_distance_bits(uint32_t dist) {
    if (dist < kNearDistances) return kNearDistanceBits[dist];
    const FarDistance &far = kFarDistances[dist >> 7];
    return far.code | (dist << 5 & far.extra_mask);
}

// An in-line match of up to 7 bytes can put its bytes and the next step's
// three into the window in one masked store: fewer instructions, which is
// what counts on an in-order ARM core.  x86 puts them in two stores: with
// the one store, compression ran 4 % slower on x86-64 for as many
// instructions (most likely its 8-byte read of the window, which overlaps
// the stores just before it, waits for them).
#if defined(__x86_64__) || defined(__i386__)
constexpr bool kOneStoreForAShortMatch = false;
#else
constexpr bool kOneStoreForAShortMatch = true;
#endif

// Where the steps stand, between the functions that take them.
struct Steps {
    uint32_t cur;        // the step's position
    uint32_t hash;       // the hash of its string, while three bytes follow it
    uint32_t prev_hash;  // the hash of the last table update
    BitSink out;
};

// A match's length and distance symbols.  They take at least 12 bits, and
// the tail's literal and the end code follow: room for put_ahead().
CMPR_FORCE_INLINE void put_match(BitSink &out, uint32_t len, uint32_t dist) {
    const uint32_t lbits = kLengthBits[len], dbits = window_distance_bits(dist);
    if constexpr (BitSink::kMaxPut >= 29) {  // one put for the pair
        out.put_ahead(packed_bits(lbits) | packed_bits(dbits) << packed_count(lbits),
                      packed_count(lbits) + packed_count(dbits));
    } else {
        out.put_packed_ahead(lbits);
        out.put_packed_ahead(dbits);
    }
}

// Enters the position whose tag is 'tag' and whose string hashes to 'hash',
// unless the previous update entered an older position under the same hash
// that is still near enough.
CMPR_FORCE_INLINE void enter_position(uint32_t *table, uint32_t hash, uint32_t tag,
                                      uint32_t &prev_hash) {
    if (hash != prev_hash || tag - table[hash] > kCompressorWindowSize) table[hash] = tag;
    prev_hash = hash;
}

// What no three bytes read as.
constexpr uint32_t kNoString = 1u << 24;

// The input between two looks at how well it compresses (see compress()).
constexpr uint32_t kStretch = 256;

// The bytes from a step's position that take_steps() may read: the string,
// the eight after it and the next step's four.
constexpr uint32_t kStepReach = 15;

// Takes literal steps from s.cur, eight a round, for input that does not
// compress.  The rounds hash their eight positions at once, put the
// literals' codes two at a time and keep one branch a step, taken only for a
// match.  (A test that branched on whether there is a candidate at all would
// mispredict on a third of the steps.)  Every step enters its position in
// the table: a round in which a step has the hash of the step before, where
// the older entry may stay, is left to take_steps(), and so are the first
// step whose candidate's three bytes equal its own (a match) and a round
// that would read past the input.
//
// kStepReach bytes follow every position before 'end'.
//
// A 32-bit CPU puts one code a put and would run short of registers with
// the bit writer in the steps: a round's codes go out after its steps.
constexpr bool kPutCodesAfterSteps = BitSink::kMaxPut < 18;

__attribute__((noinline)) void take_literals(const uint8_t *src, const uint8_t *end, uint32_t base,
                                             uint32_t *table, WindowRing ring, Steps &s) {
    table = opaque_pointer(table);  // not rebuilt from the one table's symbol at each use
    const uint8_t *p = src + s.cur;
    uint32_t tag = base + s.cur;
    uint32_t hash = s.hash, prev_hash = s.prev_hash;
    BitSink out = s.out;
    // A round reads the kHashBatchReads bytes from p + 1.
    while (end - p > static_cast<ptrdiff_t>(1 + kHashBatchReads - kStepReach)) {
        uint32_t next[8];  // the hashes of p + 1 .. p + 8
        if (CMPR_UNLIKELY(!hash3_batch(p + 1, hash, next) || hash == prev_hash)) break;
        if constexpr (kPutCodesAfterSteps) {
            // The steps read their candidate's bytes whatever the distance,
            // and the test lets any distance below 8192 through: a
            // candidate 8190 or 8191 back whose bytes match ends the round
            // too, and take_steps() applies the exact rule to it.
            uint32_t i = 0, h = hash;  // step i's hash
#pragma GCC unroll 8
            for (; i < 8; ++i) {
                const uint32_t word = load_le32(p + i);
                const uint32_t entry = table[h];
                const uint32_t d = tag + i - entry;
                const uint32_t differ = (ring.get3_and_any(entry) ^ word) << 8;
                if (CMPR_UNLIKELY((differ | d >> 13) == 0)) break;
                table[h] = tag + i;
                ring.put(tag + i + 3, static_cast<uint8_t>(word >> 24));
                h = next[i];
            }
            if (i > 0) prev_hash = i == 1 ? hash : next[i - 2];
            hash = h;
            // The tail's literal and the end code follow: room for
            // put_ahead().
            if (CMPR_LIKELY(i == 8)) {
                for (uint32_t k = 0; k < 8; ++k) out.put_packed_ahead(kLiteralBits[p[k]]);
                p += 8;
                tag += 8;
                continue;
            }
            for (uint32_t k = 0; k < i; ++k) out.put_packed_ahead(kLiteralBits[p[k]]);
            p += i;
            goto stop;
        }
        uint32_t pair_bits = 0, pair_count = 0;
#pragma GCC unroll 8
        for (uint32_t i = 0; i < 8; ++i) {
            const uint32_t word = load_le32(p + i);
            const uint32_t entry = table[hash];
            const uint32_t d = tag + i - entry;
            const bool candidate = d <= kMaxMatchDistance;
            // Without a candidate, bytes that the last steps did not store
            // are read and set aside, as in take_steps().
            const uint32_t differ = (ring.get3_and_any(candidate ? entry : tag + i - 4) ^ word)
                                    << 8;
            if (CMPR_UNLIKELY((differ | !candidate) == 0)) {
                if (pair_count != 0) out.put_ahead(pair_bits, pair_count);
                p += i;
                goto stop;
            }
            // The tail's literal and the end code follow: room for
            // put_ahead().
            const uint32_t code = kLiteralBits[word & 0xFF];
            if constexpr (BitSink::kMaxPut >= 18) {  // two codes a put
                if (i % 2 == 0) {
                    pair_bits = packed_bits(code);
                    pair_count = packed_count(code);
                } else {
                    out.put_ahead(pair_bits | packed_bits(code) << pair_count,
                                  pair_count + packed_count(code));
                    pair_count = 0;
                }
            } else {
                out.put_packed_ahead(code);
            }
            table[hash] = tag + i;
            prev_hash = hash;
            ring.put(tag + i + 3, static_cast<uint8_t>(word >> 24));
            hash = next[i];
        }
        p += 8;
        tag += 8;
    }
stop:
    s.cur = static_cast<uint32_t>(p - src);
    s.hash = hash;
    s.prev_hash = prev_hash;
    s.out = out;
}

// Codes the literal at s.cur and moves s past it.
CMPR_FORCE_INLINE void literal_step(const uint8_t *src, uint32_t base, uint32_t *table,
                                    WindowRing ring, Steps &s) {
    const uint32_t word = load_le32(src + s.cur);
    s.out.put_packed_ahead(kLiteralBits[word & 0xFF]);
    enter_position(table, s.hash, base + s.cur, s.prev_hash);
    ring.put(s.cur + 3, static_cast<uint8_t>(word >> 24));
    s.hash = hash3(word >> 8);
    s.cur += 1;
}

// Codes the match at s.cur against the candidate 'dist' back that
// take_steps() left to it (one closer than 8, one longer than the eight
// bytes after its first three, or a stale entry, which is refused: a
// literal), or any match of take_last_steps().  Enters the match's last
// position in the table and moves s past it, with the window holding the
// next step's three bytes.
__attribute__((noinline)) void match_step(const uint8_t *src, uint32_t src_len, uint32_t base,
                                          uint32_t *table, WindowRing ring, uint32_t dist,
                                          Steps &s) {
    const uint32_t cur = s.cur;
    if (CMPR_UNLIKELY(base + cur - dist == kStale)) return literal_step(src, base, table, ring, s);
    uint32_t limit = src_len - 1 - cur;  // the last input byte stays a literal
    if (limit > kMaxMatch) limit = kMaxMatch;
    const uint32_t len = extend_match(src, ring, cur, dist, limit);
    put_match(s.out, len, dist);

    // The match's last position enters the table with the string that
    // starts there (zero bytes past the input).
    const uint32_t last = cur + len - 1;
    enter_position(table, hash3(string_at(src, src_len, last)), base + last, s.prev_hash);
    const uint32_t next = cur + len;
    s.cur = next;
    s.hash = hash3(string_at(src, src_len, next));  // used while three bytes follow
    if (CMPR_LIKELY(src_len - next >= 4)) {         // the next step's three bytes
        ring.put3(next, load_le32(src + next));
    } else {
        for (uint32_t q = next; q < src_len; ++q) ring.put(q, src[q]);
    }
}

// Takes the steps from s.cur while p < end, where kStepReach bytes follow
// every position: literals, and the matches that end within the eight bytes
// after their first three, in line; match_step() takes any other match.
// Where 'look' is set, the steps look back every kStretch bytes, the first
// time after 'first' bytes, and stop where a stretch came out at more than
// eight bits a byte: next to no matches, input for take_literals().
// Returns whether they stopped there.
//
// A function of its own that walks the input and the tags alone, so that
// what it carries from step to step stays in registers.
__attribute__((noinline)) bool take_steps(const uint8_t *src, uint32_t src_len, const uint8_t *end,
                                          uint32_t base, uint32_t *table, WindowRing ring, Steps &s,
                                          bool look, uint32_t first) {
    table = opaque_pointer(table);  // not rebuilt from the one table's symbol at each use
    const uint8_t *p = src + s.cur;
    uint32_t tag = base + s.cur;  // p's table entry; its low bits are p's slot
    uint32_t hash = s.hash, prev_hash = s.prev_hash;
    BitSink out = s.out;
    const uint8_t *stretch = p,
                  *stretch_end = look && end - p > static_cast<ptrdiff_t>(first) ? p + first : end;
    size_t stretch_bits = out.bits();
    bool noise = false;
    for (;;) {
        if (CMPR_UNLIKELY(p >= stretch_end)) {
            if (p >= end) break;
            if (out.bits() - stretch_bits > 8 * static_cast<size_t>(p - stretch)) {
                noise = true;
                break;
            }
            stretch = p;
            stretch_end = end - p > static_cast<ptrdiff_t>(kStretch) ? p + kStretch : end;
            stretch_bits = out.bits();
        }
        const uint32_t word = load_le32(p);
        const uint32_t str = word & 0xFFFFFF;
        const uint32_t entry = table[hash];
        const uint32_t d = tag - entry;
        // One branch, taken only for a match: whether there is a candidate
        // at all is as unpredictable as whether it matches.  Without one,
        // the bytes four positions back are read and set aside: the bytes
        // of the last three positions may still be on their way to the
        // window, and a load that overlaps them would wait for them.
        const bool candidate = d <= kMaxMatchDistance;
        const uint32_t bytes = ring.get3(candidate ? entry : tag - 4);
        if (CMPR_UNLIKELY((candidate ? bytes : kNoString) == str)) {
            // The next eight bytes against the candidate's, which are all
            // in the window from a distance of 8 on.  (A stale entry reads
            // as distance 0: one test, which stays one branch.)
            if (CMPR_UNLIKELY((entry != kStale ? d : 0) < 8)) goto other_match;
            {
                const uint64_t here = load_le64(p + 3);
                const uint64_t diff = here ^ ring.get8(entry + 3);
                if (CMPR_UNLIKELY(diff == 0)) goto other_match;
                const uint32_t equal = equal_bytes(diff);
                const uint32_t len = 3 + equal;
                // The window takes the matched bytes and the next step's three,
                // which follow them in 'here' while the match is 7 bytes or
                // shorter.
                if (kOneStoreForAShortMatch && CMPR_LIKELY(equal <= 4)) {
                    ring.put8_first(tag + 3, here, equal + 3);
                } else {
                    ring.put8_first(tag + 3, here, equal);
                    ring.put3(tag + len, load_le32(p + len));
                }
                put_match(out, len, d);
                // The match's last position enters the table.
                enter_position(table, hash3(load_le32(p + len - 1) & 0xFFFFFF), tag + len - 1,
                               prev_hash);
                p += len;
                tag += len;
                hash = hash3(load_le32(p) & 0xFFFFFF);
                continue;
            }
        other_match:
            s.cur = static_cast<uint32_t>(p - src);
            s.hash = hash;
            s.prev_hash = prev_hash;
            s.out = out;
            match_step(src, src_len, base, table, ring, d, s);
            p = src + s.cur;
            tag = base + s.cur;
            hash = s.hash;
            prev_hash = s.prev_hash;
            out = s.out;
            continue;
        }
        // Three more bytes follow, the tail's literal and the end code
        // among them: room for put_ahead().
        out.put_packed_ahead(kLiteralBits[str & 0xFF]);
        enter_position(table, hash, tag, prev_hash);
        ring.put(tag + 3, static_cast<uint8_t>(word >> 24));  // the next step's third byte
        hash = hash3(word >> 8);                              // and its string
        ++p;
        ++tag;
    }
    s.cur = static_cast<uint32_t>(p - src);
    s.hash = hash;
    s.prev_hash = prev_hash;
    s.out = out;
    return noise;
}

// Takes the steps that take_steps() leaves, near the end of the input, one
// at a time: every step while three bytes follow its position.
__attribute__((noinline)) void take_last_steps(const uint8_t *src, uint32_t src_len, uint32_t base,
                                               uint32_t *table, WindowRing ring, Steps &s) {
    while (src_len - s.cur > 3) {
        const uint32_t entry = table[s.hash];
        const uint32_t d = base + s.cur - entry;
        if (d <= kMaxMatchDistance && ring.get3(entry) == (load_le32(src + s.cur) & 0xFFFFFF))
            match_step(src, src_len, base, table, ring, d, s);
        else
            literal_step(src, base, table, ring, s);
    }
}

uint32_t compress(const uint8_t *src, uint32_t src_len, uint8_t *dst, uint8_t *window) {
    const uint32_t base = claim_table(src_len);
    uint32_t *const table = g_table;
    WindowRing ring(window);
    Steps s{0, 0, 0, BitSink(dst)};

    for (uint32_t q = 0; q < 3 && q < src_len; ++q) ring.put(q, src[q]);
    // The first steps without a candidate compare the slots before slot 0.
    ring.put3(kCompressorWindowSize - 3, 0);
    if (src_len > 3) {
        // Position 0 has no candidate and always enters the table.
        s.prev_hash = hash3(load_le32(src) & 0xFFFFFF);
        table[s.prev_hash] = base;
        s.out.put_packed_ahead(kLiteralBits[src[0]]);
        ring.put(3, src[3]);
        s.cur = 1;
        s.hash = hash3(load_le32(src) >> 8);
        if (src_len > kStepReach) {
            const uint32_t end = src_len - (kStepReach - 1);
            // Every kStretch bytes a look back, where the hashes can be taken
            // eight at a time: a stretch that came out at more than eight
            // bits a byte found next to no matches, and literal steps alone
            // take the input on from there, until the next match.  The noise
            // usually goes on past that, so the next look comes sooner.
            const bool look = hash_batch_in_vectors();
            uint32_t first = kStretch;
            while (s.cur < end) {
                if (take_steps(src, src_len, src + end, base, table, ring, s, look, first)) {
                    take_literals(src, src + end, base, table, ring, s);
                    first = kStretch / 8;
                } else {
                    first = kStretch;
                }
            }
        }
        take_last_steps(src, src_len, base, table, ring, s);
    }
    for (; s.cur < src_len; ++s.cur) s.out.put_packed(kLiteralBits[src[s.cur]]);

    s.out.put(0, 8);  // the end code and one more zero bit
    return s.out.finish();
}

}  // namespace
}  // namespace cmpr

extern "C" int32_t gzip_cmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    uint8_t *heap_window = static_cast<uint8_t *>(std::malloc(cmpr::kCompressorWindowSize));
    uint32_t n = cmpr::compress(src, src_len, dst,
                                heap_window != nullptr ? heap_window : cmpr::g_spare_window);
    std::free(heap_window);
    // The library-wide window index and accumulator end where the per-byte
    // steps would leave them: the whole input read, no bits pending.
    cmpr_in_idx = src_len;
    cmpr_bit_acc = 0;
    return static_cast<int32_t>(n);
}
