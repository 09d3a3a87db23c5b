// Internal: the CRC-32 engines and the choice between them.
//
// An engine takes and returns the raw register (no preset, no final
// complement), as update_crc does.  crc32_bytewise and crc32_slice8 run on
// any CPU.  The carry-less multiply engines, crc32_clmul128 and
// crc32_clmul512, and crc32_armv8 need instructions that not every CPU has,
// so they are reached only through the functions that return them or null.
#ifndef CMPR_SRC_API_CRC32_ENGINES_H
#define CMPR_SRC_API_CRC32_ENGINES_H

#include <cstddef>
#include <cstdint>

namespace cmpr {

using CrcEngine = uint32_t (*)(uint32_t crc, const uint8_t *p, size_t n);

// Byte at a time through the classic table: short inputs and tails.
uint32_t crc32_bytewise(uint32_t crc, const uint8_t *p, size_t n);

// Eight bytes per step through the slicing tables, in three lanes.
uint32_t crc32_slice8(uint32_t crc, const uint8_t *p, size_t n);

// crc32_clmul128 folds on 128-bit registers (x86-64 with PCLMULQDQ and
// SSE4.1), crc32_clmul512 on 512-bit ones (AVX-512 with VPCLMULQDQ); each
// function returns null where this CPU lacks what its engine needs.
CrcEngine crc32_clmul128_engine();
CrcEngine crc32_clmul512_engine();

// crc32_armv8 runs on the CRC32 instructions (32-bit ARM, ARMv8 CPUs);
// null where the kernel does not report them.
CrcEngine crc32_armv8_engine();

// The fastest engine this CPU runs.
CrcEngine best_crc32_engine();

}  // namespace cmpr

#endif
