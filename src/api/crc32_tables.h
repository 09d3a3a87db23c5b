// Internal: constants of the CRC-32, computed at compile time.
//
// The checksum is the reflected CRC of polynomial 0x04C11DB7: bit 0 of each
// byte is its highest-degree coefficient, and the register's bit 0 is the
// coefficient of x^31.
#ifndef CMPR_SRC_API_CRC32_TABLES_H
#define CMPR_SRC_API_CRC32_TABLES_H

#include <array>
#include <cstdint>

namespace cmpr {

constexpr uint32_t kCrcPoly = 0xEDB88320u;  // reflected 0x04C11DB7

constexpr uint32_t crc_byte_step(uint32_t x) {
    for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ kCrcPoly : x >> 1;
    return x;
}

// Slicing tables: kCrcSlices[k][b] is the register after byte b followed by k
// zero bytes, fed into a zero register.  Slice 0 is the classic byte table.
using CrcSlices = std::array<std::array<uint32_t, 256>, 8>;
inline constexpr CrcSlices kCrcSlices = [] {
    CrcSlices t{};
    for (uint32_t b = 0; b < 256; ++b) t[0][b] = crc_byte_step(b);
    for (int k = 1; k < 8; ++k)
        for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    return t;
}();

// a(x) * b(x) mod P, both registers in reflected order (bit 31 is x^0).
constexpr uint32_t crc_multiply(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (int i = 0; i < 32; ++i) {  // b runs through b * x^i
        if (a & (0x80000000u >> i)) product ^= b;
        b = (b & 1) ? (b >> 1) ^ kCrcPoly : b >> 1;
    }
    return product;
}

// x^(8 * nbytes) mod P, reflected: multiplying a register by it is feeding
// it nbytes zero bytes.
constexpr uint32_t crc_zeros_operator(uint32_t nbytes) {
    uint32_t r = 0x80000000u;  // x^0
    for (uint32_t i = 0; i < 8 * nbytes; ++i) r = (r & 1) ? (r >> 1) ^ kCrcPoly : r >> 1;
    return r;
}

// Feeding a register 'nbytes' zero bytes, through four tables, one per byte
// of the register: table k holds x^(8 * nbytes) mod P times byte b in place
// k.  Joins the registers of lanes that ran side by side.
struct CrcShiftTables {
    std::array<std::array<uint32_t, 256>, 4> t;
    constexpr uint32_t operator()(uint32_t c) const {
        return t[0][c & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[2][(c >> 16) & 0xFF] ^ t[3][c >> 24];
    }
};

template <uint32_t nbytes>
inline constexpr CrcShiftTables kCrcShift = [] {
    CrcShiftTables s{};
    const uint32_t op = crc_zeros_operator(nbytes);
    for (uint32_t k = 0; k < 4; ++k)
        for (uint32_t b = 0; b < 256; ++b) s.t[k][b] = crc_multiply(b << (8 * k), op);
    return s;
}();

// x^n mod P in plain (non-reflected) bit order, P = x^32 + 0x04C11DB7.
constexpr uint32_t xpow_mod(uint32_t n) {
    uint32_t r = 1;  // x^0
    for (uint32_t i = 0; i < n; ++i) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
    return r;
}

// A remainder as the 33-bit reflected multiplier that carry-less folding uses.
constexpr uint64_t fold_constant(uint32_t n) {
    uint32_t r = xpow_mod(n);
    uint64_t out = 0;
    for (int i = 0; i < 32; ++i)
        if (r & (1u << i)) out |= uint64_t{1} << (32 - i);
    return out;
}

}  // namespace cmpr

#endif
