#include "cmpr.h"

extern "C" int put_word(FILE *stream, int32_t count, uint32_t word) {
    // Bytes 0-3 are the word, least significant first; every later position
    // (the library itself never asks for more than 8) is a zero byte.
    for (int32_t i = 0; i < count; ++i)
        fputc(i < 4 ? static_cast<int>((word >> (8 * i)) & 0xFF) : 0, stream);
    return 0;
}
