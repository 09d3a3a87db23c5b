/* A tiny C99 host built against an installed libcmpr.  That library hands
 * "reboot -f" to the shell on a corrupt distance, so, like every program that
 * loads it, this one starts only under tests/shared_host_reboot.sh, which sets
 * CMPR_SHARED_HOST_GUARD=1.  Exit status 1: a check failed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmpr.h>

int main(void) {
    static uint8_t src[1000] = {'h'}, packed[CMPR_GZIP_CMPRS_BOUND(1000)],
                   back[CMPR_GZIP_DECMPRS_BOUND(CMPR_GZIP_CMPRS_BOUND(1000))];
    const char *guard = getenv("CMPR_SHARED_HOST_GUARD");
    if (guard == NULL || strcmp(guard, "1") != 0) {
        fputs("consumer: runs only under tests/shared_host_reboot.sh --run\n", stderr);
        return 2;
    }
    int32_t len = gzip_cmprs(src, sizeof src, packed);
    int ok = crc_gen((const uint8_t *)"123456789", 9) == 0xCBF43926u && len > 0 &&
             gzip_decmprs(packed, (uint32_t)len, back) == sizeof src &&
             !memcmp(src, back, sizeof src);
#if CMPR_HAS_ZLIB
    uint32_t n = 0;
    ok = ok && !cmprs_data(src, sizeof src, &n, packed) &&
         !decmprs_data(packed, n, sizeof src, back) && !memcmp(src, back, sizeof src);
#endif
    return !ok;
}
