#include "segment_decode.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "cmpr.h"
#include "cmpr_check.h"
#include "errors.h"
#include "shell_refuse.h"

namespace cmpr_tool {

Region decode_segments(std::span<const uint8_t> buf, uint64_t expect, const std::string &name) {
    if (expect > kMaxInput)
        throw Failure(name + ": the segments stand for " + std::to_string(expect) +
                      " bytes; the library counts at most " + std::to_string(kMaxInput));
    const int escalations = refused_escalations();
    Region out(expect, "the restored data", true);
    out.set_size(gzip_decmprs(buf.data(), static_cast<uint32_t>(buf.size()), out.data()));
    // The decoder reports a corrupt distance and decodes on; what it made of
    // the rest cannot be trusted.
    if (const int n = refused_escalations() - escalations; n > 0)
        throw Failure(name + ": " + std::to_string(n) +
                      " corrupt distance(s) found while decoding");
    if (out.size() != expect)
        throw Failure(name + ": internal error: decoded to an unexpected length");
    return out;
}

int decode_alone(std::span<const uint8_t> seg, std::vector<uint8_t> &out, uint64_t expect) {
    // The decoder starts a segment only with more than four bytes after it:
    // damaged bytes are decoded from a copy with four zero bytes after them.
    // A clean segment, given up to its 4-byte boundary, needs none: the
    // decoder stops there, whatever follows.
    std::vector<uint8_t> copy;
    std::span<const uint8_t> in = seg;
    if (expect == kUnknown) {
        copy.assign(seg.begin(), seg.end());
        copy.resize(seg.size() + 4, 0);
        in = copy;
        cmpr_check_result r;
        cmpr_check(in.data(), static_cast<uint32_t>(in.size()), 0, &r);
        expect = r.out_len;
    }
    out.resize(static_cast<size_t>(expect));
    const int escalations = refused_escalations();
    const uint32_t got = gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), out.data());
    if (got != expect) throw Failure("internal error: a segment decoded to an unexpected length");
    return refused_escalations() - escalations;
}

bool as_written(std::span<const uint8_t> seg, std::span<const uint8_t> out) {
    std::vector<uint8_t> again;
    again.resize(static_cast<size_t>(CMPR_GZIP_CMPRS_BOUND(out.size())));
    const auto len = static_cast<size_t>(
        gzip_cmprs(out.data(), static_cast<uint32_t>(out.size()), again.data()));
    return len <= seg.size() && std::equal(again.begin(), again.begin() + len, seg.begin()) &&
           std::all_of(seg.begin() + len, seg.end(), [](uint8_t b) { return b == 0; });
}

uint32_t crc32_update(uint32_t reg, std::span<const uint8_t> data) {
    constexpr size_t kPiece = size_t{1} << 30;
    for (size_t i = 0; i < data.size(); i += kPiece)
        reg = update_crc(reg, data.data() + i,
                         static_cast<int32_t>(std::min(kPiece, data.size() - i)));
    return reg;
}

uint32_t crc32_of(std::span<const uint8_t> data) {
    return ~crc32_update(0xFFFFFFFFu, data);
}

// Two inputs of one length differ in their CRC-32 by the register that their
// difference leaves in a zero register.  A byte 'v' at offset p of n leaves
// crc_table[v] fed with n - 1 - p zero bytes; stepping back over zero bytes
// from the difference, each step undone through the table's top bytes
// (all different), meets crc_table[v] where the byte lies.
uint64_t lone_wrong_byte(uint32_t got, uint64_t length, uint32_t want) {
    uint32_t reg = got ^ want;
    if (reg == 0 || length == 0) return kUnknown;
    make_crc_table();
    uint8_t by_top[256];
    std::unordered_map<uint32_t, uint8_t> single;
    for (uint32_t b = 0; b < 256; ++b) {
        by_top[crc_table[b] >> 24] = static_cast<uint8_t>(b);
        if (b != 0) single.emplace(crc_table[b], static_cast<uint8_t>(b));
    }
    uint64_t found = kUnknown, candidates = 0;
    for (uint64_t back = 0; back < length && candidates < 2; ++back) {
        if (single.count(reg) != 0) found = length - 1 - back, ++candidates;
        const uint8_t b = by_top[reg >> 24];
        reg = ((reg ^ crc_table[b]) << 8) | b;
    }
    return candidates == 1 ? found : kUnknown;
}

}  // namespace cmpr_tool
