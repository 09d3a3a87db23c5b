/* A tiny host program built against an installed libcmpr. */
#include <stdio.h>
#include <string.h>

#include <cmpr.h>

static int quiet(const char *func, int line, int level, const char *fmt, ...) {
    (void)func;
    (void)line;
    (void)level;
    (void)fmt;
    return 0;
}

int main(void) {
    uint8_t src[1000], packed[1000], back[1000];
    uint32_t n = 0;
    memset(src, 'h', sizeof src);
    cmpr_api_init(quiet);
    if (cmprs_data(src, sizeof src, &n, packed) != 0) return 1;
    if (decmprs_data(packed, n, sizeof back, back) != 0) return 2;
    if (memcmp(src, back, sizeof src) != 0) return 3;
    if (crc_gen((const uint8_t *)"123456789", 9) != 0xCBF43926u) return 4;
    puts("consumer ok");
    return 0;
}
