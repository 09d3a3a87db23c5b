// Internal: the compressor's bit writer.
//
// Same bit order as put_bits, but with a 64-bit register that is emptied
// four whole bytes at a time: only completed bytes are ever stored, so the
// output never extends past the segment's final length.
#ifndef CMPR_SRC_ENCODE_BIT_SINK_H
#define CMPR_SRC_ENCODE_BIT_SINK_H

#include <cstdint>

#include "common/compiler.h"
#include "common/unaligned.h"

namespace cmpr {

class BitSink {
   public:
    explicit BitSink(uint8_t *dst) : dst_(dst) {}

    // Appends 'count' (at most 32) bits of 'bits', least significant first;
    // 'bits' has no bits at or above 'count'.
    CMPR_FORCE_INLINE void put(uint32_t bits, uint32_t count) {
        acc_ |= static_cast<uint64_t>(bits) << pending_;
        pending_ += count;
        if (pending_ >= 32) {
            store_le32(dst_ + pos_, static_cast<uint32_t>(acc_));
            pos_ += 4;
            acc_ >>= 32;
            pending_ -= 32;
        }
    }

    // A code packed as the code tables pack them.
    CMPR_FORCE_INLINE void put_packed(uint32_t packed) { put(packed & 0xFFFFFF, packed >> 24); }

    // Stores every pending bit, the last byte filled up with zero bits, and
    // returns the number of bytes written.
    uint32_t finish() {
        while (pending_ > 0) {
            dst_[pos_++] = static_cast<uint8_t>(acc_);
            acc_ >>= 8;
            pending_ = pending_ > 8 ? pending_ - 8 : 0;
        }
        return pos_;
    }

   private:
    uint8_t *dst_;
    uint32_t pos_ = 0;
    uint32_t pending_ = 0;
    uint64_t acc_ = 0;
};

}  // namespace cmpr

#endif
