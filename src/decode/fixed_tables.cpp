// The fixed-code lookup tables and their builder.
//
// A code is sent most significant bit first but the reader hands out the
// first bit read in bit 0, so every table is indexed by the code reversed.
#include <cstdint>

#include "bit_reader.h"

extern "C" {

uint16_t lut_lcode_7[128];
uint16_t lut_lcode_8[256];
uint16_t lut_lcode_9[512];
uint8_t reverse5[32];
uint8_t lut_ocode[512];  // reserved: never filled or read

void lut_init(void) {
    for (uint32_t i = 0; i < 32; ++i) reverse5[i] = static_cast<uint8_t>(reverse(i, 5));
    for (uint16_t &e : lut_lcode_7) e = cmpr::kLcodeMore;
    for (uint16_t &e : lut_lcode_8) e = cmpr::kLcodeMore;
    for (uint16_t &e : lut_lcode_9) e = cmpr::kLcodeMore;
    // Literals 0-143: 8-bit codes 0x30-0xBF.
    for (uint32_t k = 48; k <= 191; ++k) lut_lcode_8[reverse(k, 8)] = static_cast<uint16_t>(k - 48);
    // Literals 144-255: 9-bit codes 0x190-0x1FF.
    for (uint32_t k = 400; k <= 511; ++k)
        lut_lcode_9[reverse(k, 9)] = static_cast<uint16_t>(k - 256);
    // End code and lengths 257-279: 7-bit codes 0-0x17.
    for (uint32_t k = 0; k <= 23; ++k) lut_lcode_7[reverse(k, 7)] = static_cast<uint16_t>(k + 256);
    // Lengths 280-287: 8-bit codes 0xC0-0xC7.
    for (uint32_t k = 192; k <= 199; ++k)
        lut_lcode_8[reverse(k, 8)] = static_cast<uint16_t>(k + 88);
}

}  // extern "C"
