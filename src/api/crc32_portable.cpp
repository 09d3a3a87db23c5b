// The CRC-32 engines that run on any CPU: byte at a time, and eight bytes per
// step through the slicing tables, in three lanes side by side.
#include "common/compiler.h"
#include "common/unaligned.h"
#include "crc32_engines.h"
#include "crc32_tables.h"

namespace cmpr {

uint32_t crc32_bytewise(uint32_t crc, const uint8_t *p, size_t n) {
    const auto &t = kCrcSlices[0];
    for (size_t i = 0; i < n; ++i) crc = t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

namespace {

// One slicing step: the register after eight more bytes, read as two 32-bit
// words.  Only the first word depends on the register, so the second word's
// lookups can be under way while the register is still being computed.
CMPR_FORCE_INLINE uint32_t step8(const CrcSlices &t, uint32_t crc, const uint8_t *p) {
    const uint32_t b = load_le32(p + 4);
    const uint32_t later =
        t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    const uint32_t a = load_le32(p) ^ crc;
    return later ^ t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24];
}

// A step waits on its own register, so three lanes of kLane bytes each run
// side by side, a step of each in turn; then each register is shifted over
// the lane after it and joined to that lane's (Horner's rule).  Three lanes
// keep their registers in registers even on 32-bit x86.
template <uint32_t kLane>
CMPR_FORCE_INLINE uint32_t lanes(uint32_t crc, const uint8_t *&p, size_t &n) {
    const CrcSlices &t = *opaque_address(kCrcSlices);
    const CrcShiftTables &shift = *opaque_address(kCrcShift<kLane>);
    for (; n >= 3 * kLane; p += 3 * kLane, n -= 3 * kLane) {
        uint32_t c0 = crc, c1 = 0, c2 = 0;
        for (uint32_t i = 0; i < kLane; i += 8) {
            c0 = step8(t, c0, p + i);
            c1 = step8(t, c1, p + kLane + i);
            c2 = step8(t, c2, p + 2 * kLane + i);
        }
        crc = shift(shift(c0) ^ c1) ^ c2;
    }
    return crc;
}

}  // namespace

uint32_t crc32_slice8(uint32_t crc, const uint8_t *p, size_t n) {
    crc = lanes<512>(crc, p, n);  // blocks of 1.5 KiB
    crc = lanes<64>(crc, p, n);   // then of 192 bytes
    for (; n >= 8; p += 8, n -= 8) crc = step8(kCrcSlices, crc, p);
    return crc32_bytewise(crc, p, n);
}

}  // namespace cmpr
