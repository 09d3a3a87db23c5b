// The trace hook and the default trace function.
#include <cstdarg>
#include <cstdio>

#include "common/report.h"

// Formats into a 1024-byte stack buffer (longer messages are cut at 1023
// characters) and prints "func-line: message" on standard output, whatever
// the level.  Keeps no state, so it may run on several threads at once.
extern "C" int cmpr_dflt_trc(const char *func, int line, int level, const char *fmt, ...) {
    (void)level;
    char msg[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    return std::printf("%s-%d: %s\n", func, line, msg);
}

extern "C" {

trc_fn_t cmpr_trc_fn = cmpr_dflt_trc;

// A null function reinstates the default: the host gets its own function out
// of the way without having saved the default first.
void cmpr_api_init(trc_fn_t fn) {
    cmpr_trc_fn = fn != nullptr ? fn : cmpr_dflt_trc;
}

}  // extern "C"
