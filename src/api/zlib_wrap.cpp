// cmprs_data / decmprs_data: one zlib stream per call on the caller's buffers.
#include <zlib.h>

#include <cstring>

#include "common/report.h"
#include "hexdump.h"

namespace {

// The wrapper-side dump: header line 59, rows of line 64, from 'start'.
void dbg_hex_dump(std::uintptr_t start, int32_t len, const char *label) {
    CMPR_REPORT("dbg_hex_dump", 59, cmpr::kLevelError, "%s error: buffer dump:", label);
    cmpr::dump_rows_at(start, cmpr::dump_rows(len), 64);
}

std::uintptr_t addr_of(const uint8_t *p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// The version string of the zlib headers in use: zlib only checks that the
// caller was built against a compatible major version.
const char *const kZlibVersion = ZLIB_VERSION;

}  // namespace

extern "C" {

int cmprs_data(const uint8_t *src, uint32_t src_len, uint32_t *out_len, uint8_t *dst) {
    z_stream s;
    std::memset(&s, 0, sizeof s);  // zalloc, zfree, opaque: zlib's own allocator
    s.next_in = const_cast<Bytef *>(src);
    s.avail_in = src_len;
    s.next_out = dst;
    s.avail_out = src_len;  // never more room than the input: it must shrink

    int rc = deflateInit_(&s, 1, kZlibVersion, static_cast<int>(sizeof(z_stream)));
    if (rc != Z_OK) {
        CMPR_REPORT("cmprs_data", 112, cmpr::kLevelError, "%s error: %d expected: %d",
                    "deflateInit", rc, 0);
        dbg_hex_dump(addr_of(src), 100, "deflateInit");
        return 1;
    }
    rc = deflate(&s, Z_FINISH);
    *out_len = static_cast<uint32_t>(s.total_out);
    deflateEnd(&s);
    return rc == Z_STREAM_END ? 0 : 1;
}

int decmprs_data(const uint8_t *src, uint32_t src_len, uint32_t dst_size, uint8_t *dst) {
    // Pre-fill, so that a caller who ignores the result sees garbage rather
    // than stale data.  With no room at all there is nothing to fill.
    if (dst_size > 0) {
        std::strncpy(reinterpret_cast<char *>(dst), "garbage", dst_size);
        dst[dst_size - 1] = 0;
    }

    z_stream s;
    std::memset(&s, 0, sizeof s);
    s.next_in = const_cast<Bytef *>(src);
    s.avail_in = src_len;
    s.next_out = dst;
    s.avail_out = dst_size;

    int rc = inflateInit_(&s, kZlibVersion, static_cast<int>(sizeof(z_stream)));
    if (rc != Z_OK) {
        CMPR_REPORT("decmprs_data", 184, cmpr::kLevelError, "%s error: %d expected: %d",
                    "inflateInit", rc, 0);
        dbg_hex_dump(addr_of(src) - 32, 100, "inflateInit");
        return 1;
    }
    rc = inflate(&s, Z_FINISH);
    inflateEnd(&s);
    if (rc == Z_STREAM_END) return 0;

    CMPR_REPORT("decmprs_data", 201, cmpr::kLevelError, "%s error: %d expected: %d", "inflate", rc,
                1);
    dbg_hex_dump(addr_of(src) - 32, 100, "inflate");
    return 1;
}

}  // extern "C"
