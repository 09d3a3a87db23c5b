// Shared by the fuzz targets: a check that stops the run as a finding, and a
// sink for what the library prints (which would flood the log).
#ifndef CMPR_FUZZ_COMMON_H
#define CMPR_FUZZ_COMMON_H

#include <sanitizer/common_interface_defs.h>
#include <sys/types.h>

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
// library's prints land in the sink; libFuzzer and the sanitizers keep their
// own descriptors.
inline void silence_library_output() {
    cookie_io_functions_t discard{};
    discard.write = [](void *, const char *, size_t n) -> ssize_t {
        return static_cast<ssize_t>(n);
    };
    stdout = stderr = fopencookie(nullptr, "w", discard);
    if (stdout == nullptr) fail(__FILE__, __LINE__, "cannot open a discarding stream");
}

}  // namespace cmpr_fuzz

#define FUZZ_CHECK(cond) \
    ((cond) ? (void)0 : cmpr_fuzz::fail(__FILE__, __LINE__, "check failed: " #cond))

#endif
