// Internal: the compressor's 8 KiB window, a ring indexed by position.
//
// Position q lives in slot q & kCompressorWindowMask.  Multi-byte accesses
// that would run off the end of the ring continue at its start.
#ifndef CMPR_SRC_ENCODE_WINDOW_RING_H
#define CMPR_SRC_ENCODE_WINDOW_RING_H

#include <cstdint>
#include <cstring>

#include "common/compiler.h"
#include "common/unaligned.h"
#include "lz77.h"
#include "stream_format.h"

namespace cmpr {

class WindowRing {
   public:
    explicit WindowRing(uint8_t *slots) : w_(slots) {}

    CMPR_FORCE_INLINE void put(uint32_t pos, uint8_t b) { w_[pos & kCompressorWindowMask] = b; }
    CMPR_FORCE_INLINE uint8_t get(uint32_t pos) const { return w_[pos & kCompressorWindowMask]; }

    // The three bytes from 'pos' in bits 0-23, and in bits 24-31 any byte.
    CMPR_FORCE_INLINE uint32_t get3_and_any(uint32_t pos) const {
        uint32_t s = pos & kCompressorWindowMask;
        if (CMPR_LIKELY(s <= kCompressorWindowSize - 4)) return load_le32(w_ + s);
        return get(pos) | get(pos + 1) << 8 | get(pos + 2) << 16;
    }

    // The three bytes from 'pos' in the layout of the string register.
    CMPR_FORCE_INLINE uint32_t get3(uint32_t pos) const { return get3_and_any(pos) & 0xFFFFFF; }

    CMPR_FORCE_INLINE uint64_t get8(uint32_t pos) const {
        uint32_t s = pos & kCompressorWindowMask;
        if (CMPR_LIKELY(s <= kCompressorWindowSize - 8)) return load_le64(w_ + s);
        uint8_t tmp[8];
        std::memcpy(tmp, w_ + s, kCompressorWindowSize - s);
        std::memcpy(tmp + (kCompressorWindowSize - s), w_, 8 - (kCompressorWindowSize - s));
        return load_le64(tmp);
    }

    // Bytes 0-2 of 'v' (little-endian order) to positions pos .. pos + 2.
    CMPR_FORCE_INLINE void put3(uint32_t pos, uint32_t v) {
        put(pos, static_cast<uint8_t>(v));
        put(pos + 1, static_cast<uint8_t>(v >> 8));
        put(pos + 2, static_cast<uint8_t>(v >> 16));
    }

    CMPR_FORCE_INLINE void put8(uint32_t pos, uint64_t v) {
        uint32_t s = pos & kCompressorWindowMask;
        if (CMPR_LIKELY(s <= kCompressorWindowSize - 8)) return store_le64(w_ + s, v);
        for (uint32_t i = 0; i < 8; ++i, v >>= 8) put(pos + i, static_cast<uint8_t>(v));
    }

    // The first 'n' (0 to 7) bytes of 'v' to positions pos .. pos + n - 1;
    // the slots after them keep what they hold.
    CMPR_FORCE_INLINE void put8_first(uint32_t pos, uint64_t v, uint32_t n) {
        uint64_t keep;
        if constexpr (sizeof(size_t) == 8) {
            keep = ~uint64_t{0} << (8 * n);
        } else {  // no shift of a register pair: the same mask in each half
            const uint32_t part = ~0u << (8 * (n % 4));
            keep = n < 4 ? uint64_t{~0u} << 32 | part : uint64_t{part} << 32;
        }
        put8(pos, (v & ~keep) | (get8(pos) & keep));
    }

   private:
    uint8_t *w_;
};

}  // namespace cmpr

#endif
