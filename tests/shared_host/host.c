/*
 * A host program linked against the shipped shared library: it decodes a
 * stream holding one corrupt distance (8193) and prints what it decoded.
 * The library then hands its reboot command to the real shell, so this
 * program is only ever run by shared_host_reboot.sh, which puts a harmless
 * stand-in for that command first on the search path.
 */
#include <stdio.h>

#include <cmpr.h>

int main(void) {
    /* Length 3 at distance 8193 (code 26, extra value 1), the literal 'z',
     * the end of the segment. */
    static const uint8_t src[] = {0xc0, 0x15, 0x00, 0x55, 0x00};
    uint8_t dst[CMPR_GZIP_DECMPRS_BOUND(sizeof src)];
    uint32_t n = gzip_decmprs(src, sizeof src, dst);
    uint32_t i;

    printf("decoded %u:", (unsigned)n);
    for (i = 0; i < n; ++i) printf(" %02x", dst[i]);
    printf("\n");
    return 0;
}
