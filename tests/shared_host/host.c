/* A C99 host of the shipped libraries, built in the tree and against an
 * installed copy.  It checks a round trip of each codec and the CRC-32, the
 * checker's verdict on a clean and on a corrupt buffer, then decodes the
 * corrupt distance, on which the library hands "reboot -f" to the
 * shell: so it starts only under run_guarded.sh, which sets
 * CMPR_SHARED_HOST_GUARD=1 and leaves a recording stand-in for reboot alone
 * on the search path.  Exit status 1: a check failed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmpr.h>
#include <cmpr_check.h>

int main(void) {
    static const uint8_t corrupt[] = {0xc0, 0x15, 0x00, 0x55, 0x00}; /* 3 at distance 8193, 'z' */
    static uint8_t src[1000] = {'h'}, packed[CMPR_GZIP_CMPRS_BOUND(1000)],
                   back[CMPR_GZIP_DECMPRS_BOUND(CMPR_GZIP_CMPRS_BOUND(1000))];
    const char *guard = getenv("CMPR_SHARED_HOST_GUARD");
    if (guard == NULL || strcmp(guard, "1") != 0) {
        fputs("cmpr host: runs only under tests/shared_host/run_guarded.sh\n", stderr);
        return 2;
    }
    int32_t len = gzip_cmprs(src, sizeof src, packed);
    int ok = crc_gen((const uint8_t *)"123456789", 9) == 0xCBF43926u && len > 0 &&
             gzip_decmprs(packed, (uint32_t)len, back) == sizeof src &&
             !memcmp(src, back, sizeof src);
    cmpr_check_result clean, bad;
    ok = ok && cmpr_check(packed, (uint32_t)len, sizeof src, &clean) == CMPR_DAMAGE_NONE &&
         clean.out_len == sizeof src && clean.escalations == 0 &&
         cmpr_check(corrupt, sizeof corrupt, 0, &bad) == CMPR_DAMAGE_FAR_DISTANCE &&
         bad.escalations == 1 && bad.out_len == 4;
#if CMPR_HAS_ZLIB
    uint32_t n = 0;
    ok = ok && !cmprs_data(src, sizeof src, &n, packed) &&
         !decmprs_data(packed, n, sizeof src, back) && !memcmp(src, back, sizeof src);
#endif
    uint32_t got = gzip_decmprs(corrupt, sizeof corrupt, back);
    printf("decoded %u:", (unsigned)got);
    for (uint32_t i = 0; i < got; ++i) printf(" %02x", back[i]);
    printf("\n");
    return !ok;
}
