// cmpr_check() and cmpr_read_segment(): a buffer of segments read as the
// decoder reads it, with every count the decoder would make and the first
// sign of damage.
#include <algorithm>

#include "cmpr_check.h"
#include "reader.h"

namespace cmpr::check {
namespace {

// The first run of erased flash (0xFF) and the first run of zeroed flash
// with data after it, as signs, and where the 0xFF bytes that end the
// buffer begin.  One pass over the bytes.
struct Runs {
    Sign first;            // the earlier of the two runs
    uint64_t ff_tail = 0;  // bytes from here to the end are all 0xFF
};

Runs find_runs(const uint8_t *buf, uint64_t n) {
    Runs r;
    r.ff_tail = n;
    while (r.ff_tail > 0 && buf[r.ff_tail - 1] == 0xFF) --r.ff_tail;
    // A run long enough to count holds an aligned 4-byte word of its bytes:
    // words are looked at first, bytes only around such a word.
    for (uint64_t w = 0; w + 4 <= n; w += 4) {
        const uint32_t word = load_le32(buf + w);
        if (word != 0 && word != 0xFFFFFFFFu) continue;
        const uint8_t v = buf[w];
        uint64_t i = w, j = w + 4;
        while (i > 0 && buf[i - 1] == v) --i;
        while (j < n && buf[j] == v) ++j;
        if (v == 0xFF && j - i >= CMPR_ERASED_RUN) {
            r.first.mark(CMPR_DAMAGE_ERASED, 8 * i, j - i);
            return r;
        }
        if (v == 0 && j - i >= CMPR_ZERO_RUN && j < n) {
            r.first.mark(CMPR_DAMAGE_ZEROS, 8 * i, j - i);
            return r;
        }
        w = (j + 3) / 4 * 4 - 4;
    }
    return r;
}

// The earlier of two signs; 'a' where both lie at the same bit.
Sign earlier(const Sign &a, const Sign &b) {
    if (a.kind == CMPR_DAMAGE_NONE) return b;
    if (b.kind == CMPR_DAMAGE_NONE) return a;
    return b.bit < a.bit ? b : a;
}

}  // namespace
}  // namespace cmpr::check

using namespace cmpr::check;
using cmpr::entry_bits;
using cmpr::is_literal;
using cmpr::kLitLenTable;
using cmpr::LitLenEntry;

extern "C" uint32_t cmpr_read_segment(const uint8_t *buf, uint32_t len, uint32_t start,
                                      uint32_t stop, cmpr_segment_reading *r) {
    stop = std::min(stop, len);
    const BitSource b(buf, stop);
    SegmentRead s(8 * uint64_t{start});
    read_to_end(b, s);
    const uint64_t end = aligned_end(8 * uint64_t{start}, s.pos);
    const uint64_t pad_to = std::min(end, b.stop_bits());
    if (const uint64_t one = first_one(b, s.pos, pad_to); one < pad_to)
        s.sign.mark(CMPR_DAMAGE_PADDING, one, 0);
    *r = {s.pos, end / 8, s.out, s.escalations, s.sign.kind, s.sign.bit, s.sign.value};
    return s.sign.kind;
}

extern "C" uint32_t cmpr_check(const uint8_t *buf, uint32_t len, uint32_t record_size,
                               cmpr_check_result *res) {
    const uint64_t n = len;
    const BitSource b(buf, n);
    const uint64_t stop = b.stop_bits();
    const Runs runs = find_runs(buf, n);
    Sign sign;     // the first sign met while reading
    Sign pending;  // a segment shorter than the record size: damage once a clean one follows
    uint32_t segments = 0, escalations = 0;
    uint64_t out = 0, pos = 0;
    bool in_run = false;  // the last symbol was an end code
    SegmentRead seg(0);   // the segment being read; pos: where it started
    // The decoder's loop, counting instead of writing: the first symbol is
    // read whatever the length; after each end code it skips to a 32-bit
    // boundary and stops when no more than its look-ahead is left.
    BitReader in(b, 0);
    for (bool first = true;; first = false) {
        if (in_run || first) {  // between segments: where the next would start
            pos = in.pos();
            if (pos / 8 >= runs.ff_tail && pos / 8 < n)
                sign.mark(CMPR_DAMAGE_ERASED, pos, n - pos / 8);  // erased flash from here on
        }
        // Literals, two to a refill (at most 18 bits of the 24 or 56 a refill
        // leaves), while nothing but a literal can follow.
        if (!in_run) {
            while (CMPR_LIKELY(!in.near_end())) {
                in.refill();
                const LitLenEntry e1 = kLitLenTable[in.peek(9)];
                if (!is_literal(e1)) break;
                in.skip(entry_bits(e1));
                const LitLenEntry e2 = kLitLenTable[in.peek(9)];
                if (!is_literal(e2)) {
                    ++seg.out;
                    break;
                }
                in.skip(entry_bits(e2));
                seg.out += 2;
            }
        }
        const Symbol s = read_symbol(in);
        if (s.len != 0 && in_run) {  // a segment starts
            in_run = false;
            seg = SegmentRead(pos);
        }
        if (CMPR_UNLIKELY(in.near_end()) && in.past_end())
            seg.sign.mark(CMPR_DAMAGE_NO_END, stop, 0);
        if (CMPR_LIKELY(s.len != 0)) {
            if (s.dist != 0) check_distance(seg, s.dist, in);
            seg.out += s.len;
            continue;
        }
        // An end code: the padding up to the boundary must be zeros, after a
        // segment's end code as after the end codes of zero filler.
        pos = in.pos();
        const uint64_t end = (pos + 31) / 32 * 32;
        const uint64_t pad_to = std::min(end, stop);
        const uint64_t one = first_one(b, pos, pad_to);
        Sign &at = in_run ? sign : seg.sign;
        if (one < pad_to) at.mark(CMPR_DAMAGE_PADDING, one, 0);
        if (!in_run) {  // a segment ends; the decoder traces it
            ++segments;
            in_run = true;
            out += seg.out;
            escalations += seg.escalations;
            // A short record is damage only once a segment that reads
            // cleanly follows it: the last record may be short.
            if (seg.sign.kind == CMPR_DAMAGE_NONE && seg.out != 0) {
                sign = earlier(sign, pending);
                pending = Sign();
                if (record_size != 0 && seg.out > record_size)
                    seg.sign.mark(CMPR_DAMAGE_RECORD_SIZE, seg.pos, seg.out);
                else if (record_size != 0 && seg.out < record_size)
                    pending.mark(CMPR_DAMAGE_RECORD_SIZE, seg.pos, seg.out);
            }
            sign = earlier(sign, seg.sign);
        }
        pos = end;
        if (cmpr::reader_stops_at(pos / 8, n)) break;
        in.seek(pos);
    }
    // What the decoder leaves unread: at most its look-ahead of bytes.
    if (pos / 8 < n) {
        bool zeros = true, erased = true;
        for (uint64_t i = pos / 8; i < n; ++i) zeros &= buf[i] == 0, erased &= buf[i] == 0xFF;
        if (!zeros) sign.mark(erased ? CMPR_DAMAGE_ERASED : CMPR_DAMAGE_TRAILING, pos, n - pos / 8);
    }
    sign = earlier(runs.first, sign);
    *res = {escalations, segments, out, sign.kind, 0, sign.bit, sign.value};
    return sign.kind;
}
