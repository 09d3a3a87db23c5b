// CRC-32 by the CRC32 instructions of ARMv8 CPUs in 32-bit state: the engine
// crc32_armv8, and the check of what this CPU has.
//
// The library is built for ARMv7, so only the functions marked
// CMPR_TARGET_CRC may use the instructions, and only once the kernel has
// said that the CPU has them: an ARMv7 board runs the portable engine.
// CRC32W takes four bytes at a time and waits on its own register, so three
// lanes run side by side and are joined through the shift tables, as in the
// portable engine.  The instructions compute this very CRC (reflected
// 0x04C11DB7, no preset or complement), on the register as the tables hold it.
#if !defined(__arm__) || !defined(__GNUC__)
#error "32-bit ARM code for g++: src/CMakeLists.txt builds it for 32-bit ARM only"
#endif

#include <sys/auxv.h>

#include "api/crc32_engines.h"
#include "api/crc32_tables.h"
#include "common/unaligned.h"

#ifndef HWCAP2_CRC32
#define HWCAP2_CRC32 (1 << 4)  // <asm/hwcap.h> of 32-bit ARM
#endif

#define CMPR_TARGET_CRC __attribute__((target("arch=armv8-a+crc+simd")))

namespace cmpr {
namespace {

CMPR_TARGET_CRC inline uint32_t crc_word(uint32_t crc, const uint8_t *p) {
    return __builtin_arm_crc32w(crc, load_le32(p));
}

template <uint32_t kLane>
CMPR_TARGET_CRC inline uint32_t lanes(uint32_t crc, const uint8_t *&p, size_t &n) {
    const CrcShiftTables &shift = kCrcShift<kLane>;
    for (; n >= 3 * kLane; p += 3 * kLane, n -= 3 * kLane) {
        uint32_t c0 = crc, c1 = 0, c2 = 0;
        for (uint32_t i = 0; i < kLane; i += 4) {
            c0 = crc_word(c0, p + i);
            c1 = crc_word(c1, p + kLane + i);
            c2 = crc_word(c2, p + 2 * kLane + i);
        }
        crc = shift(shift(c0) ^ c1) ^ c2;
    }
    return crc;
}

CMPR_TARGET_CRC uint32_t crc32_armv8(uint32_t crc, const uint8_t *p, size_t n) {
    crc = lanes<512>(crc, p, n);  // blocks of 1.5 KiB
    crc = lanes<64>(crc, p, n);   // then of 192 bytes
    for (; n >= 4; p += 4, n -= 4) crc = crc_word(crc, p);
    for (; n > 0; --n) crc = __builtin_arm_crc32b(crc, *p++);
    return crc;
}

}  // namespace

CrcEngine crc32_armv8_engine() {
    return getauxval(AT_HWCAP2) & HWCAP2_CRC32 ? crc32_armv8 : nullptr;
}

}  // namespace cmpr
