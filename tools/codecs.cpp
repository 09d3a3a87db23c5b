#include "codecs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cmpr.h"
#include "errors.h"
#include "segments.h"

namespace cmpr_tool {

namespace {

// ---- zlib: the library's single-call wrappers in a small container --------
//
// decmprs_data() does not say how much it restored, so the file carries the
// original length.  It also carries the CRC-32 of the original: a stream whose
// claimed length is too large still decodes cleanly (the tail keeps the
// wrapper's pre-fill), and only the checksum tells.
//
//   offset  size
//    0      4     magic "CMPZ"
//    4      1     method: 0 stored, 1 zlib
//    5      4     original length, little-endian
//    9      4     CRC-32 of the original, little-endian
//   13            payload: the original bytes, or one zlib stream
//
// cmprs_data() fails on input that does not shrink; such input is stored.

constexpr uint8_t kMagic[4] = {'C', 'M', 'P', 'Z'};
constexpr size_t kHeader = 13;
enum : uint8_t { kStored = 0, kZlib = 1 };

// DEFLATE's best case is a 258-byte match coded in two bits of a dynamic
// block; a length beyond this many times the stream is a lie, and is refused
// before anything that large is reserved.
constexpr uint64_t kMaxZlibExpansion = 1032;

void put_le32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

Region zlib_compress(std::span<const uint8_t> in, const CompressOptions &,
                     const std::string &in_name) {
    Region out(kHeader + in.size(), "compressing " + in_name);
    const auto n = static_cast<uint32_t>(in.size());  // read_input() keeps it in range
    uint32_t payload = 0;
    uint8_t method = kZlib;
    if (cmprs_data(in.data(), n, &payload, out.data() + kHeader) != 0) {
        method = kStored;
        payload = n;
        if (n > 0) std::memcpy(out.data() + kHeader, in.data(), n);
        std::fprintf(stderr, "cmpr: %s: does not shrink under zlib; stored uncompressed\n",
                     in_name.c_str());
    }
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    out.data()[4] = method;
    put_le32(out.data() + 5, n);
    put_le32(out.data() + 9, crc32_of(in));
    out.set_size(kHeader + payload);
    return out;
}

Region zlib_decompress(std::span<const uint8_t> in, const std::string &in_name) {
    auto fail = [&](const std::string &why) { return Failure(in_name + ": " + why); };
    if (in.empty()) throw fail("empty input, not a cmpr zlib file");
    if (std::memcmp(in.data(), kMagic, std::min(in.size(), sizeof kMagic)) != 0)
        throw fail("not a cmpr zlib file (bad magic)");
    if (in.size() < kHeader)
        throw fail("truncated header (" + std::to_string(in.size()) + " of " +
                   std::to_string(kHeader) + " bytes)");

    const uint8_t method = in[4];
    const uint32_t len = get_le32(in.data() + 5);
    const uint32_t crc = get_le32(in.data() + 9);
    const auto payload = in.subspan(kHeader);
    const std::string claim = "header claims " + std::to_string(len) + " bytes";
    Region out;
    if (method == kStored) {
        if (payload.size() != len)
            throw fail("stored data is " + std::to_string(payload.size()) + " bytes but the " +
                       claim);
        out = Region(len, "restoring " + in_name);
        if (len > 0) std::memcpy(out.data(), payload.data(), len);
    } else if (method == kZlib) {
        if (len > kMaxZlibExpansion * payload.size())
            throw fail(claim + ", impossible for " + std::to_string(payload.size()) +
                       " bytes of zlib data");
        out = Region(len, "restoring " + in_name);
        if (decmprs_data(payload.data(), static_cast<uint32_t>(payload.size()), len, out.data()) !=
            0)
            throw fail("zlib data does not decode (corrupt or truncated)");
    } else {
        throw fail("unknown method " + std::to_string(method) + " in header");
    }
    out.set_size(len);
    if (crc32_of(out.bytes()) != crc) throw fail("checksum mismatch: the restored data is corrupt");
    return out;
}

// ---- own: the library's own codec, no container -------------------------
//
// The whole input is one segment, the bytes gzip_cmprs() writes.  With a
// record size, every record is its own segment, padded with zero bytes to a
// multiple of 4 as a host joins them, and the buffer ends with four more
// zero bytes: the decoder only starts a segment that begins more than four
// bytes before the end of the buffer, and a short last record must not be
// lost.  Segments carry no length: the decoder writes as much as they stand
// for, and the file's end is the end of the data.

Region own_compress(std::span<const uint8_t> in, const CompressOptions &opt,
                    const std::string &in_name) {
    const uint64_t n = in.size();
    if (opt.record_size == 0) {
        Region out(CMPR_GZIP_CMPRS_BOUND(n), "compressing " + in_name);
        out.set_size(
            static_cast<size_t>(gzip_cmprs(in.data(), static_cast<uint32_t>(n), out.data())));
        return out;
    }
    const uint64_t records = (n + opt.record_size - 1) / opt.record_size;
    // Each record's bound rounded up to a multiple of 4, and the end's 4 bytes.
    Region out(CMPR_GZIP_CMPRS_BOUND(n) + records * (1 + 3 + 1) + 4, "compressing " + in_name);
    uint64_t at = 0;  // the fresh mapping is all zero bytes: padding costs nothing
    for (uint64_t pos = 0; pos < n; pos += opt.record_size) {
        const uint64_t len = std::min<uint64_t>(opt.record_size, n - pos);
        at += static_cast<uint64_t>(
            gzip_cmprs(in.data() + pos, static_cast<uint32_t>(len), out.data() + at));
        at = (at + 3) / 4 * 4;
    }
    out.set_size(static_cast<size_t>(at + 4));
    return out;
}

Region own_decompress(std::span<const uint8_t> in, const std::string &in_name) {
    // Segments carry no checksum: the walk finds what damage shows without
    // one, and damaged data is not passed off as restored.  A clean buffer
    // decodes to exactly what the walk counted.
    const Walk w = walk_segments(in, 0);
    if (!w.clean())
        throw Failure(in_name + ": " + first_damage(w) +
                      "; see 'cmpr inspect', and 'cmpr salvage' to save the rest");
    Region out(w.clean_output, "restoring " + in_name, true);
    out.set_size(gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), out.data()));
    if (out.size() != w.clean_output)
        throw Failure(in_name + ": internal error: decoded to an unexpected length");
    return out;
}

// ---- The table ---------------------------------------------------------------

constexpr Codec kCodecs[] = {
    {"zlib", "zlib format via the library's wrappers, in a small container (default)", false,
     zlib_compress, zlib_decompress},
    {"own", "the library's own LZ77 codec: headerless segments", true, own_compress,
     own_decompress},
};

}  // namespace

std::span<const Codec> codecs() {
    return kCodecs;
}

const Codec &find_codec(const std::string &name) {
    for (const Codec &c : kCodecs) {
        if (name != c.name) continue;
        if (!c.available()) throw UsageError("codec '" + name + "' is not available in this build");
        return c;
    }
    std::string known;
    for (const Codec &c : kCodecs) known += (known.empty() ? "" : ", ") + std::string(c.name);
    throw UsageError("unknown codec '" + name + "' (known: " + known + ")");
}

uint32_t crc32_of(std::span<const uint8_t> data) {
    constexpr size_t kPiece = size_t{1} << 30;
    uint32_t reg = 0xFFFFFFFFu;
    for (size_t i = 0; i < data.size(); i += kPiece)
        reg = update_crc(reg, data.data() + i,
                         static_cast<int32_t>(std::min(kPiece, data.size() - i)));
    return ~reg;
}

}  // namespace cmpr_tool
