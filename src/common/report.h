// Internal: how the library makes a report.
//
// Every report loads cmpr_trc_fn afresh and calls it with the site's fixed
// function name, line number, level and format.  A null pointer (a host may
// assign the variable directly) falls back to the default, so no report ever
// calls through null.
#ifndef CMPR_SRC_COMMON_REPORT_H
#define CMPR_SRC_COMMON_REPORT_H

#include "cmpr.h"

extern "C" int cmpr_dflt_trc(const char *func, int line, int level, const char *fmt, ...);

namespace cmpr {

enum : int { kLevelError = 3, kLevelDetail = 6 };

inline trc_fn_t trace_target() {
    trc_fn_t fn = cmpr_trc_fn;
    return fn != nullptr ? fn : cmpr_dflt_trc;
}

}  // namespace cmpr

#define CMPR_REPORT(func, line, level, ...) \
    ((void)cmpr::trace_target()((func), (line), (level), __VA_ARGS__))

#endif
