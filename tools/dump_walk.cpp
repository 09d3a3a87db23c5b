#include "dump_walk.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "cmpr_check.h"
#include "errors.h"
#include "segment_decode.h"
#include "stream_format.h"

namespace cmpr_tool {

namespace {

using Bytes = std::span<const uint8_t>;

// After damage, a start counts when its segment stands for at least this
// many bytes (no record size known) and the segment after it reads cleanly
// too: a few literals and an end code turn up by chance in damaged bytes.
constexpr uint64_t kMinResyncOutput = 16;

// A stretch that repeats the bytes just before it is taken for a flash
// block written twice when the block is a power of two of at least a flash
// page, lies on a multiple of its size, and the copy covers two pages.
constexpr uint64_t kFlashPage = 512;
constexpr uint64_t kMinRepeat = 2 * kFlashPage;
// How far back a copy is looked for: the segments of the last few MiB.
constexpr size_t kRecentSegments = 4096;

// The writer's re-compression is checked on the first segments before it is
// trusted for the rest: a buffer written by another writer would fail it
// everywhere.
constexpr uint64_t kWriterTrial = 16;

constexpr uint64_t kNone = UINT64_MAX;

uint32_t word_at(Bytes b, uint64_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

// A run of erased (0xFF) or zeroed flash.
struct Run {
    uint64_t start = kNone, end = kNone;
    Stretch::Kind kind = Stretch::kErased;
};

// The runs of flash in buffer order, each found once.
class Runs {
   public:
    explicit Runs(Bytes b) : b_(b) {}
    // The next run that ends after 'from', starting there at the earliest.
    // Zero bytes count only from 'from' on: a segment's own end and padding
    // never make a run with the filler after it.
    Run next(uint64_t from) {
        if (cached_.start != kNone && cached_.end > from) {
            if (cached_.start >= from) return cached_;
            Run r = cached_;
            r.start = from;
            if (r.kind == Stretch::kErased || r.end - from >= CMPR_ZERO_RUN) return r;
        }
        // A run long enough holds a whole aligned 8-byte word of its bytes:
        // words are looked at first, bytes only around such a word.
        const uint64_t n = b_.size();
        for (uint64_t w = (std::max(from, scanned_) + 7) / 8 * 8; w + 8 <= n; w += 8) {
            uint64_t word;
            std::memcpy(&word, b_.data() + w, 8);
            if (word != 0 && word != ~uint64_t{0}) continue;
            const uint8_t v = b_[w];
            uint64_t i = w, j = w + 8;
            while (i > std::max(from, scanned_) && b_[i - 1] == v) --i;
            while (j < n && b_[j] == v) ++j;
            if ((v == 0xFF && j - i >= CMPR_ERASED_RUN) || (v == 0 && j - i >= CMPR_ZERO_RUN)) {
                cached_ = {i, j, v == 0 ? Stretch::kZeros : Stretch::kErased};
                scanned_ = j;
                return cached_;
            }
            w = (j + 7) / 8 * 8 - 8;
        }
        scanned_ = b_.size();
        return Run{};
    }

   private:
    Bytes b_;
    Run cached_;
    uint64_t scanned_ = 0;
};

struct Repeat {
    uint64_t start = 0, end = 0;
};

struct Reading {
    uint64_t start = 0;
    uint64_t stop = 0;  // the end of the bytes it was read from
    cmpr_segment_reading r{};
    bool clean() const { return r.damage == CMPR_DAMAGE_NONE; }
    // Its 4-byte boundary, counted from its start, may lie past the data
    // when it starts off the grid: its padding ends with the data.
    uint64_t next() const { return std::min(r.next, stop); }
    // Its bytes as the writer ends them: the end code, one zero bit, the
    // byte's filler; no further than its 4-byte boundary.
    uint64_t length() const { return std::min((r.end_bit + 1 + 7) / 8, next()) - start; }
};

// What a first walk learns of the clean segments, for the second.
struct Census {
    struct Length {
        uint64_t count = 0, bytes = 0, last = 0;
    };
    std::unordered_map<uint64_t, Length> by_length;  // by output length
    uint64_t clean = 0;
    static constexpr size_t kMaxLengths = 1 << 16;  // the rest count as clean, not by length
};

class Walker {
   public:
    Walker(Bytes b, uint64_t record_size, const WalkSink *sink, Census *census)
        : b_(b), n_(b.size()), record_size_(record_size), sink_(sink), census_(census), runs_(b) {}

    WalkSummary run();
    double mean = 0;                     // bytes per record, padding included
    uint64_t last_full = kNone;          // where the last clean segment of the record size starts
    bool check_writer = false;           // re-compress clean segments, as long as their
    uint64_t output_limit = UINT64_MAX;  // output stays within this

   private:
    Reading read(uint64_t at, uint64_t stop) const {
        Reading r;
        r.start = at;
        r.stop = stop;
        cmpr_read_segment(b_.data(), static_cast<uint32_t>(n_), static_cast<uint32_t>(at),
                          static_cast<uint32_t>(stop), &r.r);
        return r;
    }
    uint64_t skip_zero_words(uint64_t at, uint64_t stop) const {
        while (at + 4 <= stop && word_at(b_, at) == 0) at += 4;
        return at;
    }
    bool fits_record(const Reading &r) const {
        return record_size_ == 0 || r.r.out_len == record_size_ ||
               (r.r.out_len < record_size_ && (last_full == kNone || r.start > last_full));
    }
    bool starts_run(const Reading &r, uint64_t stop);
    uint64_t search(uint64_t from, uint64_t stop, uint64_t floor, Repeat &repeat);
    Damage writer_check(const Reading &r);
    void emit(Stretch r);
    void emit_segment(const Reading &r, uint64_t padding, int grid, uint64_t offset,
                      uint64_t skip_at = 0, uint64_t skip_len = 0);
    void end_gap(uint64_t at);
    uint64_t chain_records(uint64_t from, uint64_t to) const;
    Repeat repeat_around(uint64_t at, uint64_t floor) const;
    bool spliced(uint64_t s, uint64_t r0, uint64_t r1, Reading &r);
    void remember(const Stretch &r);

    Bytes b_;
    uint64_t n_;
    uint64_t record_size_;
    const WalkSink *sink_;
    Census *census_;
    Runs runs_;
    std::unique_ptr<cmpr_finder, void (*)(cmpr_finder *)> finder_{nullptr, cmpr_finder_free};
    uint64_t finder_stop_ = kNone;
    WalkSummary sum_;
    Stretch last_;  // the latest region handed on
    bool any_ = false;
    // The stretch since the last clean segment.
    uint64_t gap_start_ = kNone;
    bool gap_exact_ = true;      // damaged segments alone, on the grid: the end codes tell
    uint64_t gap_in_place_ = 0;  // damaged segments of known extent, each a record
    bool gap_other_ = false;     // anything else in it
    uint64_t gap_repeated_ = 0, gap_damaged_ = 0;  // bytes of repeats, of damaged segments
    // For an estimate: the pieces of records cut by flash in it (at most a
    // head before the flash and a rest after it), the bytes of theirs that
    // the flash took, their own bytes, and the bytes no piece accounts for.
    uint64_t gap_pieces_ = 0;
    double gap_taken_ = 0;
    uint64_t gap_piece_bytes_ = 0, gap_flash_ = 0;
    bool short_seen_ = false;  // a short record: the last
    uint64_t next_record_ = 0;
    uint64_t out_ = 0;  // output offset of what comes next
    int grid_ = 0;      // the segments' offset from the 4-byte grid
    // The writer's check: trials and failures while it is on trial.
    uint64_t writer_trials_ = 0, writer_fails_ = 0;
    // Most of the first segments read back otherwise than the writer wrote
    // them: another writer's, and the check stops.
    bool writer_gave_up() const {
        return writer_trials_ >= kWriterTrial && 2 * writer_fails_ > writer_trials_;
    }
    std::vector<uint8_t> scratch_;  // the latest segment the writer's check decoded
    bool decoded_ = false;
    // Recent clean segments by the hash of their first bytes, for repeats.
    std::unordered_multimap<uint64_t, uint64_t> recent_;
    std::vector<std::pair<uint64_t, uint64_t>> recent_ring_;
    size_t recent_next_ = 0;
    std::vector<uint8_t> splice_;
    uint64_t gap_repeat_end_ = kNone;  // where the latest repeat in the gap ends
    uint64_t gap_nonrepeat_ = 0;       // its regions other than repeats
};

// The first 64 bytes at 'at', hashed: segments that may be the same.
uint64_t prefix_hash(Bytes b, uint64_t at) {
    uint64_t h = 1469598103934665603ull;
    for (uint64_t i = at; i < at + 64; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

bool Walker::starts_run(const Reading &r, uint64_t stop) {
    if (!r.clean() || r.r.out_len == 0 || !fits_record(r)) return false;
    if (record_size_ != 0 && r.r.out_len < record_size_) return true;  // the short last record
    // The segment after it reads cleanly too, or only filler, flash and the
    // end follow.
    const uint64_t next = skip_zero_words(std::min(r.next(), stop), stop);
    if (next >= stop || cmpr::reader_stops_at(next, n_)) return true;
    const Reading after = read(next, stop);
    return after.clean() && after.r.out_len != 0 &&
           (record_size_ == 0 || after.r.out_len <= record_size_);
}

// The first byte from 'from' on, before 'stop', where a run of clean
// segments starts; kNone.
// A clean segment that starts no run may be the copy of one that came
// before: a repeat, back to 'floor' at the earliest, goes in 'repeat'.
uint64_t Walker::search(uint64_t from, uint64_t stop, uint64_t floor, Repeat &repeat) {
    if (from >= stop) return kNone;
    if (finder_stop_ != stop) {
        finder_.reset(
            cmpr_finder_new(b_.data(), static_cast<uint32_t>(n_), static_cast<uint32_t>(stop)));
        if (!finder_) throw Failure("out of memory while searching for segments");
        finder_stop_ = stop;
    }
    const uint64_t min_out = record_size_ ? record_size_ : kMinResyncOutput;
    const uint64_t max_out = record_size_ ? record_size_ : UINT64_MAX;
    for (int pass = 0; pass < (record_size_ ? 2 : 1); ++pass) {
        // With a record size, whole records first; then a short last one.
        const uint64_t lo = pass == 0 ? min_out : 1, hi = pass == 0 ? max_out : record_size_ - 1;
        for (uint64_t c = from; c < stop;) {
            uint32_t at = 0;
            Reading r;
            const int found = cmpr_find_segment(finder_.get(), static_cast<uint32_t>(c),
                                                static_cast<uint32_t>(stop), lo, hi, &at, &r.r);
            if (found < 0) throw Failure("out of memory while searching for segments");
            if (found == 0) break;
            r.start = at;
            r.stop = stop;
            if (starts_run(r, stop)) return at;
            if (pass == 0 && (repeat = repeat_around(at, floor)).end != 0) return at;
            c = uint64_t{at} + 1;
        }
    }
    return kNone;
}

Damage Walker::writer_check(const Reading &r) {
    const MuteLibraryReports mute;
    if (!check_writer || writer_gave_up() || sum_.recoverable + r.r.out_len > output_limit)
        return {};
    decode_alone(b_.subspan(r.start, r.next() - r.start), scratch_, r.r.out_len);
    decoded_ = true;
    // The writer's last zero bit may lie beyond the boundary its end code
    // reaches: the filler after it counts.
    const uint64_t end = skip_zero_words(r.next(), n_);
    const bool ok = as_written(b_.subspan(r.start, end - r.start), scratch_);
    if (writer_trials_ < kWriterTrial) {
        ++writer_trials_;
        writer_fails_ += !ok;
    }
    if (ok) return {};
    return {Damage::kNotAsWritten, 8 * r.start, r.r.out_len};
}

void Walker::emit(Stretch r) {
    if (r.kind != Stretch::kSegment && gap_start_ == kNone) gap_start_ = r.offset;
    if (r.kind == Stretch::kDamaged || r.kind == Stretch::kJunk) ++sum_.damaged;
    if (r.kind == Stretch::kErased || r.kind == Stretch::kRepeated ||
        (r.kind == Stretch::kZeros && r.offset + r.length < n_))
        sum_.flash_damage = true;
    if (r.kind != Stretch::kSegment) gap_exact_ &= r.kind == Stretch::kDamaged;
    if (r.kind == Stretch::kRepeated) gap_repeated_ += r.length;
    if (r.kind != Stretch::kSegment && r.kind != Stretch::kRepeated) ++gap_nonrepeat_;
    if (r.kind == Stretch::kDamaged) gap_damaged_ += r.length;
    if (r.kind != Stretch::kSegment && r.kind != Stretch::kRepeated) {
        const bool piece = r.kind == Stretch::kDamaged && record_size_ != 0 && r.out_length > 0 &&
                           (r.damage.kind == Damage::kCut || r.damage.kind == Damage::kHeadLost);
        if (piece) {
            // The share of the record the flash took, in bytes of the usual
            // ratio: a record's first bytes, with no history yet, do not tell
            // its ratio.
            const double out = static_cast<double>(std::min(r.out_length, record_size_));
            gap_taken_ += (static_cast<double>(record_size_) - out) * mean /
                          static_cast<double>(record_size_);
            gap_piece_bytes_ += r.length;
            ++gap_pieces_;
        } else {
            gap_flash_ += r.length;
        }
    }
    if (r.kind != Stretch::kSegment && r.in_place) ++gap_in_place_;
    if (r.kind != Stretch::kSegment && !r.in_place) gap_other_ = true;
    ++sum_.regions;
    last_ = r;
    any_ = true;
    if (sink_ && sink_->region)
        sink_->region(r, r.kind == Stretch::kSegment && decoded_
                             ? std::span<const uint8_t>(scratch_)
                             : std::span<const uint8_t>());
    decoded_ = false;
}

// 'rd' read from 'offset' on, its bytes from 'skip_at' on 'skip_len' bytes
// further (a repeat put into it).
void Walker::emit_segment(const Reading &rd, uint64_t padding, int grid, uint64_t offset,
                          uint64_t skip_at, uint64_t skip_len) {
    if (gap_start_ != kNone) end_gap(offset);
    Stretch r;
    r.kind = Stretch::kSegment;
    r.offset = offset;
    r.length = rd.length();
    r.padding = rd.next() - rd.start - r.length + padding;
    r.out_length = rd.r.out_len;
    r.skip_at = skip_at;
    r.skip_len = skip_len;
    r.out_offset = out_;
    r.record = next_record_;
    r.grid = grid;
    if (grid >= 0) grid_ = grid;
    ++sum_.clean;
    sum_.recoverable += r.out_length;
    out_ += record_size_ ? record_size_ : r.out_length;
    if (record_size_) ++next_record_;
    if (census_) {
        ++census_->clean;
        auto it = census_->by_length.find(r.out_length);
        if (it == census_->by_length.end() && census_->by_length.size() < Census::kMaxLengths)
            it = census_->by_length.emplace(r.out_length, Census::Length{}).first;
        if (it != census_->by_length.end()) {
            it->second.count += 1;
            it->second.bytes += r.length + r.padding;
            it->second.last = r.offset;
        }
    }
    remember(r);
    gap_exact_ = true;
    gap_other_ = false;
    gap_in_place_ = gap_repeated_ = gap_damaged_ = gap_flash_ = gap_piece_bytes_ = gap_pieces_ = 0;
    gap_nonrepeat_ = 0;
    gap_repeat_end_ = kNone;
    gap_taken_ = 0;
    short_seen_ |= record_size_ != 0 && r.out_length < record_size_;
    emit(r);
}

// The records of a stretch from 'from' to a clean segment at 'to' told by
// the end codes in it: segments read one after another from its start land
// exactly on 'to'.  kNone when they do not.
uint64_t Walker::chain_records(uint64_t from, uint64_t to) const {
    uint64_t records = 0;
    for (uint64_t at = skip_zero_words(from, to); at < to; at = skip_zero_words(at, to)) {
        const Reading r = read(at, to);
        if (r.r.end_bit > 8 * to || r.r.next > to || r.r.out_len == 0) return kNone;
        ++records;
        at = r.next();
    }
    return records;
}

void Walker::end_gap(uint64_t at) {
    Gap g;
    g.offset = gap_start_;
    g.length = at - gap_start_;
    g.first_record = next_record_;
    gap_start_ = kNone;
    if (record_size_ == 0) return;
    const uint64_t chained = gap_exact_ && at < n_ ? chain_records(g.offset, at) : kNone;
    // A repeat that the next clean segment follows right away was put into
    // the buffer: extra bytes.  One that does not took the place of records.
    const bool put_in = gap_repeat_end_ != kNone && skip_zero_words(gap_repeat_end_, n_) >= at;
    if (!put_in) gap_flash_ += gap_repeated_;
    if (put_in && gap_nonrepeat_ == 0) {
        g.records = 0;
    } else if (!gap_other_) {
        g.records = gap_in_place_;  // each read to its end code, and only its content changed
    } else if (chained != kNone) {
        g.records = chained;
    } else {
        // Each piece of a record cut by flash is one; the bytes the flash
        // took beyond what the pieces lost are whole records of the usual
        // size, unless the pieces are one record's head and rest.  Repeats
        // are extra bytes.  After the last clean segment only damaged
        // segments held records, and after a short one, none.
        g.estimated = true;
        const double inner = static_cast<double>(gap_flash_) - gap_taken_;
        if (at == n_) {
            g.records = short_seen_ || gap_damaged_ == 0
                            ? 0
                            : std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(
                                                        static_cast<double>(gap_damaged_) / mean)));
        } else if (gap_pieces_ == 2 && -inner > static_cast<double>(gap_piece_bytes_) / 2) {
            g.records = 1;
        } else {
            g.records =
                gap_pieces_ +
                (mean > 0 && inner > 0 ? static_cast<uint64_t>(std::llround(inner / mean)) : 0);
            if (gap_damaged_ > 0) g.records = std::max<uint64_t>(g.records, 1);
        }
    }
    next_record_ += g.records;
    out_ += g.records * record_size_;
    if (g.estimated && g.records > 0 && !sum_.estimated) {
        sum_.estimated = true;
        sum_.estimated_from = out_;
    }
    if (sink_ && sink_->gap) sink_->gap(g);
}

void Walker::remember(const Stretch &r) {
    if (r.length < 64 || r.skip_len != 0) return;
    const uint64_t key = prefix_hash(b_, r.offset);
    if (recent_ring_.size() == kRecentSegments) {
        const auto [old_key, old_at] = recent_ring_[recent_next_];
        for (auto [it, end] = recent_.equal_range(old_key); it != end; ++it)
            if (it->second == old_at) {
                recent_.erase(it);
                break;
            }
        recent_ring_[recent_next_] = {key, r.offset};
        recent_next_ = (recent_next_ + 1) % kRecentSegments;
    } else {
        recent_ring_.push_back({key, r.offset});
    }
    recent_.emplace(key, r.offset);
}

// The stretch around a clean segment at 'at' that repeats the bytes a
// whole number of flash pages before it, reaching back to 'floor' at the
// earliest; its end is 0 when there is none.
Repeat Walker::repeat_around(uint64_t at, uint64_t floor) const {
    if (at + 64 > n_) return {};
    const uint64_t key = prefix_hash(b_, at);
    for (auto [it, end] = recent_.equal_range(key); it != end; ++it) {
        const uint64_t copy = it->second;
        // A flash block: a power of two in size, aligned to its size in the
        // dump (the equal bytes may begin a little before its start).
        if (copy >= at || !std::has_single_bit(at - copy) || at - copy < kFlashPage) continue;
        const uint64_t d = at - copy;
        uint64_t from = at, to = at;
        while (from > floor && from > d && b_[from - 1] == b_[from - 1 - d]) --from;
        while (to < n_ && to < from + d && b_[to] == b_[to - d]) ++to;
        // Data that repeats on (identical records, one after another) is no
        // block written twice.
        if (to == from + d && to < n_ && b_[to] == b_[to - d]) continue;
        const uint64_t block = (from + d - 1) / d * d;
        if (block - from < kFlashPage && to >= block + kMinRepeat) return {from, to};
    }
    return {};
}

// The segment that starts at 's' before a repeat [r0, r1) and goes on after
// it, as a copy put into the buffer leaves it: its reading across the
// repeat, when it is clean and whole.
bool Walker::spliced(uint64_t s, uint64_t r0, uint64_t r1, Reading &r) {
    const MuteLibraryReports mute;
    const uint64_t most =
        record_size_ ? cmpr::max_segment_bytes(record_size_) + 8 : uint64_t{1} << 20;
    splice_.assign(b_.begin() + static_cast<ptrdiff_t>(s), b_.begin() + static_cast<ptrdiff_t>(r0));
    splice_.insert(splice_.end(), b_.begin() + static_cast<ptrdiff_t>(r1),
                   b_.begin() + static_cast<ptrdiff_t>(std::min(n_, r1 + most)));
    const uint64_t len = splice_.size();
    r.start = 0;
    r.stop = len;
    cmpr_read_segment(splice_.data(), static_cast<uint32_t>(len), 0, static_cast<uint32_t>(len),
                      &r.r);
    if (!r.clean() || r.r.end_bit <= 8 * (r0 - s) || r.r.out_len < kMinResyncOutput ||
        (record_size_ != 0 && r.r.out_len != record_size_))
        return false;
    if (!check_writer) return true;
    decode_alone(std::span<const uint8_t>(splice_).first(r.next()), scratch_, r.r.out_len);
    decoded_ = true;
    return as_written(std::span<const uint8_t>(splice_).first(r.next()), scratch_);
}

WalkSummary Walker::run() {
    uint64_t at = 0;
    bool chain = true;         // a segment is expected at 'at'
    uint64_t damaged = kNone;  // a damaged stretch from here, not yet handed on
    Damage sign;
    int grid = -1;  // the grid of the next clean segment, when it moved
    // 'in_place': a segment read to its own end code, whose content alone
    // changed: one record, and where the next starts is known.
    auto close_damaged = [&](uint64_t to, bool in_place = false) {
        if (damaged == kNone || to <= damaged) {
            damaged = kNone;
            return;
        }
        Stretch r;
        r.offset = damaged;
        r.length = to - damaged;
        r.damage = sign;
        r.in_place = in_place;
        // Before the first segment, bytes too few to have held a record
        // belong to nothing.
        const double record = mean > 0 ? mean : 2 * kMinResyncOutput;
        r.kind = damaged == 0 && static_cast<double>(r.length) < record / 2 ? Stretch::kJunk
                                                                            : Stretch::kDamaged;
        const Reading rd = read(damaged, to);
        r.out_length = rd.r.out_len;
        if (sign.kind == Damage::kHeadLost) {
            // The reading from its first byte meets damage soon; the decoder
            // reads on, through the rest of the record.
            cmpr_check_result c;
            cmpr_check(b_.data() + damaged, static_cast<uint32_t>(r.length), 0, &c);
            r.out_length = c.out_len;
        }
        emit(r);
        damaged = kNone;
    };
    // A stretch that repeats the bytes before it: written once.  When a
    // damaged segment runs into it, and its bytes after the repeat go on
    // with it, the repeat was put in and the segment is whole.
    auto take_repeat = [&](const Repeat &rep) {
        Reading joined;
        if (damaged != kNone && damaged < rep.start &&
            spliced(damaged, rep.start, rep.end, joined)) {
            const uint64_t s = damaged;
            damaged = kNone;
            const uint64_t end = rep.end + (joined.next() - (rep.start - s));
            const uint64_t next = skip_zero_words(end, n_);
            emit_segment(joined, next - end, grid, s, rep.start, rep.end - rep.start);
            grid = -1;
            Stretch r;
            r.kind = Stretch::kRepeated;
            r.offset = rep.start;
            r.length = rep.end - rep.start;
            emit(r);
            gap_repeat_end_ = next;
            at = next;
            chain = true;
            return;
        }
        if (damaged != kNone && damaged < rep.start) sign = {Damage::kCut, 8 * rep.start, 0};
        close_damaged(rep.start);
        Stretch r;
        r.kind = Stretch::kRepeated;
        r.offset = rep.start;
        r.length = rep.end - rep.start;
        emit(r);
        gap_repeat_end_ = rep.end;
        at = rep.end;
        chain = false;
    };
    while (at < n_) {
        const Run run = runs_.next(at);
        const uint64_t stop = std::min(run.start, n_);
        if (run.start == at) {
            close_damaged(at);
            Stretch r;
            r.kind = run.kind;
            r.offset = at;
            r.length = run.end - at;
            emit(r);
            at = run.end;
            chain = false;
            damaged = kNone;
            continue;
        }
        if (chain) {
            const uint64_t z = skip_zero_words(at, stop);
            if (z > at) {
                sum_.filler += z - at;
                at = z;
                continue;
            }
            if (at > 0 && cmpr::reader_stops_at(at, n_)) break;  // what the decoder does not read
            bool erased_tail = true;
            for (uint64_t i = at; i < n_ && erased_tail; ++i) erased_tail = b_[i] == 0xFF;
            if (erased_tail) {
                Stretch r;
                r.kind = Stretch::kErased;
                r.offset = at;
                r.length = n_ - at;
                emit(r);
                at = n_;
                break;
            }
            const Reading rd = read(at, stop);
            if (rd.clean() && rd.r.out_len != 0 && fits_record(rd)) {
                Damage d = writer_check(rd);
                const uint64_t next = skip_zero_words(rd.next(), stop);
                if (d.kind == 0) {
                    if (const Repeat rep = repeat_around(at, at); rep.end != 0) {
                        take_repeat(rep);
                        continue;
                    }
                    emit_segment(rd, next - rd.next(), grid, rd.start);
                    grid = -1;
                    at = next;
                    continue;
                }
                // Reads cleanly but is not what the writer wrote: damaged in place.
                damaged = at;
                sign = d;
                close_damaged(rd.next(), true);
                at = rd.next();
                continue;
            }
            if (rd.clean() && rd.r.out_len != 0 && rd.r.out_len < record_size_) {
                // Reads cleanly, but short of the record size: cut, in place.
                damaged = at;
                sign = {CMPR_DAMAGE_RECORD_SIZE, 8 * at, rd.r.out_len};
                close_damaged(rd.next(), true);
                at = rd.next();
                continue;
            }
            // Reads to more than a record (bytes that decode as literals
            // before a segment read as its own), or not cleanly: the next
            // segment may start at any byte.
            damaged = at;
            sign = {rd.r.damage, rd.r.damage_bit, rd.r.damage_value};
            if (rd.clean()) sign = {CMPR_DAMAGE_RECORD_SIZE, 8 * at, rd.r.out_len};
            if (stop < n_ && rd.r.damage == CMPR_DAMAGE_NO_END)
                sign = {Damage::kCut, 8 * stop, stop};
            chain = false;
            at += 1;
        } else if (damaged == kNone) {
            // After flash: the rest of a segment whose start it took.
            damaged = at;
            sign = {Damage::kHeadLost, 8 * at, 0};
        }
        Repeat found;
        const uint64_t c = search(at, stop, damaged == kNone ? at : damaged, found);
        if (found.end != 0) {
            take_repeat(found);
            continue;
        }
        if (c == kNone) {
            close_damaged(stop);
            at = stop;
            continue;
        }
        if (const Repeat rep = repeat_around(c, damaged == kNone ? c : damaged); rep.end != 0) {
            take_repeat(rep);
            continue;
        }
        close_damaged(c);
        if (static_cast<int>(c % 4) != grid_) {
            grid = static_cast<int>(c % 4);
            gap_exact_ = false;
            gap_other_ = true;
        }
        at = c;
        chain = true;
    }
    if (at < n_) {  // the last bytes, which the decoder does not read
        Stretch r;
        r.offset = at;
        r.length = n_ - at;
        bool zeros = true, erased = true;
        for (uint64_t i = at; i < n_; ++i) zeros &= b_[i] == 0, erased &= b_[i] == 0xFF;
        r.kind = zeros ? Stretch::kZeros : erased ? Stretch::kErased : Stretch::kJunk;
        if (r.kind == Stretch::kJunk) r.damage = {CMPR_DAMAGE_TRAILING, 8 * at, r.length};
        emit(r);
    }
    if (gap_start_ != kNone) end_gap(n_);
    sum_.records = next_record_;
    sum_.record_size = record_size_;
    if (any_ && last_.kind != Stretch::kSegment && last_.offset + last_.length == n_) {
        sum_.tail = last_.kind;
        sum_.tail_offset = last_.offset;
    }
    sum_.writer_checked = check_writer && !writer_gave_up();
    return sum_;
}

}  // namespace

std::string hex_offset(uint64_t offset) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%08llx", static_cast<unsigned long long>(offset));
    return buf;
}

const char *stretch_words(Stretch::Kind k) {
    static const char *const kWords[] = {
        "segment",
        "damaged segment",
        "zeroed flash",
        "erased flash",
        "a repeat of the bytes before it, as a flash block written twice leaves it",
        "bytes of no segment"};
    return kWords[k];
}

const char *damage_name(uint32_t kind) {
    switch (kind) {
        case CMPR_DAMAGE_NONE:
            return "clean";
        case CMPR_DAMAGE_FAR_DISTANCE:
            return "far-distance";
        case CMPR_DAMAGE_BEFORE_START:
            return "before-start";
        case CMPR_DAMAGE_NO_END:
            return "no-end";
        case CMPR_DAMAGE_PADDING:
            return "padding";
        case CMPR_DAMAGE_RECORD_SIZE:
            return "record-size";
        case CMPR_DAMAGE_ERASED:
            return "erased";
        case CMPR_DAMAGE_ZEROS:
            return "zeros";
        case CMPR_DAMAGE_TRAILING:
            return "trailing";
        case Damage::kNotAsWritten:
            return "not-as-written";
        case Damage::kCut:
            return "cut";
        case Damage::kHeadLost:
            return "head-lost";
    }
    return "unknown";
}

std::string describe(const Damage &d) {
    char buf[160];
    const unsigned long long bit = d.bit, byte = d.bit / 8, v = d.value;
    switch (d.kind) {
        case CMPR_DAMAGE_NONE:
            return "clean";
        case CMPR_DAMAGE_FAR_DISTANCE:
            std::snprintf(buf, sizeof buf, "distance %llu above 8192 at bit 0x%llx (byte 0x%llx)",
                          v, bit, byte);
            break;
        case CMPR_DAMAGE_BEFORE_START:
            std::snprintf(buf, sizeof buf,
                          "distance %llu before the segment's start at bit 0x%llx (byte 0x%llx)", v,
                          bit, byte);
            break;
        case CMPR_DAMAGE_NO_END:
            std::snprintf(buf, sizeof buf, "no end code before the data ends (byte 0x%llx)", byte);
            break;
        case CMPR_DAMAGE_PADDING:
            std::snprintf(buf, sizeof buf, "non-zero padding at byte 0x%llx", byte);
            break;
        case CMPR_DAMAGE_RECORD_SIZE:
            std::snprintf(buf, sizeof buf, "%llu bytes of output, not the record size", v);
            break;
        case CMPR_DAMAGE_TRAILING:
            std::snprintf(buf, sizeof buf,
                          "%llu bytes after the last segment that no segment reads", v);
            break;
        case Damage::kNotAsWritten:
            std::snprintf(buf, sizeof buf,
                          "reads cleanly, but the writer would have written its %llu bytes "
                          "otherwise: changed after it was written",
                          v);
            break;
        case Damage::kCut:
            std::snprintf(buf, sizeof buf, "flash erased or zeroed from byte 0x%llx on, inside it",
                          byte);
            break;
        case Damage::kHeadLost:
            std::snprintf(buf, sizeof buf,
                          "the rest of a segment whose start the flash before it took");
            break;
        default:
            std::snprintf(buf, sizeof buf, "damage of kind %u at bit 0x%llx", d.kind, bit);
    }
    return buf;
}

WalkSummary walk_dump(Bytes buf, const WalkOptions &opt, const WalkSink &sink) {
    // A first walk counts the clean segments by length: the record size,
    // when none is given, and the bytes a record takes, for estimates.
    Census census;
    if (opt.record_size != 0 || opt.infer) {
        Walker first(buf, opt.record_size, nullptr, &census);
        first.run();
    }
    uint64_t record_size = opt.record_size, votes = 0;
    if (record_size == 0 && opt.infer) {
        for (const auto &[len, l] : census.by_length)
            if (2 * l.count > census.clean && l.count >= 2 && len > 0)
                record_size = len, votes = l.count;
    }
    WalkSummary head;
    head.record_size = record_size;
    head.inferred = opt.record_size == 0 && record_size != 0;
    head.votes = votes;
    head.voters = census.clean;
    if (sink.start) sink.start(head);
    Walker second(buf, record_size, &sink, nullptr);
    if (record_size != 0) {
        // Without a clean record of that size, a record is taken to shrink
        // by half.
        second.mean = static_cast<double>(record_size) / 2;
        if (const auto it = census.by_length.find(record_size); it != census.by_length.end()) {
            second.mean =
                static_cast<double>(it->second.bytes) / static_cast<double>(it->second.count);
            second.last_full = it->second.last;
        }
    }
    second.check_writer = opt.check_writer;
    second.output_limit = opt.output_limit;
    WalkSummary s = second.run();
    if (opt.record_size == 0 && record_size != 0) {
        s.inferred = true;
        s.votes = votes;
        s.voters = census.clean;
    }
    return s;
}

std::span<const uint8_t> own_bytes(Bytes buf, const Stretch &p, std::vector<uint8_t> &scratch) {
    if (p.skip_len == 0) return buf.subspan(p.offset, p.length);
    const auto at = [&](uint64_t i) { return buf.begin() + static_cast<ptrdiff_t>(i); };
    scratch.assign(at(p.offset), at(p.skip_at));
    scratch.insert(scratch.end(), at(p.skip_at + p.skip_len), at(p.offset + p.length + p.skip_len));
    return scratch;
}

WalkSummary walk_for_damage(Bytes buf, const WalkOptions &opt, uint64_t base, std::string &first) {
    first.clear();
    WalkSink sink;
    sink.region = [&](const Stretch &r, Bytes) {
        if (!first.empty() || r.clean() ||
            (r.kind == Stretch::kZeros && r.offset + r.length == buf.size()))
            return;
        first = std::string(stretch_words(r.kind)) + " at byte " + hex_offset(base + r.offset);
        if (r.kind == Stretch::kDamaged || r.kind == Stretch::kJunk) {
            Damage d = r.damage;
            d.bit += 8 * base;
            first += ": " + describe(d);
        }
    };
    return walk_dump(buf, opt, sink);
}

void swap_words(std::span<uint8_t> buf, int bits) {
    const size_t w = static_cast<size_t>(bits / 8);
    for (size_t i = 0; i + w <= buf.size(); i += w)
        std::reverse(buf.begin() + i, buf.begin() + i + w);
}

int looks_swapped(Bytes buf) {
    const size_t prefix = std::min<size_t>(buf.size(), 64 << 10) / 4 * 4;
    auto clean_share = [&](Bytes b) {
        Walker w(b, 0, nullptr, nullptr);
        const WalkSummary s = w.run();
        return s.clean >= 2 ? static_cast<double>(s.recoverable) : 0.0;
    };
    const double plain = clean_share(buf.first(prefix));
    std::vector<uint8_t> copy;
    for (int bits : {16, 32}) {
        copy.assign(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(prefix));
        swap_words(copy, bits);
        if (clean_share(copy) > 4 * plain + 1024) return bits;
    }
    return 0;
}

}  // namespace cmpr_tool
