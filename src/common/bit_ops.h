// Internal: bit manipulations shared by the encoder and the decoder.
#ifndef CMPR_SRC_COMMON_BIT_OPS_H
#define CMPR_SRC_COMMON_BIT_OPS_H

#include <cstdint>

namespace cmpr {

// The low 'n' bits of 'v' in reverse order (0 for n <= 0, n at most 32).
// Codes travel most significant bit first while bits are packed from bit 0
// up, so a code's stream form is the code reversed.
constexpr uint32_t reverse_low_bits(uint32_t v, int32_t n) {
    uint32_t r = 0;
    for (int32_t i = 0; i < n; ++i) r |= ((v >> i) & 1u) << (n - 1 - i);
    return r;
}

}  // namespace cmpr

#endif
