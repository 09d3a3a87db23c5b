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
#include "stream_format.h"
#include "common/unaligned.h"
#include "decode_state.h"
#include "fixed_tables.h"

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

// Copies a match of 'len' (3..258) bytes from 'dist' bytes back (1..32768)
// to dst + out, writing nothing past dst + out + len: the caller's buffer
// may end right there.  Copies run front to back in words no wider than the
// distance, so every byte a word reads is final; the last word ends exactly
// at the end of the match, overlapping the one before.  Bytes before the
// start of the output are 0xFF.
CMPR_FORCE_INLINE void copy_match(uint8_t *dst, size_t out, uint32_t len, uint32_t dist) {
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

// The fast loop's bit buffer, a machine word (32 or 64 bits): unconsumed
// bits, the next one in bit 0.  Positions are machine words too: no input or
// output of this process can exceed its address space.
using Word = size_t;
constexpr uint32_t kWordBits = sizeof(Word) * 8;

class Bits {
   public:
    // What a refill leaves at least: whole bytes go in while one more fits
    // in the word (56 bits of 64, 24 of 32).
    static constexpr uint32_t kMinAfterRefill = kWordBits - 8;

    Bits(const uint8_t *src, uint32_t src_len)
        : in_(src),
          start_(src),
          end_(src + src_len),
          word_end_(src_len >= sizeof(Word) ? end_ - sizeof(Word) + 1 : src) {}

    Word buf = 0;
    uint32_t count = 0;  // how many bits of buf are valid

    // Input bytes taken into buf, zero bytes past the end included.
    size_t loaded() const { return static_cast<size_t>(in_ - start_) + past_; }
    // Bits consumed; used32() modulo 2^32, as the decoder state counts them.
    uint32_t used32() const { return static_cast<uint32_t>(loaded() * 8 - count); }
    uint64_t used() const { return uint64_t{loaded()} * 8 - count; }

    // Tops the buffer up to at least kMinAfterRefill bits: a word at a time
    // while a word of input is left, then byte by byte, with zero bytes past
    // the end of the input (the reader sees zero bits there, for ever).  The
    // word load adds (kWordBits - 1 - count) / 8 whole bytes, which brings
    // count to count | kMinAfterRefill for any count below kWordBits.  Bits
    // of buf above count are zero or the stream's own.
    CMPR_FORCE_INLINE void refill() {
        if (CMPR_LIKELY(in_ < word_end_)) {
            buf |= load_le_word(in_) << count;
            in_ += (kWordBits - 1 - count) >> 3;
            count |= kMinAfterRefill;
            return;
        }
        for (; count <= kMinAfterRefill; count += 8) {
            if (in_ < end_)
                buf |= static_cast<Word>(*in_++) << count;
            else
                ++past_;
        }
    }
    CMPR_FORCE_INLINE uint32_t peek(uint32_t n) const {
        return static_cast<uint32_t>(buf & ((Word{1} << n) - 1));
    }
    CMPR_FORCE_INLINE void skip(uint32_t n) {
        buf >>= n;
        count -= n;
    }
    // Skips 'n' bits, which end on a byte boundary, perhaps beyond those in
    // buf: the buffer is emptied, and the next refill starts at that byte.
    void skip_to_byte(uint32_t n) {
        const uint64_t at = (used() + n) / 8;
        const size_t len = static_cast<size_t>(end_ - start_);
        in_ = at < len ? start_ + at : end_;
        past_ = at < len ? 0 : static_cast<size_t>(at - len);
        buf = 0;
        count = 0;
    }

   private:
    const uint8_t *in_;  // next input byte to load, at most end_
    const uint8_t *const start_, *const end_;
    const uint8_t *const word_end_;  // a word can be loaded before this
    size_t past_ = 0;                // zero bytes loaded past the end
};

// The bit budget of a round of the fast loop.  A round decodes at most one
// literal and then one more symbol of any kind.  Its first part, from the
// refill, looks up the first symbol and, 8 and 9 bits on, the one after a
// literal, and consumes a literal and the code of the next symbol; the rest
// is what follows a match's code: its length's extra bits, the distance code
// and its extra bits (the short-match entries hold the distance code
// already).  An end code's skip to the next 32-bit boundary empties the
// buffer instead (Bits::skip_to_byte()).  The most bits that each part takes is read
// off the tables the loop decodes with: with today's tables 9 + 12 = 21 for
// the first part, and 24 for the rest.  A 64-bit buffer holds a whole round
// (45 of the 56 bits a refill leaves); a 32-bit one (24) is refilled once
// more between the two parts.
constexpr uint32_t kDistanceCodeBits = 5;  // a distance code read on its own
constexpr uint32_t kDecodeIndexBits = 12;  // kDecodeTable's index

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
constexpr uint32_t kMaxEntryBits = max_over_entries([](LitLenEntry e) { return entry_bits(e); });
constexpr uint32_t kMaxShortMatchRest = max_over_entries(
    [](LitLenEntry e) { return entry_kind(e) == kShortMatch ? short_distance_extra(e) : 0; });
constexpr uint32_t kMaxLongMatchRest = max_over_entries([](LitLenEntry e) {
    return entry_kind(e) < kShortMatch  // the kind is the length's number of extra bits
               ? entry_kind(e) + kDistanceCodeBits + kMaxDistanceExtraBits
               : 0;
});
constexpr uint32_t kMaxFirstPartBits =
    std::max(kMaxLiteralBits + kDecodeIndexBits, kMaxLiteralBits + kMaxEntryBits);
constexpr uint32_t kMaxRestBits = std::max(kMaxShortMatchRest, kMaxLongMatchRest);
constexpr bool kRefillForTheRest = kMaxFirstPartBits + kMaxRestBits > Bits::kMinAfterRefill;

static_assert(kMaxFirstPartBits <= Bits::kMinAfterRefill,
              "the first part of a round may use bits that a refill does not guarantee");
static_assert(kMaxRestBits <= Bits::kMinAfterRefill,
              "the rest of a round may use bits that a refill does not guarantee");
static_assert(kRefillForTheRest == (kWordBits == 32), "a 64-bit buffer holds a whole round");
// The refill's word load sets count with an OR, which adds the whole bytes
// loaded only while the minimum is binary 11...1000.
static_assert(Bits::kMinAfterRefill == kWordBits - 8 && std::has_single_bit(kWordBits));
// After a literal the loop looks the next symbol up 8 and 9 bits on.
static_assert([] {
    for (LitLenEntry e : kDecodeTable)
        if (is_literal(e) && entry_bits(e) != 8 && entry_bits(e) != 9) return false;
    return true;
}());

// What one literal/length entry other than a literal means: an end code, or
// a match whose length code has been consumed.  Needs kMaxRestBits bits in
// 'b'.
enum class Step { kNext, kFinished };

CMPR_FORCE_INLINE Step other_symbol(LitLenEntry e, Bits &b, uint32_t src_len, uint8_t *dst,
                                    uint8_t *&op, SegmentRun &run, size_t &end_out) {
    const size_t out = static_cast<size_t>(op - dst);
    if (entry_kind(e) == kEndOfSegment) {
        const uint32_t at = b.used32();
        run.in_run = out == end_out;
        segment_end(run, at);
        end_out = out;
        b.skip_to_byte((32 - at % 32) % 32);  // segments start on 32-bit boundaries
        // Ends when no more than the reader's four bytes of look-ahead are left.
        return 4 + b.used() / 8 >= src_len ? Step::kFinished : Step::kNext;
    }
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
        decode_state.bits_used = b.used32();
        escalate_invalid_offset(dist);
        dist = ((dist - 1) & kHistoryMask) + 1;  // where the history ring points
    }
    copy_match(dst, out, len, dist);
    op += len;
    return Step::kNext;
}

// Out of line, the loop keeps its bit buffer in registers even where there
// are few of them (32-bit x86).
[[gnu::noinline]] FastResult decode_fast(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    FastResult r{};
    Bits b(src, src_len);
    uint8_t *op = dst;
    SegmentRun run;
    // Every symbol but the end code writes something, so the latest symbol
    // was an end code (the run flag) exactly while the output count stands
    // where the latest end code left it: the loop keeps no flag of its own.
    size_t end_out = SIZE_MAX;
    // Every round starts with a refill, which guarantees the bits of the
    // round's first part and, with a 64-bit buffer, of the whole round; a
    // 32-bit buffer is refilled again before the rest (see the
    // static_asserts on the budget).  Past the input the bits are zeros,
    // which read as end codes, so decoding ends there.
    while (!kOutputMayReachLimit || static_cast<size_t>(op - dst) <= kFastOutputLimit) {
        b.refill();
        // After a literal the next symbol starts 8 or 9 bits on (a literal
        // code is 8 or 9 bits long): look both up while the first lookup is
        // under way, and pick one when it is known.
        constexpr uint32_t kIndexMask = (1u << kDecodeIndexBits) - 1;
        const LitLenEntry e1 = kDecodeTable[b.peek(kDecodeIndexBits)];
        const LitLenEntry at8 = kDecodeTable[(b.buf >> 8) & kIndexMask];
        const LitLenEntry at9 = kDecodeTable[(b.buf >> 9) & kIndexMask];
        // A 64-bit buffer drops the first code while the next entry is
        // picked; on 32-bit x86, short of registers, one shift by both codes'
        // lengths is faster.
        constexpr bool kSkipEachCode = kWordBits == 64;
        const uint32_t bits1 = entry_bits(e1);
        if constexpr (kSkipEachCode) b.skip(bits1);
        LitLenEntry e = e1;
        if (CMPR_LIKELY(is_literal(e1))) {
            const LitLenEntry e2 = bits1 == 8 ? at8 : at9;
            *op++ = static_cast<uint8_t>(entry_value(e1));
            b.skip(kSkipEachCode ? entry_bits(e2) : bits1 + entry_bits(e2));
            if (CMPR_LIKELY(is_literal(e2))) {
                *op++ = static_cast<uint8_t>(entry_value(e2));
                continue;
            }
            e = e2;
        } else if constexpr (!kSkipEachCode) {
            b.skip(bits1);
        }
        if constexpr (kRefillForTheRest) b.refill();
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
