// Internal: loads and stores of several bytes at any address, in an explicit
// byte order.
//
// The library runs on strict-alignment and big-endian boards as well as on
// x86-64: every multi-byte access goes through memcpy (which compilers turn
// into one instruction where the CPU allows it) and builds values in
// little-endian order, the order of the stream formats.
#ifndef CMPR_SRC_COMMON_UNALIGNED_H
#define CMPR_SRC_COMMON_UNALIGNED_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/compiler.h"

namespace cmpr {

CMPR_FORCE_INLINE uint32_t load_le32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

CMPR_FORCE_INLINE uint64_t load_le64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// A machine word (size_t: 32 or 64 bits) in little-endian order.
CMPR_FORCE_INLINE size_t load_le_word(const uint8_t *p) {
    if constexpr (sizeof(size_t) == 8) return static_cast<size_t>(load_le64(p));
    return load_le32(p);
}

CMPR_FORCE_INLINE void store_le16(uint8_t *p, uint16_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    std::memcpy(p, &v, sizeof v);
}

CMPR_FORCE_INLINE void store_le32(uint8_t *p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, sizeof v);
}

CMPR_FORCE_INLINE void store_le64(uint8_t *p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

}  // namespace cmpr

#endif
