// gzip_decmprs: the decompression driver, with a fast road through the bulk
// of the input.
//
// The fast loop decodes the fixed code through combined lookup tables and a
// 64-bit bit buffer filled eight bytes at a time, straight into the output:
// a match copies from the output itself, and only a match that reaches
// before the first output byte reads the 0xFF that the history holds there.
// It leaves the decoder state exactly as the byte-at-a-time reader would
// have it (that state is a function of the number of bits used) and fills
// the history from the output.  Only near 4 GiB of output, where the
// decoder's 32-bit count wraps, does the block decoder take over.  Reports
// and escalations are the block decoder's own.
#include <algorithm>
#include <cstring>

#include "block_decoder.h"
#include "cmpr.h"
#include "common/compiler.h"
#include "common/format.h"
#include "common/unaligned.h"
#include "decode_state.h"
#include "fixed_tables.h"

namespace cmpr {
namespace {

// The block decoder counts output in 32 bits; near the end of that range it
// takes over, so that the count wraps as it does there.
constexpr uint64_t kFastOutputLimit = UINT32_MAX - 258;

struct FastResult {
    uint64_t out;        // bytes written
    uint64_t bits_used;  // bits consumed
    SegmentRun run;
    bool finished;  // an end code ended the decoding
};

CMPR_FORCE_INLINE void copy2(uint8_t *to, const uint8_t *from) {
    uint16_t w;
    std::memcpy(&w, from, 2);
    std::memcpy(to, &w, 2);
}

CMPR_FORCE_INLINE void copy4(uint8_t *to, const uint8_t *from) {
    uint32_t w;
    std::memcpy(&w, from, 4);
    std::memcpy(to, &w, 4);
}

CMPR_FORCE_INLINE void copy8(uint8_t *to, const uint8_t *from) {
    uint64_t w;
    std::memcpy(&w, from, 8);
    std::memcpy(to, &w, 8);
}

// Copies a match of 'len' (3..258) bytes from 'dist' bytes back (1..32768)
// to dst + out, writing nothing past dst + out + len: the caller's buffer
// may end right there.  Copies run front to back in words no wider than the
// distance, so every byte a word reads is final; the last word ends exactly
// at the end of the match, overlapping the one before.  Bytes before the
// start of the output are 0xFF.
CMPR_FORCE_INLINE void copy_match(uint8_t *dst, uint64_t out, uint32_t len, uint32_t dist) {
    uint8_t *to = dst + out;
    if (CMPR_UNLIKELY(dist > out)) {  // reaches into the 0xFF before the first byte
        for (uint32_t i = 0; i < len; ++i, ++out) dst[out] = out >= dist ? dst[out - dist] : 0xFF;
        return;
    }
    const uint8_t *from = to - dist;
    if (len <= 8 && dist >= 2) {
        // Four 2-byte moves at 0, 2, 4 and len - 2, the middle ones pulled
        // back to stay inside the match: any length from 3 to 8 without a
        // branch on it.  Each move reads bytes at least two back, all final.
        const uint32_t last = len - 2, mid1 = last < 2 ? last : 2, mid2 = last < 4 ? last : 4;
        copy2(to, from);
        copy2(to + mid1, from + mid1);
        copy2(to + mid2, from + mid2);
        copy2(to + last, from + last);
    } else if (dist >= 8) {
        if (len <= 16) {
            copy8(to, from);
            copy8(to + len - 8, from + len - 8);
        } else {
            for (uint32_t i = 0; i + 8 < len; i += 8) copy8(to + i, from + i);
            copy8(to + len - 8, from + len - 8);
        }
    } else if (dist >= 4) {
        for (uint32_t i = 0; i + 4 < len; i += 4) copy4(to + i, from + i);
        copy4(to + len - 4, from + len - 4);
    } else if (dist == 1) {
        std::memset(to, *from, len);
    } else {
        for (uint32_t i = 0; i < len; ++i) to[i] = from[i];
    }
}

// The fast loop's bit buffer: unconsumed bits, the next one in bit 0.
struct Bits {
    // What a refill leaves at least: whole bytes go in while one more fits
    // in the 64 bits.
    static constexpr uint32_t kMinAfterRefill = 64 - 8;

    uint64_t buf = 0;
    uint32_t count = 0;   // how many bits of buf are valid
    uint64_t loaded = 0;  // input bytes taken into buf
    uint64_t used() const { return loaded * 8 - count; }
    // Tops the buffer up to at least kMinAfterRefill bits: eight bytes at a
    // time while eight are left, then byte by byte, with zero bytes past the
    // end of the input (the reader sees zero bits there, for ever).  The
    // word load adds (63 - count) / 8 whole bytes, which brings count to
    // count | kMinAfterRefill for any count below 64.
    CMPR_FORCE_INLINE void refill(const uint8_t *src, uint32_t src_len) {
        if (CMPR_LIKELY(loaded + 8 <= src_len)) {
            buf |= load_le64(src + loaded) << count;
            loaded += (63 - count) >> 3;
            count |= kMinAfterRefill;
            return;
        }
        for (; count <= kMinAfterRefill; count += 8, ++loaded)
            if (loaded < src_len) buf |= static_cast<uint64_t>(src[loaded]) << count;
    }
    CMPR_FORCE_INLINE uint32_t peek(uint32_t n) const {
        return static_cast<uint32_t>(buf & ((uint64_t{1} << n) - 1));
    }
    CMPR_FORCE_INLINE void skip(uint32_t n) {
        buf >>= n;
        count -= n;
    }
};

// The bit budget of a round of the fast loop.  A round decodes at most one
// literal and then one more symbol of any kind, so it takes at most a
// literal code and the longest other symbol: a match with all its extra bits,
// or an end code with the skip to the next 32-bit boundary.  The most bits
// that each takes is read off the tables the loop decodes with: with today's
// tables a round takes at most 9 + 38 = 47 bits, of the 56 a refill leaves.
constexpr uint32_t kDistanceCodeBits = 5;  // a distance code read on its own
constexpr uint32_t kMaxSegmentPadBits = 31;

constexpr uint32_t max_over_entries(auto bits_of) {
    uint32_t most = 0;
    for (LitLenEntry e : kDecodeTable) most = std::max(most, bits_of(e));
    return most;
}

constexpr uint32_t kMaxDistanceExtraBits = [] {
    uint32_t most = 0;
    for (DistanceEntry d : kDistanceTable) most = std::max<uint32_t>(most, d.extra);
    return most;
}();
constexpr uint32_t kMaxLiteralBits =
    max_over_entries([](LitLenEntry e) { return is_literal(e) ? entry_bits(e) : 0; });
constexpr uint32_t kMaxShortMatchBits = max_over_entries([](LitLenEntry e) {
    return entry_kind(e) == kShortMatch ? entry_bits(e) + short_distance_extra(e) : 0;
});
constexpr uint32_t kMaxLongMatchBits = max_over_entries([](LitLenEntry e) {
    return entry_kind(e) < kShortMatch  // the kind is the length's number of extra bits
               ? entry_bits(e) + entry_kind(e) + kDistanceCodeBits + kMaxDistanceExtraBits
               : 0;
});
constexpr uint32_t kMaxEndBits = max_over_entries([](LitLenEntry e) {
    return entry_kind(e) == kEndOfSegment ? entry_bits(e) + kMaxSegmentPadBits : 0;
});
constexpr uint32_t kMaxOtherSymbolBits =
    std::max({kMaxShortMatchBits, kMaxLongMatchBits, kMaxEndBits});
constexpr uint32_t kMaxRoundBits = kMaxLiteralBits + kMaxOtherSymbolBits;

static_assert(kMaxRoundBits <= Bits::kMinAfterRefill,
              "a round of the fast loop may use bits that a refill does not guarantee");
// The refill's word load sets count with an OR, which adds the whole bytes
// loaded only while the minimum is binary 111000.
static_assert(Bits::kMinAfterRefill == 0x38);
// After a literal the loop looks the next symbol up 8 and 9 bits on.
static_assert([] {
    for (LitLenEntry e : kDecodeTable)
        if (is_literal(e) && entry_bits(e) != 8 && entry_bits(e) != 9) return false;
    return true;
}());

// What one literal/length entry other than a literal means: an end code, or
// a match whose length code has been consumed.  Needs kMaxOtherSymbolBits
// bits in 'b'.
enum class Step { kNext, kFinished };

CMPR_FORCE_INLINE Step other_symbol(LitLenEntry e, Bits &b, uint32_t src_len, uint8_t *dst,
                                    uint64_t &out, SegmentRun &run) {
    if (entry_kind(e) == kEndOfSegment) {
        const uint32_t at = static_cast<uint32_t>(b.used());
        segment_end(run, at);
        b.skip((32 - at % 32) % 32);  // segments start on 32-bit boundaries
        // Ends when no more than the reader's four bytes of look-ahead are left.
        return 4 + b.used() / 8 >= src_len ? Step::kFinished : Step::kNext;
    }
    run.in_run = false;
    uint32_t len, dist;
    if (CMPR_LIKELY(entry_kind(e) == kShortMatch)) {  // length and distance code in one
        len = short_length(e);
        const uint32_t extra = short_distance_extra(e);
        dist = kDistanceByCode[short_distance_code(e)].base + b.peek(extra);
        b.skip(extra);
    } else {
        len = entry_value(e) + b.peek(entry_kind(e));
        b.skip(entry_kind(e));
        const DistanceEntry d = kDistanceTable[b.peek(kDistanceCodeBits)];
        b.skip(kDistanceCodeBits);
        dist = d.base + b.peek(d.extra);
        b.skip(d.extra);
    }
    if (CMPR_UNLIKELY(dist > kMaxSilentDistance)) {
        decode_state.bits_used = static_cast<uint32_t>(b.used());
        escalate_invalid_offset(dist);
        dist = ((dist - 1) & kHistoryMask) + 1;  // where the history ring points
    }
    copy_match(dst, out, len, dist);
    out += len;
    return Step::kNext;
}

FastResult decode_fast(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    FastResult r{};
    Bits b;
    uint64_t out = 0;
    SegmentRun run;
    // Every round starts with a refill, and a round takes no more than
    // kMaxRoundBits, which the refill guarantees (see the static_assert on
    // the budget).  Past the input the bits are zeros, which read as end
    // codes, so decoding ends there.
    while (out <= kFastOutputLimit) {
        b.refill(src, src_len);
        // After a literal the next symbol starts 8 or 9 bits on (a literal
        // code is 8 or 9 bits long): look both up while the first lookup is
        // under way, and pick one when it is known.
        const LitLenEntry e1 = kDecodeTable[b.peek(12)];
        const LitLenEntry at8 = kDecodeTable[(b.buf >> 8) & 4095];
        const LitLenEntry at9 = kDecodeTable[(b.buf >> 9) & 4095];
        const uint32_t bits1 = entry_bits(e1);
        b.skip(bits1);
        LitLenEntry e = e1;
        if (CMPR_LIKELY(is_literal(e1))) {
            const LitLenEntry e2 = bits1 == 8 ? at8 : at9;
            dst[out++] = static_cast<uint8_t>(entry_value(e1));
            run.in_run = false;
            b.skip(entry_bits(e2));
            if (CMPR_LIKELY(is_literal(e2))) {
                dst[out++] = static_cast<uint8_t>(entry_value(e2));
                continue;
            }
            e = e2;
        }
        if (other_symbol(e, b, src_len, dst, out, run) == Step::kFinished) {
            r.finished = true;
            break;
        }
    }
    r.out = out;
    r.bits_used = b.used();
    r.run = run;
    return r;
}

// Leaves the decoder state as the byte-at-a-time reader leaves it after
// 'bits' bits, 'out' bytes of output: it has fetched four bytes beyond the
// byte holding the next bit (zero bytes past the end, which are not counted
// in in_pos), and its history holds the latest output.
void sync_state(const uint8_t *src, uint32_t src_len, const uint8_t *dst, uint64_t bits,
                uint64_t out) {
    DecodeState &st = decode_state;
    const uint64_t next = bits / 8;
    st.bits_used = static_cast<uint32_t>(bits);
    st.bit_pos = static_cast<uint32_t>(bits % 8);
    st.in_pos = static_cast<uint32_t>(std::min<uint64_t>(src_len, next + 4));
    uint8_t ahead[4] = {};
    for (uint64_t i = 0; i < 4 && next + i < src_len; ++i) ahead[i] = src[next + i];
    st.bit_buf = load_le32(ahead);
    st.out_cnt = static_cast<uint32_t>(out);
    st.hist_pos = static_cast<uint32_t>(out & kHistoryMask);
    if (out < kHistorySize) {
        if (out > 0) std::memcpy(st.history, dst, out);  // dst may be null when nothing was written
        st.hist_dirty = std::max(st.hist_dirty, static_cast<uint32_t>(out));
    } else {
        const uint64_t first = out - kHistorySize;
        const uint32_t split = static_cast<uint32_t>(first & kHistoryMask);
        std::memcpy(st.history + split, dst + first, kHistorySize - split);
        std::memcpy(st.history, dst + first + (kHistorySize - split), split);
        st.hist_dirty = kHistorySize;
    }
}

}  // namespace
}  // namespace cmpr

extern "C" uint32_t gzip_decmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    using namespace cmpr;
    reset_decoder(src, src_len);
    // The fast loop reads with its own bit buffer; sync_state() then leaves
    // the decoder state as the byte-at-a-time reader would.
    const FastResult r = decode_fast(src, src_len, dst);
    sync_state(src, src_len, dst, r.bits_used, r.out);
    if (!r.finished) decode_fixed_rest(src, dst, r.run);
    return decode_state.out_cnt;
}
