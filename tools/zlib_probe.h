// How far a zlib stream inflates, with zlib itself: for inspecting and
// salvaging streams that cmprs_data wrote and something damaged since.
#ifndef CMPR_TOOLS_ZLIB_PROBE_H
#define CMPR_TOOLS_ZLIB_PROBE_H

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace cmpr_tool {

struct ZlibProbe {
    bool header_ok = false;  // a zlib header (deflate, window, check bits)
    bool complete = false;   // inflated to the end, Adler-32 matching
    bool adler_mismatch = false;
    uint64_t inflated = 0;  // bytes inflated before the end or the failure
    uint64_t in_used = 0;   // input bytes up to the end or the failure
    uint64_t trailing = 0;  // input bytes after the end, when complete
    std::string error;      // why it stopped short, when it did
};

// A zlib header at the start of 'in'.
bool looks_like_zlib(std::span<const uint8_t> in);

// Inflates 'in', handing what comes out to 'sink' piece by piece (may be
// empty).
ZlibProbe probe_zlib(std::span<const uint8_t> in,
                     const std::function<void(std::span<const uint8_t>)> &sink);

// "8 bytes after the end of the zlib stream, from byte 0x00000637", for a
// complete probe of input that starts 'base' bytes into its file.
std::string describe_trailing(const ZlibProbe &p, uint64_t base);

}  // namespace cmpr_tool

#endif
