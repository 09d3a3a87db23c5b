// The exported fixed-code lookup tables and their builder.
#include <cstdint>

#include <cstring>

#include "cmpr.h"
#include "fixed_tables.h"

extern "C" {

uint16_t lut_lcode_7[128];
uint16_t lut_lcode_8[256];
uint16_t lut_lcode_9[512];
uint8_t reverse5[32];
uint8_t lut_ocode[512];  // reserved: never filled or read

// Copies the canonical contents, computed at compile time: every call of
// gzip_decmprs() rebuilds the tables, so this has to be cheap.
void lut_init(void) {
    const cmpr::CanonicalTables &t = cmpr::kCanonicalTables;
    std::memcpy(lut_lcode_7, t.lcode7.data(), sizeof lut_lcode_7);
    std::memcpy(lut_lcode_8, t.lcode8.data(), sizeof lut_lcode_8);
    std::memcpy(lut_lcode_9, t.lcode9.data(), sizeof lut_lcode_9);
    std::memcpy(reverse5, t.reverse5.data(), sizeof reverse5);
}

}  // extern "C"
