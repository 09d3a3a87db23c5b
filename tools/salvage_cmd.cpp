// `cmpr salvage`: everything that can be saved of a damaged file, each
// clean segment decoded on its own, and one line on stderr for each stretch
// left out, kept damaged or filled.
#include <algorithm>
#include <vector>

#include "dump_commands.h"
#include "dump_input.h"
#include "dump_report.h"
#include "errors.h"
#include "file_io.h"
#include "progress.h"
#include "segment_decode.h"
#include "zlib_probe.h"

namespace cmpr_tool {

namespace {

using Bytes = std::span<const uint8_t>;

class Salvage {
   public:
    Salvage(const std::string &name, const ByteSink &out, const SalvageOptions &opt)
        : name_(name), out_(out), opt_(opt) {}

    void write(Bytes piece) {
        out_(piece);
        written_ += piece.size();
        crc_ = crc32_update(crc_, piece);
    }
    void left_out(const std::string &what) {
        note(name_ + ": " + what);
        status_ = 1;
    }
    // The segments of 'in', region by region as the walk finds them.
    void segments(const SegmentInput &in) {
        const Bytes data = in.bytes;
        std::vector<uint8_t> out, joined;
        uint64_t record_size = 0;
        WalkSink sink;
        sink.start = [&](const WalkSummary &s) {
            record_size = s.record_size;
            if (s.inferred && opt_.fill >= 0)
                note(name_ + ": record size " + std::to_string(s.record_size) + ", from " +
                     std::to_string(s.votes) + " of " + std::to_string(s.voters) +
                     " clean segments");
            if (opt_.fill >= 0 && record_size == 0)
                throw Failure(
                    name_ + ": --fill needs a record size, and none is known: give --record-size");
        };
        sink.region = [&](const Stretch &r, Bytes decoded) {
            if (r.clean() && !decoded.empty()) {  // decoded by the walk already
                write(decoded);
                return;
            }
            const Bytes bytes = own_bytes(data, r, joined);
            if (r.clean()) {
                const MuteLibraryReports mute;
                decode_alone(bytes, out, r.out_length);
                write(out);
                return;
            }
            std::string what = stretch_words(r.kind) + std::string(" at byte ") +
                               hex_offset(in.base + r.offset) + " (" + std::to_string(r.length) +
                               " bytes)";
            if (r.kind == Stretch::kDamaged || r.kind == Stretch::kJunk)
                what += ": " + describe(r.damage);
            if (opt_.keep_damaged && r.kind == Stretch::kDamaged) {
                if (opt_.verbose)
                    note(name_ + ": the library's report on it, as the unit would log it:");
                decode_alone(bytes, out);
                write(out);
                what += "; written as decoded, " + std::to_string(out.size()) + " bytes";
            } else if (r.kind == Stretch::kRepeated) {
                what += "; left out: its copy is written";
            } else {
                what += "; left out";
            }
            left_out(what);
        };
        sink.gap = [&](const Gap &g) {
            if (opt_.fill < 0 || g.records == 0) return;
            const std::vector<uint8_t> fill(static_cast<size_t>(record_size),
                                            static_cast<uint8_t>(opt_.fill));
            for (uint64_t i = 0; i < g.records; ++i) write(fill);
            std::string what = gap_records(g) + " written as " +
                               std::to_string(g.records * record_size) + " fill bytes";
            if (g.estimated)
                what +=
                    "; their number is estimated from the damaged stretch's length: "
                    "positions from output byte " +
                    hex_offset(written_) + " on are estimated";
            left_out(what);
        };
        const WalkSummary s = walk_dump(data, in.walk, sink);
        if (in.base == 0) note(name_ + ": " + no_checksum_note(s.writer_checked));
        if (!s.intact()) status_ = 1;
    }

    int status() const { return status_; }
    uint64_t written() const { return written_; }
    uint32_t crc() const { return ~crc_; }

   private:
    std::string name_;
    const ByteSink &out_;
    const SalvageOptions &opt_;
    int status_ = 0;
    uint64_t written_ = 0;
    uint32_t crc_ = 0xFFFFFFFFu;
};

}  // namespace

int salvage_data(const std::string &name, std::span<const uint8_t> data, const SalvageOptions &opt,
                 const ByteSink &out) {
    Salvage s(name, out, opt);
    switch (kind_of(data)) {
        case DumpKind::kSegments:
            s.segments(segment_input(data, nullptr, opt.record_size));
            break;
        case DumpKind::kZlib: {
            const ZlibProbe p = probe_zlib(data, [&](Bytes piece) { s.write(piece); });
            if (!p.complete)
                s.left_out("zlib stream fails at input byte " + hex_offset(p.in_used) + " (" +
                           p.error + "); the " + std::to_string(p.inflated) +
                           " bytes before it are written");
            else if (p.trailing > 0)
                s.left_out(describe_trailing(p, 0) + ": left out");
            break;
        }
        case DumpKind::kContainer: {
            const Header h = read_header(data, name);
            const Bytes payload = data.subspan(h.size());
            if (h.own()) {
                const SegmentInput si = segment_input(data, &h, opt.record_size);
                if (!si.note.empty()) note(name + ": " + si.note);
                s.segments(si);
            } else if (h.method == Method::kStored) {
                s.write(payload);
                if (payload.size() != h.length)
                    s.left_out("stored data is not the length the header claims");
            } else {
                const ZlibProbe p = probe_zlib(payload, [&](Bytes piece) { s.write(piece); });
                if (!p.complete || p.inflated != h.length)
                    s.left_out("zlib stream fails at byte " + hex_offset(h.size() + p.in_used) +
                               " (" + (p.complete ? "not the length the header claims" : p.error) +
                               "); the " + std::to_string(p.inflated) +
                               " bytes before it are written");
                else if (p.trailing > 0)
                    s.left_out(describe_trailing(p, h.size()) + ": left out");
            }
            // Damage that leaves no sign in the data shows in the checksum.
            if (s.status() == 0 && (s.written() != h.length || s.crc() != h.crc)) {
                std::string what = "what was saved does not match the header's length and CRC-32";
                if (s.written() == h.length && h.own()) {
                    // A buffer that showed no damage was written whole: its
                    // CRC-32 tells where one wrong byte would lie.
                    if (const uint64_t at = lone_wrong_byte(s.crc(), h.length, h.crc);
                        at != kUnknown)
                        what += "; " + lone_byte_text(
                                           at, h.method == Method::kOwnRecords ? h.record_size : 0);
                }
                s.left_out(what);
            }
            break;
        }
    }
    return s.status();
}

int salvage_cmd(const std::string &in, const std::string &out, const SalvageOptions &opt) {
    Region r = read_input(in);
    if (opt.swap != 0) swap_words({r.data(), r.size()}, opt.swap);
    OutputFile o(out, opt.force);
    const int status =
        salvage_data(display_name(in), r.bytes(), opt, [&](Bytes piece) { o.write(piece); });
    o.commit();
    return status;
}

}  // namespace cmpr_tool
