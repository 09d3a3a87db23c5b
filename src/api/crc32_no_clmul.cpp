// The carry-less multiply CRC-32 engines on CPUs other than x86-64: there
// are none, so best_crc32_engine() settles on the slicing engine.
#include "crc32_engines.h"

cmpr::CrcEngine cmpr::crc32_clmul128_engine() {
    return nullptr;
}

cmpr::CrcEngine cmpr::crc32_clmul512_engine() {
    return nullptr;
}
