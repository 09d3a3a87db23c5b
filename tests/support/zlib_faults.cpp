#include "zlib_faults.h"

#include <zlib.h>

namespace {
int g_forced = 0;  // 0: pass through to zlib
}

extern "C" int __real_deflateInit_(z_streamp, int, const char *, int);
extern "C" int __real_inflateInit_(z_streamp, const char *, int);

extern "C" int __wrap_deflateInit_(z_streamp strm, int level, const char *version, int size) {
    return g_forced != 0 ? g_forced : __real_deflateInit_(strm, level, version, size);
}

extern "C" int __wrap_inflateInit_(z_streamp strm, const char *version, int size) {
    return g_forced != 0 ? g_forced : __real_inflateInit_(strm, version, size);
}

namespace cmpr_test {
ZlibInitFailure::ZlibInitFailure(int result) {
    g_forced = result;
}
ZlibInitFailure::~ZlibInitFailure() {
    g_forced = 0;
}
}  // namespace cmpr_test
