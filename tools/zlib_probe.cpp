#include "zlib_probe.h"

#include <zlib.h>

#include <algorithm>

#include "dump_walk.h"

namespace cmpr_tool {

bool looks_like_zlib(std::span<const uint8_t> in) {
    return in.size() >= 2 && (in[0] & 0x0F) == 8 && (in[0] >> 4) <= 7 &&
           (in[0] << 8 | in[1]) % 31 == 0;
}

ZlibProbe probe_zlib(std::span<const uint8_t> in,
                     const std::function<void(std::span<const uint8_t>)> &sink) {
    ZlibProbe p;
    p.header_ok = looks_like_zlib(in);
    z_stream s{};
    if (inflateInit(&s) != Z_OK) {
        p.error = "zlib cannot start";
        return p;
    }
    static uint8_t out[1 << 16];
    int rc = Z_OK;
    uint64_t fed = 0;
    while (rc == Z_OK) {
        if (s.avail_in == 0 && fed < in.size()) {
            const uint64_t piece = std::min<uint64_t>(in.size() - fed, 1u << 30);
            s.next_in = const_cast<Bytef *>(in.data() + fed);
            s.avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        s.next_out = out;
        s.avail_out = sizeof out;
        rc = inflate(&s, Z_NO_FLUSH);
        const size_t got = sizeof out - s.avail_out;
        p.inflated += got;
        if (got > 0 && sink) sink({out, got});
        if (rc == Z_BUF_ERROR && s.avail_in == 0 && fed == in.size())
            p.error = "the data ends before the stream does";
        else if (rc == Z_BUF_ERROR)
            rc = Z_OK;  // room again next round
    }
    p.in_used = fed - s.avail_in;
    p.complete = rc == Z_STREAM_END;
    if (p.complete) p.trailing = in.size() - p.in_used;
    if (rc == Z_DATA_ERROR) {
        p.error = s.msg != nullptr ? s.msg : "corrupt data";
        p.adler_mismatch = p.error == "incorrect data check";
    } else if (rc != Z_STREAM_END && p.error.empty()) {
        p.error = "zlib error " + std::to_string(rc);
    }
    inflateEnd(&s);
    return p;
}

std::string describe_trailing(const ZlibProbe &p, uint64_t base) {
    return std::to_string(p.trailing) + " bytes after the end of the zlib stream, from byte " +
           hex_offset(base + p.in_used);
}

}  // namespace cmpr_tool
