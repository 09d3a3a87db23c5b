#include "dump_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

namespace cmpr_tool {

namespace {

using json = nlohmann::ordered_json;

std::string dump(const json &j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// One character per slice of the file, the worst thing in it winning:
// X damaged, R repeated, ? junk, F erased flash, # clean, . zeros.
class Map {
   public:
    explicit Map(uint64_t size) : slice_(std::max<uint64_t>(1, (size + kCells - 1) / kCells)) {
        cells_.assign((size + slice_ - 1) / slice_, ' ');
    }
    void paint(uint64_t from, uint64_t to, char c) {
        static const std::string kRank = " .#F?RX";
        for (uint64_t i = from / slice_; from < to && i <= (to - 1) / slice_; ++i)
            if (kRank.find(c) > kRank.find(cells_[i])) cells_[i] = c;
    }
    void paint(const Stretch &r, uint64_t base) {
        static const char kChar[] = {'#', 'X', '.', 'F', 'R', '?'};
        paint(base + r.offset, base + r.offset + r.length, kChar[r.kind]);
        paint(base + r.offset + r.length, base + r.offset + r.length + r.padding, '.');
    }
    uint64_t slice() const { return slice_; }
    std::vector<std::string> rows() const {
        std::vector<std::string> r;
        for (size_t i = 0; i < cells_.size(); i += kWidth) r.push_back(cells_.substr(i, kWidth));
        return r;
    }
    static constexpr const char *kLegend =
        "# clean, X damaged, . zeros, F erased, R repeated, ? no segment";

   private:
    static constexpr uint64_t kWidth = 64, kCells = kWidth * 16;  // one screen
    uint64_t slice_;
    std::string cells_;
};

const char *kind_name(Stretch::Kind k) {
    static const char *const kNames[] = {"segment", "damaged",  "zeros",
                                         "erased",  "repeated", "junk"};
    return kNames[k];
}

std::string plural(uint64_t n, const char *one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

std::string records_text(const Gap &g) {
    if (g.records == 0) return "no record in it";
    std::string s = gap_records(g);
    s += g.estimated ? " (estimated from the stretch's " + std::to_string(g.length) + " bytes)"
                     : " (exact: the end codes in it land on the next segment)";
    return s;
}

std::string shift_text(const Stretch &r, uint64_t base) {
    return "from byte " + hex_offset(base + r.offset) + " on, the segments are shifted by " +
           plural(static_cast<uint64_t>(r.grid), "byte") +
           " from the 4-byte grid: bytes were added or lost before it";
}

class TextReport : public SegmentReport {
   public:
    TextReport(const ReportHead &h, bool all) : h_(h), all_(all), map_(h.size) {}

    void start(const WalkSummary &s) override {
        records_ = s.record_size != 0;
        std::string title = h_.file + ": " +
                            (h_.container ? "cmpr file, method " + h_.method + ", " +
                                                std::to_string(h_.claimed_length) + " bytes claimed"
                                          : std::string("own-codec segments")) +
                            ", " + std::to_string(h_.size) + " bytes";
        if (h_.swapped)
            title += ", read with its " + std::to_string(h_.swapped) + "-bit words swapped";
        if (records_) {
            title += "; record size " + std::to_string(s.record_size);
            if (s.inferred)
                title += ", from " + std::to_string(s.votes) + " of " +
                         plural(s.voters, "clean segment");
            else
                title += " (" + h_.record_size_from + ")";
        }
        std::printf("%s\n", title.c_str());
        if (!h_.note.empty()) std::printf("%s: %s\n", h_.file.c_str(), h_.note.c_str());
        if (h_.looks_swapped)
            std::printf(
                "%s: looks %d-bit byte-swapped (a reader set to the wrong bus width?): "
                "it reads cleanly that way; 'cmpr inspect --swap %d' shows it\n",
                h_.file.c_str(), h_.looks_swapped, h_.looks_swapped);
    }

    void region(const Stretch &r) override {
        map_.paint(r, h_.base);
        if (r.grid >= 0) {
            flush_held();
            print("  " + shift_text(r, h_.base));
        }
        const std::string row = row_of(r);
        if (r.clean() && !all_) {
            if (after_damage_) {
                print(row);
                after_damage_ = false;
            } else {
                if (held_) skipped_ = true;
                held_ = row;
            }
            return;
        }
        flush_held();
        print(row);
        after_damage_ = !r.clean();
    }

    void gap(const Gap &g) override {
        if (!records_) return;
        flush_held();
        print(std::string(9, ' ') + "^ " + records_text(g));
    }

    void finish(const WalkSummary &s, const std::string &crc, uint64_t lone_byte) override {
        if (printed_ && held_) std::printf("%8s\n", "...");
        std::string line = h_.file + ": " + plural(s.clean + s.damaged, "segment") + ", " +
                           std::to_string(s.clean) + " clean, " + std::to_string(s.damaged) +
                           " damaged; " + std::to_string(s.recoverable) + " bytes recoverable";
        if (records_)
            line += "; " + plural(s.records, "record") + ", " +
                    std::to_string(s.records - s.clean) + " of them lost";
        if (s.estimated)
            line += "; record positions from output byte " + hex_offset(s.estimated_from) +
                    " on are estimated";
        if (s.tail != Stretch::kSegment)
            line += "; " + plural(h_.size - h_.base - s.tail_offset, "trailing byte") + " at " +
                    hex_offset(h_.base + s.tail_offset) + ": " + kind_name(s.tail);
        if (!crc.empty()) line += "; CRC-32 " + crc;
        if (lone_byte != UINT64_MAX) line += ": " + lone_byte_text(lone_byte, s.record_size);
        std::printf("%s\n", line.c_str());
        if (!h_.container)
            std::printf("%s: %s\n", h_.file.c_str(), no_checksum_note(s.writer_checked).c_str());
        std::printf("map, one character per %llu bytes (%s):\n",
                    static_cast<unsigned long long>(map_.slice()), Map::kLegend);
        for (const std::string &row : map_.rows()) std::printf("  |%s|\n", row.c_str());
    }

   private:
    std::string row_of(const Stretch &r) {
        char buf[512];
        const std::string index = r.clean() ? std::to_string(records_ ? r.record : segment_++)
                                  : (r.kind == Stretch::kDamaged && !records_)
                                      ? std::to_string(segment_++)
                                      : "-";
        std::string state = r.clean() ? "clean" : kind_name(r.kind);
        if (r.kind == Stretch::kDamaged || r.kind == Stretch::kJunk)
            state += ": " + describe(r.damage);
        if (r.kind == Stretch::kErased) state = "erased flash";
        if (r.kind == Stretch::kRepeated)
            state = "repeats the bytes before it: a flash block written twice";
        std::snprintf(buf, sizeof buf, "%8s %10s %9llu %7s %11s %9s  %s", index.c_str(),
                      hex_offset(h_.base + r.offset).c_str(),
                      static_cast<unsigned long long>(r.length),
                      r.clean() ? std::to_string(r.padding).c_str() : "-",
                      r.clean() ? std::to_string(r.out_offset).c_str() : "-",
                      r.kind == Stretch::kSegment || r.kind == Stretch::kDamaged
                          ? std::to_string(r.out_length).c_str()
                          : "-",
                      state.c_str());
        return buf;
    }
    // A row, under the column heads the first one brings.
    void print(const std::string &row) {
        if (!printed_)
            std::printf("%8s %10s %9s %7s %11s %9s  %s\n", records_ ? "record" : "segment",
                        "in-offset", "in-bytes", "padding", "out-offset", "out-bytes", "state");
        printed_ = true;
        std::printf("%s\n", row.c_str());
    }
    // The clean row held back, as the neighbour of what follows it.
    void flush_held() {
        if (!held_) return;
        if (skipped_) print(std::string(8 - 3, ' ') + "...");
        print(*held_);
        held_.reset();
        skipped_ = false;
    }

    ReportHead h_;
    bool all_;
    Map map_;
    bool records_ = false;
    uint64_t segment_ = 0;
    std::optional<std::string> held_;  // the latest clean row, not yet printed
    bool skipped_ = false;             // clean rows were left out before it
    bool printed_ = false;
    bool after_damage_ = false;  // the next clean row shows
};

class JsonReport : public SegmentReport {
   public:
    explicit JsonReport(const ReportHead &h) : h_(h), map_(h.size) {}

    void start(const WalkSummary &s) override {
        json head = {
            {"file", h_.file}, {"kind", h_.container ? "cmpz" : "segments"}, {"size", h_.size}};
        if (h_.container) {
            head["method"] = h_.method;
            head["claimed_length"] = h_.claimed_length;
        }
        head["checksum"] = h_.container;
        head["swapped"] = h_.swapped ? json(h_.swapped) : json(nullptr);
        head["looks_swapped"] = h_.looks_swapped ? json(h_.looks_swapped) : json(nullptr);
        records_ = s.record_size != 0;
        head["record_size"] = s.record_size ? json(s.record_size) : json(nullptr);
        head["record_size_from"] =
            s.record_size ? json(s.inferred ? "inferred" : h_.record_size_from) : json(nullptr);
        head["record_size_votes"] =
            s.inferred ? json{{"segments", s.votes}, {"of", s.voters}} : json(nullptr);
        std::string text = dump(head);
        text.pop_back();  // the object goes on with the regions
        std::printf("%s,\"regions\":[", text.c_str());
    }

    void region(const Stretch &r) override {
        map_.paint(r, h_.base);
        shifts_ += r.grid >= 0;
        json j = {{"kind", kind_name(r.kind)},
                  {"in_offset", h_.base + r.offset},
                  {"in_length", r.length}};
        if (r.kind == Stretch::kSegment) {
            j["padding"] = r.padding;
            j["out_offset"] = r.out_offset;
            j["out_length"] = r.out_length;
            j["record"] = records_ ? json(r.record) : json(nullptr);
            j["state"] = "clean";
            j["grid"] = r.grid >= 0 ? json(r.grid) : json(nullptr);
        } else if (r.kind == Stretch::kDamaged || r.kind == Stretch::kJunk) {
            j["out_length"] = r.out_length;
            j["state"] = damage_name(r.damage.kind);
            j["bit"] = 8 * h_.base + r.damage.bit;
            j["value"] = r.damage.value;
            j["text"] = describe(r.damage);
        }
        put(j);
    }

    void gap(const Gap &g) override {
        put({{"kind", "gap"},
             {"in_offset", h_.base + g.offset},
             {"in_length", g.length},
             {"first_record", g.first_record},
             {"records", g.records},
             {"estimated", g.estimated}});
    }

    void finish(const WalkSummary &s, const std::string &crc, uint64_t lone_byte) override {
        json summary = {{"regions", s.regions},
                        {"segments", s.clean + s.damaged},
                        {"clean", s.clean},
                        {"damaged", s.damaged},
                        {"records", s.record_size ? json(s.records) : json(nullptr)},
                        {"recoverable", s.recoverable},
                        {"estimated_from", s.estimated ? json(s.estimated_from) : json(nullptr)},
                        {"writer_checked", s.writer_checked},
                        {"shifts", shifts_}};
        summary["tail"] = s.tail == Stretch::kSegment
                              ? json{{"offset", h_.size}, {"length", 0}, {"kind", "none"}}
                              : json{{"offset", h_.base + s.tail_offset},
                                     {"length", h_.size - h_.base - s.tail_offset},
                                     {"kind", kind_name(s.tail)}};
        if (!crc.empty()) summary["crc32"] = crc;
        if (!crc.empty())
            summary["crc32_lone_byte"] =
                lone_byte == UINT64_MAX
                    ? json(nullptr)
                    : json{{"offset", lone_byte},
                           {"record",
                            s.record_size ? json(lone_byte / s.record_size) : json(nullptr)}};
        const json map = {{"slice", map_.slice()}, {"rows", map_.rows()}};
        std::printf("],\"summary\":%s,\"map\":%s}\n", dump(summary).c_str(), dump(map).c_str());
    }

   private:
    void put(const json &j) {
        std::printf("%s%s", first_ ? "" : ",", dump(j).c_str());
        first_ = false;
    }
    ReportHead h_;
    Map map_;
    bool records_ = false;
    bool first_ = true;
    uint64_t shifts_ = 0;
};

}  // namespace

std::unique_ptr<SegmentReport> text_report(const ReportHead &head, bool all) {
    return std::make_unique<TextReport>(head, all);
}

std::unique_ptr<SegmentReport> json_report(const ReportHead &head) {
    return std::make_unique<JsonReport>(head);
}

std::string no_checksum_note(bool writer_checked) {
    return writer_checked
               ? "bare segments carry no checksum: a change that still reads cleanly and that "
                 "the writer would have written as it stands, and whole records lost or "
                 "repeated at record boundaries, cannot be seen"
               : "bare segments carry no checksum: a change that still reads cleanly, and "
                 "whole records lost or repeated at record boundaries, cannot be seen";
}

std::string gap_records(const Gap &g) {
    return g.records == 1 ? "record " + std::to_string(g.first_record)
                          : "records " + std::to_string(g.first_record) + "-" +
                                std::to_string(g.first_record + g.records - 1);
}

std::string lone_byte_text(uint64_t offset, uint64_t record_size) {
    std::string s = "one changed byte would explain it: output byte " + hex_offset(offset);
    if (record_size != 0) s += " in record " + std::to_string(offset / record_size);
    return s + " (a guess: a CRC-32 locates no more than one wrong byte)";
}

}  // namespace cmpr_tool
