/* The public header compiles as C (C99, pedantic) and declares what it says. */
#include "cmpr.h"

static int quiet(const char *func, int line, int level, const char *fmt, ...) {
    (void)func;
    (void)line;
    (void)level;
    (void)fmt;
    return 0;
}

int cmpr_header_c_check(void) {
    uint8_t buf[4] = {1, 2, 3, 4};
    cmpr_api_init(quiet);
    return (int)crc_gen(buf, 4) + crc_table_computed;
}
