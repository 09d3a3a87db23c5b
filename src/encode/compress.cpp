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
#include <bit>
#include <cstdlib>

#include "bit_sink.h"
#include "bit_writer.h"
#include "cmpr.h"
#include "code_tables.h"
#include "common/compiler.h"
#include "common/format.h"
#include "common/unaligned.h"
#include "lz77.h"
#include "window_ring.h"

namespace cmpr {

// The hash table lives across calls, so that a call need not clear it: an
// entry holds base + position, and a call only trusts entries at or above its
// own base, which grows past every position of the calls before it.  When
// the 32-bit bases run out (every 4 GiB of input) the table is cleared and
// the bases start again from 1.  A call of 4 GiB - 1 bytes right after that
// takes them all and leaves the next base at 0, under which every entry would
// pass for the next call's own: so 0 clears the table too.  Only one
// compression runs at a time, so one table serves all.
uint32_t g_next_base = 1;

namespace {

uint32_t g_table[1u << kHashBits];

uint32_t claim_table(uint32_t src_len) {
    if (g_next_base == 0 || g_next_base > UINT32_MAX - src_len) {
        for (uint32_t &e : g_table) e = 0;
        g_next_base = 1;
    }
    uint32_t base = g_next_base;
    g_next_base = base + src_len;
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

// Length of the match at 'cur' against the candidate 'dist' back, whose
// first three bytes are known to match: up to 'limit' bytes.  Copies every
// matched byte into the window, so that on return the window holds every
// position before cur + length, and nothing beyond (a farther fill would
// overwrite bytes that a later candidate at the greatest distance needs).
//
// Kept out of line: the literal loop around it needs every register.
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
                const uint32_t equal = static_cast<uint32_t>(std::countr_zero(diff)) >> 3;
                const uint64_t keep = ~0ull << (8 * equal);
                ring.put8(cur + len, (here & ~keep) | (ring.get8(cur + len) & keep));
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
        for (uint32_t k = 0; k < 8; ++k)
            pattern |= static_cast<uint64_t>(ring.get(cand + len + k % dist)) << (8 * k);
        const uint32_t shift = 8 % dist;
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

uint32_t compress(const uint8_t *src, uint32_t src_len, uint8_t *dst, uint8_t *window) {
    const uint32_t base = claim_table(src_len);
    uint32_t *const table = g_table;
    WindowRing ring(window);
    BitSink out(dst);

    for (uint32_t q = 0; q < 3 && q < src_len; ++q) ring.put(q, src[q]);
    uint32_t cur = 0;
    if (src_len > 3) {
        // Position 0 has no candidate and always enters the table.
        uint32_t prev_hash = hash3(load_le32(src) & 0xFFFFFF);
        table[prev_hash] = base;
        out.put_packed(kLiteralBits[src[0]]);
        ring.put(3, src[3]);
        cur = 1;

        while (src_len - cur > 3) {  // three bytes follow cur
            const uint32_t str = load_le32(src + cur) & 0xFFFFFF;
            const uint32_t hash = hash3(str);
            const uint32_t entry = table[hash];
            const uint32_t dist = base + cur - entry;
            // One branch, taken only for a match: whether there is a
            // candidate at all is as unpredictable as whether it matches.
            // Without one, the window's own bytes at cur stand in (always
            // written, and equal).
            const bool candidate = (dist <= kMaxMatchDistance) & (entry >= base);
            const uint32_t probe = candidate ? entry - base : cur;
            if (CMPR_LIKELY(!((ring.get3(probe) == str) & candidate))) {
                out.put_packed(kLiteralBits[str & 0xFF]);
                // Enter this position unless the previous update entered an
                // older one under the same hash that is still near enough.
                if (hash != prev_hash || dist > kCompressorWindowSize) table[hash] = base + cur;
                prev_hash = hash;
                ++cur;
                ring.put(cur + 2, src[cur + 2]);  // cur + 2 < src_len: the loop test held
                continue;
            }

            uint32_t limit = src_len - 1 - cur;  // the last input byte stays a literal
            if (limit > kMaxMatch) limit = kMaxMatch;
            const uint32_t len = extend_match(src, ring, cur, dist, limit);
            const uint32_t lbits = kLengthBits[len], dbits = distance_bits(dist);
            out.put(packed_bits(lbits) | packed_bits(dbits) << packed_count(lbits),
                    packed_count(lbits) + packed_count(dbits));

            // The match's last position enters the table with the string
            // that starts there (zero bytes past the input).
            const uint32_t last = cur + len - 1;
            const uint32_t last_hash = hash3(string_at(src, src_len, last));
            if (last_hash != prev_hash || last - (table[last_hash] - base) > kCompressorWindowSize)
                table[last_hash] = base + last;
            prev_hash = last_hash;
            cur += len;
            if (CMPR_LIKELY(src_len - cur >= 4)) {  // the next step's three bytes
                ring.put3(cur, load_le32(src + cur));
            } else {
                for (uint32_t q = cur; q < src_len; ++q) ring.put(q, src[q]);
            }
        }
    }
    for (; cur < src_len; ++cur) out.put_packed(kLiteralBits[src[cur]]);

    out.put(0, 8);  // the end code and one more zero bit
    return out.finish();
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
