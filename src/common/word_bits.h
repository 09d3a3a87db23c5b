// Internal: a stream's bits read front to back through a machine word (32
// or 64 bits), refilled a word at a time: the decoder's fast loop and the
// segment checker read through it.  Unconsumed bits wait in the word, the
// next one in bit 0; past the end of the input every bit is zero.
// Positions are machine words: no input of this process can exceed its
// address space, and bit counts are worked out in 64 bits.
#ifndef CMPR_SRC_COMMON_WORD_BITS_H
#define CMPR_SRC_COMMON_WORD_BITS_H

#include <cstddef>
#include <cstdint>

#include "common/compiler.h"
#include "common/unaligned.h"

namespace cmpr {

using Word = size_t;
constexpr uint32_t kWordBits = sizeof(Word) * 8;

class WordBits {
   public:
    // What a refill leaves at least: whole bytes go in while one more fits
    // in the word (56 bits of 64, 24 of 32).
    static constexpr uint32_t kMinAfterRefill = kWordBits - 8;

    WordBits(const uint8_t *src, size_t src_len)
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

    // Moves to bit 'pos' of the input, perhaps past its end, and refills.
    void seek(uint64_t pos) {
        const uint64_t at = pos / 8;
        const size_t len = length();
        in_ = at < len ? start_ + at : end_;
        past_ = at < len ? 0 : static_cast<size_t>(at - len);
        buf = 0;
        count = 0;
        refill();
        skip(static_cast<uint32_t>(pos % 8));
    }
    // Zero bytes loaded past the end of the input: none until near it.
    size_t past() const { return past_; }
    size_t length() const { return static_cast<size_t>(end_ - start_); }

   private:
    const uint8_t *in_;  // next input byte to load, at most end_
    const uint8_t *const start_, *const end_;
    const uint8_t *const word_end_;  // a word can be loaded before this
    size_t past_ = 0;                // zero bytes loaded past the end
};

}  // namespace cmpr

#endif
