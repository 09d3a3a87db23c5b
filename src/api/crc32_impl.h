// Internal: the CRC-32 engines.  Each takes and returns the raw register
// (no preset, no final complement), as update_crc does.
#ifndef CMPR_SRC_API_CRC32_IMPL_H
#define CMPR_SRC_API_CRC32_IMPL_H

#include <cstddef>
#include <cstdint>

namespace cmpr {

// Byte at a time through the classic table: short inputs and tails.
uint32_t crc32_bytewise(uint32_t crc, const uint8_t *p, size_t n);

// Sixteen bytes per step through the slicing tables; any CPU.
uint32_t crc32_portable(uint32_t crc, const uint8_t *p, size_t n);

using CrcEngine = uint32_t (*)(uint32_t crc, const uint8_t *p, size_t n);

// Carry-less multiply folding, on 128-bit registers (x86-64 with PCLMULQDQ)
// and on 512-bit ones (AVX-512 with VPCLMULQDQ); null where this CPU lacks
// what the engine needs.
CrcEngine crc32_clmul128();
CrcEngine crc32_clmul512();

// The fastest engine this CPU runs.
CrcEngine crc32_best();

}  // namespace cmpr

#endif
