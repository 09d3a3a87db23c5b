// Shared by the fuzz targets: a check that stops the run as a finding, and a
// sink for what the library prints (which would flood the log).
#ifndef CMPR_FUZZ_COMMON_H
#define CMPR_FUZZ_COMMON_H

#include <sanitizer/common_interface_defs.h>

#include <cstdio>
#include <cstdlib>

#include "support/support.h"

namespace cmpr_fuzz {

[[noreturn]] inline void fail(const char *file, int line, const char *what) {
    char msg[512];
    std::snprintf(msg, sizeof msg, "cmpr fuzz finding: %s:%d: %s", file, line, what);
    __sanitizer_report_error_summary(msg);  // the sanitizers' stream stays open
    std::abort();
}

// The C library reads the stdout and stderr variables at every call, so the
// library's prints go nowhere; libFuzzer (which took its copy of stderr when
// it started) and the sanitizers keep their own streams.
inline void silence_library_output() {
    stdout = stderr = std::fopen("/dev/null", "w");
}

}  // namespace cmpr_fuzz

#define FUZZ_CHECK(cond) \
    ((cond) ? (void)0 : cmpr_fuzz::fail(__FILE__, __LINE__, "check failed: " #cond))

#endif
