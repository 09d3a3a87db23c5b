// The CRC-32 engines that run on any CPU: byte at a time, and sixteen bytes
// per step through the slicing tables.
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

// One slicing step: the register after sixteen more bytes.
CMPR_FORCE_INLINE uint32_t step16(uint32_t crc, const uint8_t *p) {
    const auto &t = kCrcSlices;
    uint32_t a = load_le32(p) ^ crc, b = load_le32(p + 4), c = load_le32(p + 8),
             d = load_le32(p + 12);
    return t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
           t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
           t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
           t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
}

// Three lanes of kLane bytes run side by side, since one lane waits on its
// own register at every step; the lanes are then joined by shifting the
// earlier registers over the bytes that follow them.
constexpr uint32_t kLane = 1024;
constexpr uint32_t kShift1 = crc_zeros_operator(kLane), kShift2 = crc_zeros_operator(2 * kLane);

}  // namespace

uint32_t crc32_slice16(uint32_t crc, const uint8_t *p, size_t n) {
    while (n >= 3 * kLane) {
        uint32_t c0 = crc, c1 = 0, c2 = 0;
        for (uint32_t i = 0; i < kLane; i += 16) {
            c0 = step16(c0, p + i);
            c1 = step16(c1, p + kLane + i);
            c2 = step16(c2, p + 2 * kLane + i);
        }
        crc = crc_multiply(c0, kShift2) ^ crc_multiply(c1, kShift1) ^ c2;
        p += 3 * kLane;
        n -= 3 * kLane;
    }
    for (; n >= 16; p += 16, n -= 16) crc = step16(crc, p);
    return crc32_bytewise(crc, p, n);
}

}  // namespace cmpr
