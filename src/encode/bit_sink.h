// Internal: the compressor's bit writer.
//
// Same bit order as put_bits, in a register of the machine's word that is
// emptied half a word at a time (four bytes on 64-bit CPUs, two on 32-bit
// ones), so that a 32-bit CPU never shifts a pair of registers.
//
// put() stores only completed bytes.  put_ahead() stores the register's
// lower half at every call, without a branch on whether it is complete: the
// bytes past the completed ones are rewritten by later calls, provided the
// segment's final length reaches kMaxPut / 8 bytes past the current
// position.
// The compressor uses it only where later symbols guarantee that, so the
// output never extends past the segment's final length either way.
#ifndef CMPR_SRC_ENCODE_BIT_SINK_H
#define CMPR_SRC_ENCODE_BIT_SINK_H

#include <cstddef>
#include <cstdint>

#include "common/compiler.h"
#include "common/unaligned.h"

namespace cmpr {

class BitSink {
   public:
    // The most bits one put() takes: what the register holds beyond the
    // fewer than kMaxPut bits that stay pending.
    static constexpr uint32_t kMaxPut = 4 * sizeof(size_t);

    explicit BitSink(uint8_t *dst) : dst_(dst), next_(dst) {}

    // Appends 'count' (at most kMaxPut) bits of 'bits', least significant
    // first; 'bits' has no bits at or above 'count'.
    CMPR_FORCE_INLINE void put(uint32_t bits, uint32_t count) {
        acc_ |= static_cast<size_t>(bits) << pending_;
        pending_ += count;
        if (pending_ >= kMaxPut) {
            store_half();
            next_ += kMaxPut / 8;
            acc_ >>= kMaxPut;
            pending_ -= kMaxPut;
        }
    }

    // As put(); the segment must end at least kMaxPut / 8 bytes past the
    // current output position.
    CMPR_FORCE_INLINE void put_ahead(uint32_t bits, uint32_t count) {
        acc_ |= static_cast<size_t>(bits) << pending_;
        pending_ += count;
        store_half();
        const uint32_t full = pending_ & kMaxPut;  // pending_ < 2 * kMaxPut
        next_ += full / 8;
        acc_ >>= full;
        pending_ -= full;
    }

    // A code packed as the code tables pack them.
    CMPR_FORCE_INLINE void put_packed(uint32_t packed) { put(packed & 0xFFFFFF, packed >> 24); }
    CMPR_FORCE_INLINE void put_packed_ahead(uint32_t packed) {
        put_ahead(packed & 0xFFFFFF, packed >> 24);
    }

    // Stores every pending bit, the last byte filled up with zero bits, and
    // returns the number of bytes written.
    uint32_t finish() {
        while (pending_ > 0) {
            *next_++ = static_cast<uint8_t>(acc_);
            acc_ >>= 8;
            pending_ = pending_ > 8 ? pending_ - 8 : 0;
        }
        return static_cast<uint32_t>(next_ - dst_);
    }

    // Bits put so far.
    size_t bits() const { return static_cast<size_t>(next_ - dst_) * 8 + pending_; }

   private:
    // The register's lower half to the next bytes.
    CMPR_FORCE_INLINE void store_half() {
        if constexpr (kMaxPut == 32)
            store_le32(next_, static_cast<uint32_t>(acc_));
        else
            store_le16(next_, static_cast<uint16_t>(acc_));
    }

    uint8_t *dst_;
    uint8_t *next_;  // the next byte to complete
    uint32_t pending_ = 0;
    size_t acc_ = 0;
};

}  // namespace cmpr

#endif
