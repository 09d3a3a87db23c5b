// `cmpr inspect`: what each file is, where its segments lie and what is
// damaged, on one screen or as JSON.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "dump_commands.h"
#include "dump_input.h"
#include "dump_report.h"
#include "errors.h"
#include "file_commands.h"
#include "file_io.h"
#include "progress.h"
#include "segment_decode.h"
#include "zlib_probe.h"

namespace cmpr_tool {

namespace {

using Bytes = std::span<const uint8_t>;

// 'h': the header before the stream, or none; offsets count in the file.
void print_zlib(const std::string &name, const std::string &kind, Bytes data, const ZlibProbe &p,
                const Header *h, bool crc_ok, bool json) {
    const uint64_t base = h != nullptr ? h->size() : 0;
    const char *adler = p.complete ? "ok" : p.adler_mismatch ? "mismatch" : "unchecked";
    const char *crc = crc_ok ? "ok" : "mismatch";
    if (json) {
        nlohmann::ordered_json j = {{"file", name}, {"kind", kind}, {"size", data.size()}};
        if (h != nullptr) {
            j["method"] = method_name(h->method);
            j["claimed_length"] = h->length;
            j["crc32"] = crc;
        }
        j["header"] = p.header_ok;
        j["complete"] = p.complete;
        j["inflated"] = p.inflated;
        j["adler32"] = adler;
        j["failed_at"] =
            p.complete ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(base + p.in_used);
        j["error"] = p.complete ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(p.error);
        j["trailing"] = p.complete ? nlohmann::ordered_json{{"offset", base + p.in_used},
                                                            {"length", p.trailing}}
                                   : nlohmann::ordered_json(nullptr);
        std::printf(
            "%s\n",
            j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        return;
    }
    std::string title = name + ": " + kind + ", " + std::to_string(data.size()) + " bytes";
    if (h != nullptr)
        title += "; method " + std::string(method_name(h->method)) + ", " +
                 std::to_string(h->length) + " bytes claimed, CRC-32 " + crc;
    std::printf("%s\n", title.c_str());
    std::printf("  zlib header %s; inflates to %llu bytes; Adler-32 %s", p.header_ok ? "ok" : "bad",
                static_cast<unsigned long long>(p.inflated), adler);
    if (!p.complete)
        std::printf("; fails at input byte %s: %s", hex_offset(base + p.in_used).c_str(),
                    p.error.c_str());
    if (p.trailing > 0) std::printf("; %s", describe_trailing(p, base).c_str());
    std::printf("\n");
}

// A buffer of segments (or a file of the tool's with them): the walk, as it
// goes, into the report.
int inspect_segments(const std::string &name, Bytes data, const Header *h,
                     const InspectOptions &opt) {
    const SegmentInput in = segment_input(data, h, opt.record_size);
    ReportHead head;
    head.file = name;
    head.size = data.size();
    head.base = in.base;
    head.container = h != nullptr;
    if (h != nullptr) {
        head.method = method_name(h->method);
        head.claimed_length = h->length;
    }
    head.record_size_from = in.record_size_from;
    head.note = in.note;
    head.swapped = opt.swap;
    if (opt.swap == 0 && h == nullptr) head.looks_swapped = looks_swapped(in.bytes);
    std::unique_ptr<SegmentReport> report =
        opt.json ? json_report(head) : text_report(head, opt.all);
    WalkSink sink;
    sink.start = [&](const WalkSummary &s) { report->start(s); };
    sink.region = [&](const Stretch &r, Bytes) { report->region(r); };
    sink.gap = [&](const Gap &g) { report->gap(g); };
    const WalkSummary s = walk_dump(in.bytes, in.walk, sink);
    // The tool's own file: only a clean buffer is decoded, to check the CRC.
    std::string crc;
    uint64_t lone = kUnknown;
    if (h != nullptr) {
        crc = "unchecked";
        if (s.intact()) {
            const Region out = decode_segments(in.bytes, s.recoverable, name);
            const uint32_t got = crc32_of(out.bytes());
            crc = out.size() == h->length && got == h->crc ? "ok" : "mismatch";
            if (crc == "mismatch" && out.size() == h->length)
                lone = lone_wrong_byte(got, h->length, h->crc);
        }
    }
    report->finish(s, crc, lone);
    if (opt.verbose && !s.intact()) show_library_reports(in.bytes);
    return !s.intact() || (h != nullptr && crc != "ok") || head.looks_swapped != 0;
}

}  // namespace

int inspect_data(const std::string &name, Bytes data, const InspectOptions &opt) {
    switch (kind_of(data)) {
        case DumpKind::kSegments:
            return inspect_segments(name, data, nullptr, opt);
        case DumpKind::kZlib: {
            const ZlibProbe p = probe_zlib(data, {});
            print_zlib(name, "zlib", data, p, nullptr, true, opt.json);
            return !p.complete || p.trailing > 0;
        }
        case DumpKind::kContainer: {
            const Header h = read_header(data, name);
            if (h.own()) return inspect_segments(name, data, &h, opt);
            const Bytes payload = data.subspan(h.size());
            uint32_t crc = 0xFFFFFFFFu;
            auto crc_of = [&](Bytes piece) { crc = crc32_update(crc, piece); };
            ZlibProbe p;
            if (h.method == Method::kZlib) {
                p = probe_zlib(payload, crc_of);
            } else {
                crc_of(payload);
                p.complete = p.header_ok = true;
                p.inflated = payload.size();
            }
            const bool crc_ok = p.inflated == h.length && ~crc == h.crc;
            print_zlib(name, "cmpz", data, p, &h, crc_ok, opt.json);
            return !(p.complete && crc_ok) || p.trailing > 0;
        }
    }
    return 1;
}

int inspect_cmd(const std::vector<std::string> &files, const InspectOptions &opt) {
    return for_each_input(files, [&](const std::string &f) {
        Region r = read_input(f);
        if (opt.swap != 0) swap_words({r.data(), r.size()}, opt.swap);
        return inspect_data(display_name(f), r.bytes(), opt);
    });
}

void show_library_reports(std::span<const uint8_t> data) {
    WalkSink sink;
    std::vector<uint8_t> out;
    sink.region = [&](const Stretch &r, Bytes) {
        if (r.kind != Stretch::kDamaged) return;
        std::fflush(stdout);
        note("the library's report on the damaged segment at byte " + hex_offset(r.offset) +
             ", as the unit would log it (its offsets count from the segment's start, its dump "
             "shows this tool's memory addresses):");
        decode_alone(data.subspan(r.offset, r.length), out);
    };
    walk_dump(data, WalkOptions{0, false, false}, sink);
}

}  // namespace cmpr_tool
