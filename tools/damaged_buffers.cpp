#include "damaged_buffers.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cmpr.h"
#include "codecs.h"
#include "container.h"
#include "errors.h"
#include "file_commands.h"
#include "file_io.h"
#include "progress.h"
#include "segments.h"
#include "zlib_probe.h"

namespace cmpr_tool {

namespace {

using Bytes = std::span<const uint8_t>;

std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// One JSON object, fields in the order they are added.
class Json {
   public:
    Json &num(const char *key, uint64_t v) { return raw(key, std::to_string(v)); }
    Json &str(const char *key, const std::string &v) { return raw(key, json_string(v)); }
    Json &raw(const char *key, const std::string &v) {
        s_.append(s_.size() > 1 ? ",\"" : "\"").append(key).append("\":").append(v);
        return *this;
    }
    Json &fields(const std::string &f) {  // "key":value pairs made elsewhere
        s_.append(s_.size() > 1 && !f.empty() ? "," : "").append(f);
        return *this;
    }
    std::string done() const { return s_ + "}"; }

   private:
    std::string s_ = "{";
};

std::string json_list(const std::vector<std::string> &items) {
    std::string s = "[";
    for (const std::string &i : items) s.append(s.size() > 1 ? "," : "").append(i);
    return s + "]";
}

const char *tail_name(Walk::Tail t) {
    static const char *const kNames[] = {"none", "zeros", "erased", "other"};
    return kNames[t];
}

const char *sign_name(Sign::Kind k) {
    static const char *const kNames[] = {"clean",  "far-distance", "before-start",
                                         "no-end", "padding",      "record-size"};
    return kNames[k];
}

// One character per slice of the buffer, the worst thing in it winning:
// X damaged, ? other data, F erased flash, # clean, . zeros.
class Map {
   public:
    explicit Map(uint64_t size) : slice_(std::max<uint64_t>(1, (size + kCells - 1) / kCells)) {
        cells_.assign((size + slice_ - 1) / slice_, ' ');
    }
    void paint(uint64_t from, uint64_t to, char c) {
        static const std::string kRank = " .#F?X";
        for (uint64_t i = from / slice_; from < to && i <= (to - 1) / slice_; ++i)
            if (kRank.find(c) > kRank.find(cells_[i])) cells_[i] = c;
    }
    uint64_t slice() const { return slice_; }
    std::vector<std::string> rows() const {
        std::vector<std::string> r;
        for (size_t i = 0; i < cells_.size(); i += kWidth) r.push_back(cells_.substr(i, kWidth));
        return r;
    }

   private:
    static constexpr uint64_t kWidth = 64, kCells = kWidth * 16;  // one screen
    uint64_t slice_;
    std::string cells_;
};

Map map_of(const Walk &w, uint64_t size) {
    Map m(size);
    m.paint(0, w.base, '#');  // a header that reads
    m.paint(w.base, w.base + w.leading_zeros, '.');
    for (const Segment &s : w.segments) {
        m.paint(s.in_offset, s.in_offset + s.in_length, s.clean() ? '#' : 'X');
        m.paint(s.in_offset + s.in_length, s.in_offset + s.in_length + s.padding, '.');
    }
    if (w.tail != Walk::kNoTail) m.paint(w.tail_offset, size, " .F?"[w.tail]);
    return m;
}

struct Counts {
    size_t clean = 0, damaged = 0;
};

Counts count(const Walk &w) {
    Counts c;
    for (const Segment &s : w.segments) (s.clean() ? c.clean : c.damaged) += 1;
    return c;
}

// 'kind' and 'extra_text' go in the title line, 'extra_json' (fields) after
// "size".
void print_segments(const std::string &name, const std::string &kind, Bytes data, const Walk &w,
                    const InspectOptions &opt, const std::string &extra_json = "",
                    const std::string &extra_text = "") {
    const Counts c = count(w);
    const Map map = map_of(w, data.size());
    const uint64_t tail = data.size() - w.tail_offset;
    if (opt.json) {
        std::vector<std::string> segs, rows;
        for (size_t i = 0; i < w.segments.size(); ++i) {
            const Segment &s = w.segments[i];
            Json j;
            j.num("index", i).num("in_offset", s.in_offset).num("in_length", s.in_length);
            j.num("padding", s.padding)
                .num("out_offset", s.out_offset)
                .num("out_length", s.out_length);
            j.str("state", sign_name(s.sign.kind));
            if (!s.clean())
                j.num("bit", s.sign.bit).num("value", s.sign.value).str("text", describe(s.sign));
            segs.push_back(j.done());
        }
        for (const std::string &r : map.rows()) rows.push_back(json_string(r));
        Json tail_json, summary, map_json, top;
        tail_json.num("offset", w.tail_offset).num("length", tail).str("kind", tail_name(w.tail));
        summary.num("segments", w.segments.size()).num("clean", c.clean).num("damaged", c.damaged);
        summary.num("recoverable", w.clean_output).raw("tail", tail_json.done());
        map_json.num("slice", map.slice()).raw("rows", json_list(rows));
        top.str("file", name).str("kind", kind).num("size", data.size());
        top.fields(extra_json);
        top.raw("record_size", opt.record_size ? std::to_string(opt.record_size) : "null");
        top.num("leading_zeros", w.leading_zeros).raw("segments", json_list(segs));
        top.raw("summary", summary.done()).raw("map", map_json.done());
        std::printf("%s\n", top.done().c_str());
        return;
    }
    std::printf("%s: %s, %zu bytes%s\n", name.c_str(), kind.c_str(), data.size(),
                extra_text.c_str());
    std::printf("%8s %10s %9s %7s %11s %9s  %s\n", "segment", "in-offset", "in-bytes", "padding",
                "out-offset", "out-bytes", "state");
    for (size_t i = 0; i < w.segments.size(); ++i) {
        const Segment &s = w.segments[i];
        std::printf("%8zu %10s %9llu %7llu %11llu %9llu  %s\n", i, hex_offset(s.in_offset).c_str(),
                    static_cast<unsigned long long>(s.in_length),
                    static_cast<unsigned long long>(s.padding),
                    static_cast<unsigned long long>(s.out_offset),
                    static_cast<unsigned long long>(s.out_length),
                    s.clean() ? "clean" : ("damaged: " + describe(s.sign)).c_str());
    }
    std::printf("%s: %zu segments, %zu clean, %zu damaged; %llu bytes recoverable", name.c_str(),
                w.segments.size(), c.clean, c.damaged,
                static_cast<unsigned long long>(w.clean_output));
    if (tail > 0)
        std::printf("; %llu trailing bytes at %s: %s", static_cast<unsigned long long>(tail),
                    hex_offset(w.tail_offset).c_str(), tail_name(w.tail));
    std::printf(
        "\nmap, one character per %llu bytes (# clean, X damaged, . zeros, F erased, ? other):\n",
        static_cast<unsigned long long>(map.slice()));
    for (const std::string &r : map.rows()) std::printf("  |%s|\n", r.c_str());
}

// 'base': where the stream starts in the file.
void print_zlib(const std::string &name, const std::string &kind, Bytes data, const ZlibProbe &p,
                uint64_t base, const std::string &extra_json, const std::string &extra_text,
                bool json) {
    const char *adler = p.complete ? "ok" : p.adler_mismatch ? "mismatch" : "unchecked";
    if (json) {
        Json trailing;
        trailing.num("offset", base + p.in_used).num("length", p.trailing);
        std::printf(
            "{\"file\":%s,\"kind\":\"%s\",\"size\":%zu,%s\"header\":%s,\"complete\":%s,"
            "\"inflated\":%llu,\"adler32\":\"%s\",\"failed_at\":%s,\"error\":%s,"
            "\"trailing\":%s}\n",
            json_string(name).c_str(), kind.c_str(), data.size(), extra_json.c_str(),
            p.header_ok ? "true" : "false", p.complete ? "true" : "false",
            static_cast<unsigned long long>(p.inflated), adler,
            p.complete ? "null" : std::to_string(p.in_used).c_str(),
            p.complete ? "null" : json_string(p.error).c_str(),
            p.complete ? trailing.done().c_str() : "null");
        return;
    }
    std::printf("%s: %s, %zu bytes%s\n", name.c_str(), kind.c_str(), data.size(),
                extra_text.c_str());
    std::printf("  zlib header %s; inflates to %llu bytes; Adler-32 %s", p.header_ok ? "ok" : "bad",
                static_cast<unsigned long long>(p.inflated), adler);
    if (!p.complete)
        std::printf("; fails at input byte %s: %s", hex_offset(p.in_used).c_str(), p.error.c_str());
    if (p.trailing > 0) std::printf("; %s", describe_trailing(p, base).c_str());
    std::printf("\n");
}

enum class Kind { kContainer, kZlib, kSegments };

Kind kind_of(Bytes data) {
    if (has_magic(data)) return Kind::kContainer;
    // A zlib header that zlib gets past: two header bytes can occur at the
    // start of a segment by chance.
    if (looks_like_zlib(data) &&
        probe_zlib(data.first(std::min<size_t>(data.size(), 64)), {}).in_used > 2)
        return Kind::kZlib;
    return Kind::kSegments;
}

// Sends the library's own reports on standard error to /dev/null while alive.
class QuietStderr {
   public:
    explicit QuietStderr(bool quiet) : saved_(-1) {
        if (!quiet) return;
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) dup2(null, STDERR_FILENO), close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }

   private:
    int saved_;
};

// One segment decoded on its own, as the decoder makes it: into the room it
// is known to need ('expect'), or into the room any input of its length could.
Region decode_alone(Bytes seg, uint64_t expect, bool known, bool verbose) {
    static std::vector<uint8_t> scratch;
    scratch.assign(seg.begin(), seg.end());
    scratch.resize(seg.size() + 4,
                   0);  // the decoder starts a segment only with more than 4 bytes after
    Region out(known ? expect : CMPR_GZIP_DECMPRS_BOUND(scratch.size()), "a segment's output",
               known);
    QuietStderr quiet(!known && !verbose);
    out.set_size(gzip_decmprs(scratch.data(), static_cast<uint32_t>(scratch.size()), out.data()));
    if (known && out.size() != expect)
        throw Failure("internal error: a segment decoded to an unexpected length");
    return out;
}

// A file with the tool's header: what the header says, then its payload as
// a zlib stream or as segments (their offsets counted from the file's start).
int inspect_container(const std::string &name, Bytes data, const InspectOptions &opt) {
    const Header h = read_header(data, name);
    const Bytes payload = data.subspan(h.size());
    auto facts = [&](const char *crc) {
        return std::pair{"\"method\":\"" + std::string(method_name(h.method)) +
                             "\",\"claimed_length\":" + std::to_string(h.length) + ",\"crc32\":\"" +
                             crc + "\"",
                         "; method " + std::string(method_name(h.method)) + ", " +
                             std::to_string(h.length) + " bytes claimed, CRC-32 " + crc};
    };
    if (h.own()) {
        InspectOptions o = opt;
        o.record_size = h.record_size;
        Walk w = walk_segments(payload, o.record_size);
        // Only a clean buffer is decoded, into room of the size its walk counts.
        const char *crc = "unchecked";
        if (w.clean()) {
            const Region out = decode_segments(payload, w, name);
            crc = out.size() == h.length && crc32_of(out.bytes()) == h.crc ? "ok" : "mismatch";
        }
        shift(w, h.size());
        const auto [json, text] = facts(crc);
        print_segments(name, "cmpz", data, w, o, json, text);
        return !w.clean() || std::strcmp(crc, "ok") != 0;
    }
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
    const auto [json, text] = facts(crc_ok ? "ok" : "mismatch");
    print_zlib(name, "cmpz", data, p, h.size(), json + ",", text, opt.json);
    return !(p.complete && crc_ok) || p.trailing > 0;
}

int inspect_one(const std::string &f, const InspectOptions &opt) {
    const std::string name = display_name(f);
    const Region r = read_input(f);
    const Bytes data = r.bytes();
    switch (kind_of(data)) {
        case Kind::kSegments: {
            const Walk w = walk_segments(data, opt.record_size);
            print_segments(name, "own-codec segments", data, w, opt);
            return !w.clean();
        }
        case Kind::kZlib: {
            const ZlibProbe p = probe_zlib(data, {});
            print_zlib(name, "zlib", data, p, 0, "", "", opt.json);
            return !p.complete || p.trailing > 0;
        }
        case Kind::kContainer:
            return inspect_container(name, data, opt);
    }
    return 1;
}

}  // namespace

int inspect_cmd(const std::vector<std::string> &files, const InspectOptions &opt) {
    return for_each_input(files, [&](const std::string &f) { return inspect_one(f, opt); });
}

}  // namespace cmpr_tool

namespace cmpr_tool {

void show_library_reports(std::span<const uint8_t> data) {
    for (const Segment &s : walk_segments(data, 0).segments)
        if (!s.clean()) decode_alone(data.subspan(s.in_offset, s.in_length), 0, false, true);
}

int salvage_cmd(const std::string &in, const std::string &out, const SalvageOptions &opt) {
    const std::string name = display_name(in);
    const Region r = read_input(in);
    const Bytes data = r.bytes();
    OutputFile o(out, opt.force);
    int status = 0;
    auto left_out = [&](const std::string &what) {
        note(name + ": " + what);
        status = 1;
    };
    uint64_t written = 0;
    uint32_t crc = 0xFFFFFFFFu;
    auto write = [&](Bytes piece) {
        o.write(piece);
        written += piece.size();
        crc = crc32_update(crc, piece);
    };
    // The segments of a walk whose offsets count from the start of 'data'.
    auto save_segments = [&](const Walk &w, uint64_t record_size) {
        for (size_t i = 0; i < w.segments.size(); ++i) {
            const Segment &s = w.segments[i];
            const Bytes seg = data.subspan(s.in_offset, s.in_length);
            if (s.clean()) {
                write(decode_alone(seg, s.out_length, true, opt.verbose).bytes());
                continue;
            }
            std::string what = "segment " + std::to_string(i) + " at byte " +
                               hex_offset(s.in_offset) + " (" + std::to_string(s.in_length) +
                               " bytes): " + describe(s.sign);
            if (opt.keep_damaged) {
                const Region got = decode_alone(seg, 0, false, opt.verbose);
                write(got.bytes());
                what += "; written as decoded, " + std::to_string(got.size()) + " bytes";
            } else if (opt.fill >= 0 && record_size != 0) {
                const std::vector<uint8_t> fill(record_size, static_cast<uint8_t>(opt.fill));
                write(fill);
                what += "; written as " + std::to_string(fill.size()) + " fill bytes";
            } else {
                what += "; left out";
            }
            left_out(what);
        }
        if (w.tail_damaged())
            left_out(std::to_string(data.size() - w.tail_offset) + " bytes from byte " +
                     hex_offset(w.tail_offset) + " (" +
                     (w.tail == Walk::kErased ? "erased flash" : "no segment") + "): left out");
    };
    switch (kind_of(data)) {
        case Kind::kSegments:
            save_segments(walk_segments(data, opt.record_size), opt.record_size);
            break;
        case Kind::kZlib: {
            const ZlibProbe p = probe_zlib(data, write);
            if (!p.complete)
                left_out("zlib stream fails at input byte " + hex_offset(p.in_used) + " (" +
                         p.error + "); the " + std::to_string(p.inflated) +
                         " bytes before it are written");
            else if (p.trailing > 0)
                left_out(describe_trailing(p, 0) + ": left out");
            break;
        }
        case Kind::kContainer: {
            const Header h = read_header(data, name);
            const Bytes payload = data.subspan(h.size());
            if (h.own()) {
                const uint64_t record_size = h.record_size ? h.record_size : opt.record_size;
                Walk w = walk_segments(payload, record_size);
                shift(w, h.size());
                save_segments(w, record_size);
            } else if (h.method == Method::kStored) {
                write(payload);
                if (payload.size() != h.length)
                    left_out("stored data is not the length the header claims");
            } else {
                const ZlibProbe p = probe_zlib(payload, write);
                if (!p.complete || p.inflated != h.length)
                    left_out("zlib stream fails at byte " + hex_offset(h.size() + p.in_used) +
                             " (" + (p.complete ? "not the length the header claims" : p.error) +
                             "); the " + std::to_string(p.inflated) +
                             " bytes before it are written");
                else if (p.trailing > 0)
                    left_out(describe_trailing(p, h.size()) + ": left out");
            }
            // Damage that leaves no sign in the data shows in the checksum.
            if (status == 0 && (written != h.length || ~crc != h.crc))
                left_out("what was saved does not match the header's length and CRC-32");
            break;
        }
    }
    o.commit();
    return status;
}

}  // namespace cmpr_tool
