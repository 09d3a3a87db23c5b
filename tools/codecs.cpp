#include "codecs.h"

#include <algorithm>
#include <cstring>

#include "cmpr.h"
#include "cmpr_check.h"
#include "container.h"
#include "dump_commands.h"
#include "dump_report.h"
#include "dump_walk.h"
#include "errors.h"
#include "progress.h"
#include "segment_decode.h"
#include "zlib_probe.h"

namespace cmpr_tool {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr Codec kCodecs[] = {
    {"zlib", "zlib format through the library's wrappers (the default)"},
    {"own", "the library's own LZ77 codec: faster, larger output"},
};

// DEFLATE's best case is a 258-byte match coded in two bits of a dynamic
// block; a length beyond this many times the stream is a lie, and is refused
// before anything that large is reserved.
constexpr uint64_t kMaxZlibExpansion = 1032;

// Room for write_segments().
uint64_t segments_bound(uint64_t n, uint64_t record_size) {
    if (record_size == 0) return CMPR_GZIP_CMPRS_BOUND(n);
    const uint64_t records = (n + record_size - 1) / record_size;
    // Each record's bound rounded up to a multiple of 4, and the end's 4 bytes.
    return CMPR_GZIP_CMPRS_BOUND(n) + records * (1 + 3 + 1) + 4;
}

// The whole input as one segment, the bytes gzip_cmprs() writes; or with a
// record size, every record its own segment, padded with zero bytes to a
// multiple of 4 as a host joins them, and four more zero bytes at the end:
// the decoder only starts a segment that begins more than four bytes before
// the end of the buffer, and a short last record must not be lost.  'out'
// is fresh from the system, all zero bytes, so padding costs nothing.
// Returns the length.
uint64_t write_segments(Bytes in, uint64_t record_size, uint8_t *out, Progress &progress) {
    const uint64_t n = in.size();
    if (record_size == 0) {
        progress.phase("compressing");
        return static_cast<uint64_t>(gzip_cmprs(in.data(), static_cast<uint32_t>(n), out));
    }
    progress.phase("compressing", n);
    uint64_t at = 0;
    for (uint64_t pos = 0; pos < n; pos += record_size) {
        const uint64_t len = std::min(record_size, n - pos);
        at += static_cast<uint64_t>(
            gzip_cmprs(in.data() + pos, static_cast<uint32_t>(len), out + at));
        at = (at + 3) / 4 * 4;
        progress.add(len);
    }
    return at + 4;
}

// The segments of 'buf', which starts 'base' bytes into its file, decoded
// once their walk shows no damage and stands for 'expect' bytes (-1: any).
// Segments carry no checksum: the walk finds what damage shows without one,
// and damaged data is not passed off as restored.
Region checked_segments(Bytes buf, uint64_t base, uint64_t record_size, int64_t expect,
                        const DecompressOptions &opt, const std::string &name, Progress &progress) {
    progress.phase("checking segments");
    // What the segments stand for, before anything costs more than a read.
    cmpr_check_result all;
    cmpr_check(buf.data(), static_cast<uint32_t>(buf.size()), 0, &all);
    if (all.out_len > kMaxInput)
        throw Failure(name + ": the segments stand for " + std::to_string(all.out_len) +
                      " bytes; the library counts at most " + std::to_string(kMaxInput));
    // Bare segments have no checksum to fall back on: each is held to what
    // the writer would have written.
    WalkOptions walk;
    walk.record_size = record_size;
    walk.infer = false;
    walk.check_writer = opt.raw;
    walk.output_limit = kMaxInput;  // beyond, the data is refused anyway
    std::string first;
    const WalkSummary w = walk_for_damage(buf, walk, base, first);
    if (!w.intact()) {
        // The library decodes the damaged parts for its reports alone.
        if (opt.verbose) show_library_reports(buf);
        throw Failure(name + ": " + first +
                      "; see 'cmpr inspect', and 'cmpr salvage' to save the rest");
    }
    if (expect >= 0 && w.recoverable != static_cast<uint64_t>(expect))
        throw Failure(name + ": the segments hold " + std::to_string(w.recoverable) +
                      " bytes but the header claims " + std::to_string(expect));
    progress.phase("decompressing");
    return decode_segments(buf, w.recoverable, name);
}

}  // namespace

std::span<const Codec> codecs() {
    return kCodecs;
}

const Codec &find_codec(const std::string &name) {
    for (const Codec &c : kCodecs)
        if (name == c.name) return c;
    std::string known;
    for (const Codec &c : kCodecs) known += (known.empty() ? "" : ", ") + std::string(c.name);
    throw UsageError("unknown codec '" + name + "' (known: " + known + ")");
}

Region compress(Bytes in, const CompressOptions &opt, const std::string &name, Progress &progress) {
    const auto n = static_cast<uint32_t>(in.size());  // read_input() keeps it in range
    Header h;
    h.method = !opt.own ? Method::kZlib : opt.record_size ? Method::kOwnRecords : Method::kOwn;
    h.length = n;
    h.record_size = static_cast<uint32_t>(opt.record_size);
    const size_t head = opt.raw ? 0 : h.size();
    const uint64_t room = opt.own ? segments_bound(n, opt.record_size) : n;
    Region out(head + room, "the compressed data");
    uint64_t payload = 0;
    bool shrinks = true;
    if (opt.own) {
        payload = write_segments(in, opt.record_size, out.data() + head, progress);
        if (opt.raw) {
            out.set_size(static_cast<size_t>(payload));
            return out;
        }
        shrinks = payload < n;
    } else {
        // cmprs_data() gets exactly n bytes of room and fails on input that
        // does not shrink.
        progress.phase("compressing");
        uint32_t len = 0;
        shrinks = cmprs_data(in.data(), n, &len, out.data() + head) == 0;
        payload = len;
    }
    if (!shrinks) {
        h = Header{Method::kStored, n};
        payload = n;
        if (n > 0) std::memcpy(out.data() + h.size(), in.data(), n);
        if (!opt.quiet) note(name + ": does not shrink; stored uncompressed");
    }
    h.crc = crc32_of(in);
    write_header(h, out.data());
    out.set_size(static_cast<size_t>(h.size() + payload));
    return out;
}

Region decompress(Bytes file, const DecompressOptions &opt, const std::string &name,
                  Progress &progress) {
    if (opt.raw) {
        static bool said = false;
        if (!opt.quiet && !said) note(no_checksum_note(true));
        said = true;
        return checked_segments(file, 0, 0, -1, opt, name, progress);
    }
    auto fail = [&](const std::string &why) { return Failure(name + ": " + why); };
    if (file.empty()) throw fail("empty, not a cmpr file");
    if (!has_magic(file))
        throw fail("not a cmpr file (no CMPZ magic); bare own-codec segments need --raw");
    const Header h = read_header(file, name);
    const Bytes payload = file.subspan(h.size());
    const std::string claim = "the header claims " + std::to_string(h.length) + " bytes";
    Region out;
    switch (h.method) {
        case Method::kStored:
            if (payload.size() != h.length)
                throw fail("stored data is " + std::to_string(payload.size()) + " bytes but " +
                           claim);
            out = Region(h.length, "the restored data");
            if (h.length > 0) std::memcpy(out.data(), payload.data(), h.length);
            break;
        case Method::kZlib:
            if (h.length > kMaxZlibExpansion * payload.size())
                throw fail(claim + ", impossible for " + std::to_string(payload.size()) +
                           " bytes of zlib data");
            progress.phase("decompressing");
            out = Region(h.length, "the restored data");
            if (decmprs_data(payload.data(), static_cast<uint32_t>(payload.size()), h.length,
                             out.data()) != 0)
                throw fail("zlib data does not decode (corrupt or truncated)");
            // The wrapper stops at the stream's end and says nothing of what
            // follows it, nor of a stream shorter than the room it was given.
            if (const ZlibProbe p = probe_zlib(payload, {}); p.trailing > 0)
                throw fail(describe_trailing(p, h.size()));
            else if (p.inflated != h.length)
                throw fail("the zlib stream holds " + std::to_string(p.inflated) + " bytes but " +
                           claim);
            break;
        case Method::kOwn:
        case Method::kOwnRecords:
            out = checked_segments(payload, h.size(), h.record_size, h.length, opt, name, progress);
            break;
    }
    out.set_size(h.length);
    if (crc32_of(out.bytes()) != h.crc) throw fail("CRC-32 mismatch: the restored data is damaged");
    return out;
}

}  // namespace cmpr_tool
