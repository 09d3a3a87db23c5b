// The exported bit reader and fixed-code lookups, and the undefined-code exit.
#include "bit_reader.h"

#include <cstdio>
#include <cstdlib>

#include "common/report.h"

namespace cmpr {

void undefined_lcode() {
    static const char kMessage[] = "ERROR: undefined huffman code\n";
    std::fwrite(kMessage, 1, sizeof kMessage - 1, stderr);
    CMPR_REPORT("get_lcode", 1054, kLevelError, "ERROR: undefined huffman code, crash daemon");
    std::exit(-1);
}

}  // namespace cmpr

extern "C" {

uint32_t get_bits(const uint8_t *src, uint32_t n) {
    return cmpr::read_bits(src, n);
}

// Bit i of 'value' goes to bit width-1-i.  Widths above 32 would move bits
// past bit 31; those are dropped, so every width gives a defined result.
uint32_t reverse(uint32_t value, int32_t width) {
    if (width <= 0) return 0;
    uint64_t out = 0;
    int32_t low = width > 32 ? 32 : width;
    for (int32_t i = 0; i < low; ++i) {
        int64_t to = static_cast<int64_t>(width) - 1 - i;
        if (to < 32 && ((value >> i) & 1u)) out |= uint64_t{1} << to;
    }
    return static_cast<uint32_t>(out);
}

uint32_t get_lcode(const uint8_t *src) {
    return cmpr::read_lcode(src);
}

uint32_t get_ocode(const uint8_t *src) {
    return cmpr::read_ocode(src);
}

}  // extern "C"
