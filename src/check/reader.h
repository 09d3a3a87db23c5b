// Internal: reading segments symbol by symbol, as the decoder reads them,
// without writing output.  The checker, the search for a segment start and
// the tool's walk all read through here.
#ifndef CMPR_SRC_CHECK_READER_H
#define CMPR_SRC_CHECK_READER_H

#include <cstdint>

#include "cmpr_check.h"
#include "common/compiler.h"
#include "common/unaligned.h"
#include "common/word_bits.h"
#include "stream_codes.h"

namespace cmpr::check {

// The bits of buf[0, stop), the first in bit 0 of byte 0, and zero bits from
// 'stop' on, as the decoder sees them past the end of its input.  Positions
// count bits in 64 bits, so that no buffer's bit count wraps on a 32-bit CPU.
class BitSource {
   public:
    BitSource(const uint8_t *buf, uint64_t stop) : buf_(buf), stop_(stop) {}

    const uint8_t *data() const { return buf_; }
    uint64_t stop() const { return stop_; }
    uint64_t stop_bits() const { return 8 * stop_; }

    // At least 57 bits from 'pos' on: one symbol with all its extra bits
    // takes at most 32.
    CMPR_FORCE_INLINE uint64_t peek(uint64_t pos) const {
        const uint64_t at = pos >> 3;
        uint64_t w;
        if (CMPR_LIKELY(at + 8 <= stop_)) {
            w = load_le64(buf_ + at);
        } else {
            w = 0;
            for (uint64_t i = 0; at + i < stop_ && i < 8; ++i)
                w |= uint64_t{buf_[at + i]} << (8 * i);
        }
        return w >> (pos & 7);
    }

   private:
    const uint8_t *buf_;
    uint64_t stop_;
};

// The same bits read front to back through a machine word (32 or 64 bits),
// as the decoder's fast loop reads them, for the loops that read a whole
// buffer: the bit position is worked out only where a sign needs it.
class BitReader : public WordBits {
   public:
    BitReader(const BitSource &b, uint64_t pos) : WordBits(b.data(), b.stop()) { seek(pos); }
    uint64_t pos() const { return used(); }
    // Whether the reading has loaded bytes past the data, and whether the
    // bits it consumed reach past it.
    bool near_end() const { return past() != 0; }
    bool past_end() const { return past() != 0 && used() > 8 * uint64_t{length()}; }
};

// One symbol: 'bits' long; a literal ('len' 1, 'dist' 0), the end code
// ('len' 0) or a match of 'len' bytes 'dist' back.
struct Symbol {
    uint32_t bits, len, dist;
};

CMPR_FORCE_INLINE Symbol read_symbol(uint64_t w) {
    const LitLenEntry e = kLitLenTable[w & 511];
    uint32_t bits = entry_bits(e);
    if (is_literal(e)) return {bits, 1, 0};
    if (entry_kind(e) == kEndOfSegment) return {bits, 0, 0};
    const uint32_t lx = entry_kind(e);  // the length's extra bits
    const uint32_t len = entry_value(e) + static_cast<uint32_t>((w >> bits) & ((1u << lx) - 1));
    bits += lx;
    const DistanceEntry d = kDistanceTable[(w >> bits) & 31];
    bits += 5;
    const uint32_t dist = d.base + static_cast<uint32_t>((w >> bits) & ((1u << d.extra) - 1));
    return {bits + d.extra, len, dist};
}

// The next symbol from 'r', consumed: the code and a length's extra bits
// from one refill, the distance from another (a 32-bit word holds 24 bits
// after a refill, enough for either part).
CMPR_FORCE_INLINE Symbol read_symbol(BitReader &r) {
    r.refill();
    const LitLenEntry e = kLitLenTable[r.peek(9)];
    const uint32_t bits = entry_bits(e);
    if (CMPR_LIKELY(is_literal(e))) {
        r.skip(bits);
        return {bits, 1, 0};
    }
    if (entry_kind(e) == kEndOfSegment) {
        r.skip(bits);
        return {bits, 0, 0};
    }
    const uint32_t lx = entry_kind(e);  // the length's extra bits
    r.skip(bits);
    const uint32_t len = entry_value(e) + r.peek(lx);
    r.skip(lx);
    if constexpr (kWordBits == 32) {
        if (r.count < 5 + 14) r.refill();  // a distance code and its extra bits
    }
    const DistanceEntry d = kDistanceTable[r.peek(5)];
    r.skip(5);
    const uint32_t dist = d.base + r.peek(d.extra);
    r.skip(d.extra);
    return {bits + lx + 5 + d.extra, len, dist};
}

// The first sign of damage a reading has met.
struct Sign {
    uint32_t kind = CMPR_DAMAGE_NONE;
    uint64_t bit = 0, value = 0;
    void mark(uint32_t k, uint64_t at, uint64_t v) {
        if (kind == CMPR_DAMAGE_NONE) kind = k, bit = at, value = v;
    }
};

// One segment read from bit 'pos' to just after its end code: its output,
// its escalations and its first sign of damage.
struct SegmentRead {
    explicit SegmentRead(uint64_t start) : pos(start) {}
    uint64_t pos;
    uint64_t out = 0;
    uint32_t escalations = 0;
    Sign sign;
};

// A match 'dist' back that ends where 'in' stands, in a segment with 'out'
// bytes before it.
CMPR_FORCE_INLINE void check_distance(SegmentRead &r, uint32_t dist, const BitReader &in) {
    if (CMPR_LIKELY(dist <= kMaxSilentDistance && dist <= r.out)) return;
    if (dist > kMaxSilentDistance) {
        ++r.escalations;
        r.sign.mark(CMPR_DAMAGE_FAR_DISTANCE, in.pos(), dist);
    } else {
        r.sign.mark(CMPR_DAMAGE_BEFORE_START, in.pos(), dist);
    }
}

// Reads on to the end code.  Past the data every bit is zero, which reads as
// an end code, so the loop ends within a symbol of 'stop'.  A symbol cut off
// by the end of the data is itself the first sign there.
inline void read_to_end(const BitSource &b, SegmentRead &r) {
    BitReader in(b, r.pos);
    for (;;) {
        const Symbol s = read_symbol(in);
        if (CMPR_UNLIKELY(in.near_end()) && in.past_end())
            r.sign.mark(CMPR_DAMAGE_NO_END, b.stop_bits(), 0);
        if (s.len == 0) break;
        if (s.dist != 0) check_distance(r, s.dist, in);
        r.out += s.len;
    }
    r.pos = in.pos();
}

// The end of a segment that started at bit 'start' and whose end code ends
// at 'end_bit': the next 32-bit boundary counted from its start.
constexpr uint64_t aligned_end(uint64_t start, uint64_t end_bit) {
    return start + (end_bit - start + 31) / 32 * 32;
}

// The first one bit from 'from' up to 'to' (at most 32 bits on), or 'to'.
inline uint64_t first_one(const BitSource &b, uint64_t from, uint64_t to) {
    if (to <= from) return to;
    const uint64_t w = b.peek(from) & ((uint64_t{1} << (to - from)) - 1);
    return w == 0 ? to : from + static_cast<uint64_t>(__builtin_ctzll(w));
}

}  // namespace cmpr::check

#endif
