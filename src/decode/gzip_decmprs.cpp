// gzip_decmprs: the decompression driver, with a fast road through the bulk
// of the input.
//
// The fast loop decodes the fixed code through combined lookup tables and a
// bit buffer of the machine's word (32 or 64 bits), filled a word at a time,
// straight into the output: a match copies from the output itself, and only
// a match that reaches before the first output byte reads the 0xFF that the
// history holds there.
// It leaves the decoder state exactly as the byte-at-a-time reader would
// have it (that state is a function of the number of bits used) and fills
// the history from the output.  Only near 4 GiB of output, where the
// decoder's 32-bit count wraps, does the block decoder take over.  Reports
// and escalations are the block decoder's own.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "block_decoder.h"
#include "cmpr.h"
#include "common/compiler.h"
#include "common/unaligned.h"
#include "common/word_bits.h"
#include "decode_state.h"
#include "fixed_tables.h"
#include "stream_format.h"

namespace cmpr {
namespace {

// The block decoder counts output in 32 bits; near the end of that range it
// takes over, so that the count wraps as it does there.  A round writes at
// most a literal and a match of 258, so the fast loop's count never wraps.
// Only a 64-bit machine needs the check: on a 32-bit one the output, which
// lies in the address space, cannot reach 4 GiB.
constexpr size_t kFastOutputLimit = UINT32_MAX - (1 + 258);
constexpr bool kOutputMayReachLimit = SIZE_MAX > UINT32_MAX;

struct FastResult {
    size_t out;          // bytes written
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

// Copies 3 to 8 bytes from 'from', at least two bytes back, to 'to': four
// 2-byte moves at 0, 2, 4 and len - 2, the middle ones pulled back to stay
// inside the match, so that any length goes without a branch on it.  Each
// move reads bytes at least two back, all final.
CMPR_FORCE_INLINE void copy_pairs(uint8_t *to, const uint8_t *from, uint32_t len) {
    const uint32_t last = len - 2, mid1 = last < 2 ? last : 2, mid2 = last < 4 ? last : 4;
    copy2(to, from);
    copy2(to + mid1, from + mid1);
    copy2(to + mid2, from + mid2);
    copy2(to + last, from + last);
}

// Copies a match of 'len' (3..258; more than 8 where kLong) bytes from
// 'dist' bytes back (1..32768), all of them output already, to 'to',
// writing nothing past to + len: the caller's buffer may end right there.
// Copies run front to back in words no wider than the distance, so every
// byte a word reads is final; the last word ends exactly at the end of the
// match, overlapping the one before.
template <bool kLong>
CMPR_FORCE_INLINE void copy_within(uint8_t *to, uint32_t len, uint32_t dist) {
    const uint8_t *from = to - dist;
    if (!kLong && len <= 8 && dist >= 2) {
        copy_pairs(to, from, len);
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

// Copies a match that reaches before the first output byte, where the
// history holds 0xFF, to dst + out.
CMPR_FORCE_INLINE void copy_before_start(uint8_t *dst, size_t out, uint32_t len, uint32_t dist) {
    for (uint32_t i = 0; i < len; ++i, ++out) dst[out] = out >= dist ? dst[out - dist] : 0xFF;
}

// The fast loop's bit buffer, a machine word (32 or 64 bits): unconsumed
// bits, the next one in bit 0.
using Bits = WordBits;

// The bit budget of a round of the fast loop.  A round decodes at most two
// literals, or a literal and then one more symbol of any kind, or that
// symbol alone.  From the refill it looks up the first symbol and, after a
// literal, the next one; both lookups take kDecodeIndexBits bits.  A near
// match is consumed whole from its entry: codes and extra bits.  Any other
// symbol is consumed in two parts, its code, and then what follows a match's
// code: its length's extra bits, the distance code and its extra bits (the
// short-match entries hold the distance code already).  An end code's skip
// to the next 32-bit boundary empties the buffer instead
// (Bits::skip_to_byte()).  The most bits that each part takes is read off
// the tables the loop decodes with: with today's tables 9 + 12 = 21 up to
// the second lookup, 23 for a near match, 12 for any other code and 24 for
// the rest.  A 64-bit buffer holds a whole round (9 + 12 + 24 of the 56
// bits a refill leaves); a 32-bit one (24) is refilled once more after a
// literal that a symbol other than a literal follows, and once more between
// the two parts of a symbol other than a near match.
constexpr uint32_t kDecodeIndexBits = 12;  // kDecodeTable's index

constexpr uint32_t max_over_entries(auto bits_of) {
    uint32_t most = 0;
    for (LitLenEntry e : kDecodeTable) most = std::max(most, bits_of(e));
    return most;
}

constexpr uint32_t kMaxDistanceBits = [] {
    uint32_t most = 0;
    for (uint32_t d : kDistanceDecode) most = std::max(most, distance_entry_bits(d));
    return most;
}();
constexpr uint32_t kMaxLiteralBits =
    max_over_entries([](LitLenEntry e) { return is_literal(e) ? entry_bits(e) : 0; });
constexpr uint32_t kMaxSymbolBits =
    max_over_entries([](LitLenEntry e) { return is_literal(e) ? 0 : entry_bits(e); });
constexpr uint32_t kMaxShortMatchRest = max_over_entries([](LitLenEntry e) {
    return !is_near_match(e) && entry_kind(e) == kShortMatch ? short_distance_extra(e) : 0;
});
constexpr uint32_t kMaxLongMatchRest = max_over_entries([](LitLenEntry e) {
    return !is_near_match(e) &&
                   entry_kind(e) < kShortMatch  // the kind is the length's number of extra bits
               ? entry_kind(e) + kMaxDistanceBits
               : 0;
});
constexpr uint32_t kMaxRestBits = std::max(kMaxShortMatchRest, kMaxLongMatchRest);
constexpr uint32_t kMaxOtherSymbolBits = max_over_entries([](LitLenEntry e) {
    return is_literal(e) || is_near_match(e) ? 0 : entry_bits(e) + kMaxRestBits;
});
// Whether a symbol after a literal needs a refill first, and how many bits
// a symbol other than a literal finds at least.
constexpr bool kRefillAfterLiteral = kMaxLiteralBits + kMaxSymbolBits > Bits::kMinAfterRefill;
constexpr uint32_t kBitsForASymbol =
    kRefillAfterLiteral ? Bits::kMinAfterRefill : Bits::kMinAfterRefill - kMaxLiteralBits;
constexpr bool kRefillForTheRest = kMaxOtherSymbolBits > kBitsForASymbol;

static_assert(kMaxLiteralBits + kDecodeIndexBits <= Bits::kMinAfterRefill,
              "the lookup after a literal may use bits that a refill does not guarantee");
static_assert(kMaxSymbolBits <= kBitsForASymbol,
              "a symbol may use bits that a refill does not guarantee");
static_assert(kMaxRestBits <= Bits::kMinAfterRefill,
              "the rest of a symbol may use bits that a refill does not guarantee");
static_assert(kRefillAfterLiteral == (kWordBits == 32) && kRefillForTheRest == (kWordBits == 32),
              "a 64-bit buffer holds a whole round");
// A long match (a length code with extra bits, or one of 258) is longer
// than 8 bytes.
static_assert([] {
    for (LitLenEntry e : kDecodeTable)
        if (!is_literal(e) && !is_near_match(e) && entry_kind(e) < kShortMatch &&
            entry_value(e) <= 8)
            return false;
    return true;
}());
// The refill's word load sets count with an OR, which adds the whole bytes
// loaded only while the minimum is binary 11...1000.
static_assert(Bits::kMinAfterRefill == kWordBits - 8 && std::has_single_bit(kWordBits));
// After a literal the loop may look the next symbol up 8 and 9 bits on.
static_assert([] {
    for (LitLenEntry e : kDecodeTable)
        if (is_literal(e) && entry_bits(e) != 8 && entry_bits(e) != 9) return false;
    return true;
}());

// Two choices differ by CPU.  After a literal the next symbol starts 8 or 9
// bits on (a literal code is 8 or 9 bits long): x86 looks up both while the
// first lookup is under way and picks one when it is known, which its
// out-of-order cores overlap (looking the next symbol up afterwards made
// random bytes a fifth slower on x86-64); elsewhere the loop looks it up
// once the literal's length is known, five instructions fewer, which is
// what counts on an in-order core.  A near match of 3 bytes takes a branch
// of its own where a mispredicted branch costs little (32-bit ARM: four
// instructions fewer than moves that need no branch); x86 keeps the moves
// without a branch for lengths up to 8, as a mispredicted branch on the
// length there made prose decode a fifth slower.
#if defined(__x86_64__) || defined(__i386__)
constexpr bool kLookUpBothAfterALiteral = true;
constexpr bool kCopyNearWithoutBranches = true;
#else
constexpr bool kLookUpBothAfterALiteral = false;
constexpr bool kCopyNearWithoutBranches = false;
#endif
// Where both are looked up, 32-bit x86, short of registers, drops two
// literals' codes with one shift.
constexpr bool kSkipEachCode = !kLookUpBothAfterALiteral || kWordBits == 64;

// Copies a near match (length 3 to 10, distance 4 or more, no farther back
// than the first output byte) to 'to', writing nothing past to + len.
// Every move reads bytes at least four back, all final.
CMPR_FORCE_INLINE void copy_near(uint8_t *to, uint32_t len, uint32_t dist) {
    const uint8_t *from = to - dist;
    if constexpr (kCopyNearWithoutBranches) {
        if (CMPR_LIKELY(len <= 8)) return copy_pairs(to, from, len);
    } else if (len == 3) {
        copy2(to, from);
        to[2] = from[2];
        return;
    }
    // Whole words from the front, the last one ending exactly at the end.
    copy4(to, from);
    if (len > 8) copy4(to + 4, from + 4);
    copy4(to + len - 4, from + len - 4);
}

// Copies a match of 'len' bytes (more than 8 where kLong) from 'dist'
// bytes back to op and moves op past it.  A distance beyond those the
// format allows is reported and escalated, and copied from where the
// history ring points.
template <bool kLong>
CMPR_FORCE_INLINE void copy_match(const Bits &b, uint8_t *dst, uint8_t *&op, uint32_t len,
                                  uint32_t dist) {
    if (CMPR_UNLIKELY(dist > kMaxSilentDistance)) {
        decode_state.bits_used = b.used32();
        escalate_invalid_offset(dist);
        dist = ((dist - 1) & kHistoryMask) + 1;  // where the history ring points
    }
    if (CMPR_LIKELY(dist <= static_cast<size_t>(op - dst)))
        copy_within<kLong>(op, len, dist);
    else
        copy_before_start(dst, static_cast<size_t>(op - dst), len, dist);
    op += len;
}

// What one literal/length entry other than a literal or a near match means:
// an end code, or a match.  Needs the entry's bits in 'b', and consumes
// them.
enum class Step { kNext, kFinished };

CMPR_FORCE_INLINE Step other_symbol(LitLenEntry e, Bits &b, uint32_t src_len, uint8_t *dst,
                                    uint8_t *&op, SegmentRun &run, size_t &end_out) {
    b.skip(entry_bits(e));
    if (entry_kind(e) == kEndOfSegment) {
        const size_t out = static_cast<size_t>(op - dst);
        const uint32_t at = b.used32();
        run.in_run = out == end_out;
        segment_end(run, at);
        end_out = out;
        b.skip_to_byte((32 - at % 32) % 32);  // segments start on 32-bit boundaries
        // Ends when no more than the reader's four bytes of look-ahead are left.
        return 4 + b.used() / 8 >= src_len ? Step::kFinished : Step::kNext;
    }
    if constexpr (kRefillForTheRest) b.refill();
    if (entry_kind(e) == kShortMatch) {  // length and distance code in one
        const uint32_t len = short_length(e), extra = short_distance_extra(e);
        const uint32_t dist = kDistanceByCode[short_distance_code(e)].base + b.peek(extra);
        b.skip(extra);
        copy_match<false>(b, dst, op, len, dist);
    } else {  // the kind is the length's number of extra bits
        const uint32_t len = entry_value(e) + b.peek(entry_kind(e));
        b.skip(entry_kind(e));
        const uint32_t d = kDistanceDecode[b.peek(kDistanceCodeLength)];
        const uint32_t dist =
            distance_entry_base(d) + (b.peek(distance_entry_bits(d)) >> kDistanceCodeLength);
        b.skip(distance_entry_bits(d));
        copy_match<true>(b, dst, op, len, dist);
    }
    return Step::kNext;
}

// Out of line, so that the loop has the registers to itself.
[[gnu::noinline]] CMPR_NO_CODE_HOISTING FastResult decode_fast(const uint8_t *src, uint32_t src_len,
                                                               uint8_t *dst) {
    FastResult r{};
    Bits b(src, src_len);
    uint8_t *op = dst;
    SegmentRun run;
    // Every symbol but the end code writes something, so the latest symbol
    // was an end code (the run flag) exactly while the output count stands
    // where the latest end code left it: the loop keeps no flag of its own.
    size_t end_out = SIZE_MAX;
    constexpr uint32_t kIndexMask = (1u << kDecodeIndexBits) - 1;
    // Every round starts with a refill, which guarantees the bits up to the
    // lookup after a literal and, with a 64-bit buffer, of the whole round;
    // a 32-bit buffer is refilled again where the budget above says.  Past
    // the input the bits are zeros, which read as end codes, so decoding
    // ends there.
    while (!kOutputMayReachLimit || static_cast<size_t>(op - dst) <= kFastOutputLimit) {
        b.refill();
        const LitLenEntry e1 = kDecodeTable[b.peek(kDecodeIndexBits)];
        LitLenEntry at8 = 0, at9 = 0;
        if constexpr (kLookUpBothAfterALiteral) {
            at8 = kDecodeTable[(b.buf >> 8) & kIndexMask];
            at9 = kDecodeTable[(b.buf >> 9) & kIndexMask];
        }
        LitLenEntry e = e1;
        if (CMPR_LIKELY(is_literal(e1))) {
            const uint32_t bits1 = entry_bits(e1);
            if constexpr (kSkipEachCode) b.skip(bits1);
            *op++ = static_cast<uint8_t>(entry_value(e1));
            e = kLookUpBothAfterALiteral ? (bits1 == 8 ? at8 : at9)
                                         : kDecodeTable[b.peek(kDecodeIndexBits)];
            if (CMPR_LIKELY(is_literal(e))) {
                *op++ = static_cast<uint8_t>(entry_value(e));
                b.skip(kSkipEachCode ? entry_bits(e) : bits1 + entry_bits(e));
                continue;
            }
            if constexpr (!kSkipEachCode) b.skip(bits1);
            if constexpr (kRefillAfterLiteral) b.refill();
        }
        if (CMPR_LIKELY(is_near_match(e))) {
            const uint32_t bits = entry_bits(e), len = near_length(e);
            const uint32_t dist = near_distance_base(e) + (b.peek(bits) >> kShortMatchCodeBits);
            b.skip(bits);
            if (CMPR_LIKELY(dist <= static_cast<size_t>(op - dst)))
                copy_near(op, len, dist);
            else
                copy_before_start(dst, static_cast<size_t>(op - dst), len, dist);
            op += len;
            continue;
        }
        if (other_symbol(e, b, src_len, dst, op, run, end_out) == Step::kFinished) {
            r.finished = true;
            break;
        }
    }
    r.out = static_cast<size_t>(op - dst);
    r.bits_used = b.used();
    r.run = run;
    r.run.in_run = r.out == end_out;
    return r;
}

// Leaves the decoder state as the byte-at-a-time reader leaves it after
// 'bits' bits, 'out' bytes of output: it has fetched four bytes beyond the
// byte holding the next bit (zero bytes past the end, which are not counted
// in in_pos), and its history holds the latest output.
void sync_state(const uint8_t *src, uint32_t src_len, const uint8_t *dst, uint64_t bits,
                size_t out) {
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
        const size_t first = out - kHistorySize;
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
