/*
 * A host program linked against the shipped shared library: it decodes a
 * stream holding one corrupt distance (8193) and prints what it decoded.
 * The library then hands its reboot command to the real shell, so this
 * program runs only under shared_host_reboot.sh, which puts a harmless
 * stand-in for that command alone on the search path and sets
 * CMPR_SHARED_HOST_GUARD=1 for this program.  Started any other way, it
 * refuses before it decodes anything.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmpr.h>

int main(void) {
    /* Length 3 at distance 8193 (code 26, extra value 1), the literal 'z',
     * the end of the segment. */
    static const uint8_t src[] = {0xc0, 0x15, 0x00, 0x55, 0x00};
    uint8_t dst[CMPR_GZIP_DECMPRS_BOUND(sizeof src)];
    const char *guard = getenv("CMPR_SHARED_HOST_GUARD");
    if (guard == NULL || strcmp(guard, "1") != 0) {
        fputs("cmpr_shared_host: runs only under tests/shared_host_reboot.sh\n", stderr);
        return 2;
    }
    uint32_t n = gzip_decmprs(src, sizeof src, dst);
    printf("decoded %u:", (unsigned)n);
    for (uint32_t i = 0; i < n; ++i) printf(" %02x", dst[i]);
    printf("\n");
    return 0;
}
