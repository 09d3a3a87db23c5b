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
    static uint8_t src[1000], packed[CMPR_GZIP_CMPRS_BOUND(1000)], back[4096];
    int32_t len;
    memset(src, 'h', sizeof src);
    cmpr_api_init(quiet);
#if CMPR_HAS_ZLIB
    {
        uint32_t n = 0;
        if (cmprs_data(src, sizeof src, &n, packed) != 0) return 1;
        if (decmprs_data(packed, n, sizeof src, back) != 0) return 2;
        if (memcmp(src, back, sizeof src) != 0) return 3;
    }
#endif
    if (crc_gen((const uint8_t *)"123456789", 9) != 0xCBF43926u) return 4;
    len = gzip_cmprs(src, sizeof src, packed);
    if (len < 1 || CMPR_GZIP_DECMPRS_BOUND(len) > sizeof back) return 5;
    if (gzip_decmprs(packed, (uint32_t)len, back) != sizeof src) return 6;
    if (memcmp(src, back, sizeof src) != 0) return 7;
    puts(CMPR_HAS_ZLIB ? "consumer ok" : "consumer ok (no zlib wrappers in this build)");
    return 0;
}
