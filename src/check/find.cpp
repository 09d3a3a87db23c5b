// cmpr_find_segment(): the first byte from which a segment reads cleanly.
//
// After damage the next segment may start at any byte.  Trying every start
// in turn would read on from each one, and where the bytes decode as
// literals for long (fill patterns such as 0xAA) each reading runs to the
// end of the fill: quadratic.  But readings from different starts meet:
// the code is a prefix code, and two readings that reach the same bit read
// the same symbols from there on.  Two things let a reading stop where it
// meets an earlier one and take the rest from it:
//   - the latest reading, kept symbol by symbol with what follows each
//     symbol's start: the next starts mostly meet it within a few symbols,
//     or start right on it;
//   - notes at some bits of every reading (checkpoints, chosen by a hash of
//     the bit, so that every reading that passes a bit agrees whether it is
//     one) saying what the rest of the reading from there holds, for
//     readings that meet an older one.
// Every bit is then read about once, whatever the data.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cmpr_check.h"
#include "reader.h"

namespace cmpr::check {
namespace {

// What the reading holds from a checkpoint on.
struct Rest {
    uint64_t key = 0;      // the checkpoint's bit + 1; 0: an empty slot
    uint64_t end_bit = 0;  // where the reading stops: after its end code or its far distance
    uint64_t out = 0;      // bytes from the checkpoint to there
    int32_t need = -1;     // the most output before the checkpoint that a distance after it
                           // needs (distance less the output between); -1: none needs any
    uint8_t far = 0;       // it stops at a distance above 8192
    uint8_t pad_gap = 32;  // after an end code: zero bits before the next one bit, up to 32
};

constexpr int32_t kNoNeed = -1;

// About one in 256 of a reading's symbol starts is a checkpoint: notes cost
// memory, and most starts meet the latest path without one.
bool is_checkpoint(uint64_t bit) {
    return ((bit * 0x9E3779B97F4A7C15ull) >> 56) == 0;
}

// An open-addressed table of checkpoints, keyed by bit.  Notes behind the
// current start are never needed again: they are dropped when it grows.
class Notes {
   public:
    ~Notes() { std::free(slots_); }
    const Rest *find(uint64_t bit) const {
        if (cap_ == 0) return nullptr;
        for (size_t i = slot(bit);; i = (i + 1) & (cap_ - 1)) {
            if (slots_[i].key == bit + 1) return &slots_[i];
            if (slots_[i].key == 0) return nullptr;
        }
    }
    // False when memory runs out.
    bool add(const Rest &r, uint64_t behind) {
        if (4 * (used_ + 1) > 3 * cap_ && !rebuild(behind)) return false;
        size_t i = slot(r.key - 1);
        while (slots_[i].key != 0 && slots_[i].key != r.key) i = (i + 1) & (cap_ - 1);
        used_ += slots_[i].key == 0;
        slots_[i] = r;
        return true;
    }

   private:
    size_t slot(uint64_t bit) const {
        return static_cast<size_t>((bit * 0xD6E8FEB86659FD93ull) >> 32) & (cap_ - 1);
    }
    // Keeps the notes at or after bit 'behind'; doubles the room when they
    // fill more than half of it.
    bool rebuild(uint64_t behind) {
        size_t live = 0;
        for (size_t i = 0; i < cap_; ++i) live += slots_[i].key > behind;
        size_t cap = cap_ == 0 ? 1024 : cap_;
        while (2 * (live + 1) > cap) cap *= 2;
        Rest *fresh = static_cast<Rest *>(std::calloc(cap, sizeof(Rest)));
        if (fresh == nullptr) return false;
        Rest *old = slots_;
        const size_t old_cap = cap_;
        slots_ = fresh;
        cap_ = cap;
        used_ = 0;
        for (size_t i = 0; i < old_cap; ++i) {
            if (old[i].key <= behind) continue;
            size_t j = slot(old[i].key - 1);
            while (slots_[j].key != 0) j = (j + 1) & (cap_ - 1);
            slots_[j] = old[i];
            ++used_;
        }
        std::free(old);
        return true;
    }
    Rest *slots_ = nullptr;
    size_t cap_ = 0, used_ = 0;
};

// A checkpoint met on the reading under way, before its rest is known.
struct Mark {
    uint64_t bit, out;  // where, and the output of the reading up to there
    size_t step;        // how many symbols the reading had read there
    int32_t need;       // as in Rest, for the distances up to the next mark
};

class Marks {
   public:
    ~Marks() { std::free(marks_); }
    bool push(uint64_t bit, uint64_t out, size_t step) {
        if (n_ == cap_) {
            const size_t cap = cap_ == 0 ? 64 : 2 * cap_;
            Mark *m = static_cast<Mark *>(std::realloc(marks_, cap * sizeof(Mark)));
            if (m == nullptr) return false;
            marks_ = m;
            cap_ = cap;
        }
        marks_[n_++] = {bit, out, step, kNoNeed};
        return true;
    }
    // A distance 'dist' with 'out' bytes of output before it.
    void distance(uint32_t dist, uint64_t out) {
        if (n_ == 0) return;
        Mark &m = marks_[n_ - 1];
        const uint64_t between = out - m.out;
        if (between < dist) m.need = std::max(m.need, static_cast<int32_t>(dist - between));
    }
    size_t size() const { return n_; }
    const Mark &operator[](size_t i) const { return marks_[i]; }
    void clear() { n_ = 0; }

   private:
    Mark *marks_ = nullptr;
    size_t n_ = 0, cap_ = 0;
};

// A symbol of a reading: where it starts, the bytes it stands for, its
// distance (0 for a literal).
struct Step {
    uint64_t bit;
    uint32_t len, dist;
};

// The latest reading that met no other, symbol by symbol, and once it is
// done what follows each symbol's start: a start on it, or a reading that
// meets it, needs no more reading.
struct Path {
    static constexpr size_t kCap = 4096;
    Step steps[kCap];
    uint64_t out[kCap];  // bytes from the step to where the reading stops
    int32_t need[kCap];  // as in Rest, from the step on
    size_t known = 0;    // steps whose rest is known; 0: no path
    size_t start = 0;    // the first step not behind the latest start tried
    size_t cursor = 0;   // the first step not behind the reading under way
    Rest rest;           // where the path stops: end_bit, far, pad_gap
    // Sets both cursors to the first step at or after 'bit', which does not
    // go back from one start to the next.
    void seek(uint64_t bit) {
        while (start < known && steps[start].bit < bit) ++start;
        cursor = start;
    }
    // Whether a step starts at 'bit' (which does not go back between calls
    // after a seek()), and which.
    bool at(uint64_t bit, size_t &i) {
        while (cursor < known && steps[cursor].bit < bit) ++cursor;
        i = cursor;
        return cursor < known && steps[cursor].bit == bit;
    }
};

}  // namespace
}  // namespace cmpr::check

using namespace cmpr::check;

struct cmpr_finder {
    const uint8_t *buf;
    uint32_t len, stop;
    BitSource bits;
    Notes notes;
    Marks marks;
    Path paths[2];  // the latest path, and room for the reading under way
    int latest;
};

extern "C" cmpr_finder *cmpr_finder_new(const uint8_t *buf, uint32_t len, uint32_t stop) {
    void *p = std::malloc(sizeof(cmpr_finder));
    if (p == nullptr) return nullptr;
    stop = std::min(stop, len);
    return new (p) cmpr_finder{buf, len, stop, BitSource(buf, stop), {}, {}, {}, 0};
}

extern "C" void cmpr_finder_free(cmpr_finder *f) {
    if (f == nullptr) return;
    f->~cmpr_finder();
    std::free(f);
}

namespace {

// 'rest' seen from 'len' bytes and one distance ('dist', 0: none) earlier.
void step_back(Rest &rest, uint32_t len, uint32_t dist) {
    const int64_t carried = static_cast<int64_t>(rest.need) - len;
    rest.out += len;
    rest.need = static_cast<int32_t>(std::max<int64_t>(carried, kNoNeed));
    if (dist != 0) rest.need = std::max(rest.need, static_cast<int32_t>(dist));
}

// Takes the reading just done ('n' steps in 'p') down as a path: what
// follows each of its steps, from where it stopped ('rest').  Beyond the
// steps it could keep, the rest is known at its checkpoints only.
void keep_path(const cmpr_finder &f, Path &p, size_t n, Rest rest) {
    p.known = p.cursor = p.start = 0;
    size_t from = n;
    if (n > Path::kCap) {  // from the latest checkpoint among the kept steps
        size_t i = f.marks.size();
        while (i > 0 && f.marks[i - 1].step >= Path::kCap) --i;
        const Rest *r = i == 0 ? nullptr : f.notes.find(f.marks[i - 1].bit);
        if (r == nullptr) return;
        rest = *r;
        from = f.marks[i - 1].step;
    }
    p.rest = rest;
    for (size_t k = from; k-- > 0;) {
        step_back(rest, p.steps[k].len, p.steps[k].dist);
        p.out[k] = rest.out;
        p.need[k] = rest.need;
    }
    p.known = from;
}

// Reads from byte 'c' until the reading ends or meets an earlier one, notes
// what it learnt, and says whether a segment starting at 'c' reads cleanly
// (1) or not (0) and how much it stands for; -1 when memory ran out.
int reads_cleanly(cmpr_finder &f, uint64_t c, uint64_t &out_total) {
    const BitSource &b = f.bits;
    Marks &marks = f.marks;
    Path &path = f.paths[f.latest], &taken = f.paths[1 - f.latest];
    uint64_t pos = 8 * c, out = 0;
    bool bad = false;     // a distance reaching before the start
    bool joined = false;  // met the latest path
    Rest rest;            // what follows the bit where the reading stops
    size_t steps = 0;
    marks.clear();
    for (;; ++steps) {
        size_t i;
        if (path.at(pos, i)) {
            rest = path.rest;
            rest.out = path.out[i];
            rest.need = path.need[i];
            joined = true;
            break;
        }
        if (is_checkpoint(pos)) {
            if (const Rest *met = f.notes.find(pos)) {
                rest = *met;
                break;
            }
            if (!marks.push(pos, out, steps)) return -1;
        }
        const Symbol s = read_symbol(b.peek(pos));
        if (steps < Path::kCap) taken.steps[steps] = {pos, s.len, s.dist};
        pos += s.bits;
        if (s.len == 0) {
            rest.end_bit = pos;
            rest.pad_gap = static_cast<uint8_t>(first_one(b, pos, pos + 32) - pos);
            break;
        }
        if (s.dist != 0) {
            if (s.dist > cmpr::kMaxSilentDistance) {
                rest.end_bit = pos;
                rest.far = 1;
                break;
            }
            bad |= s.dist > out;
            marks.distance(s.dist, out);
        }
        out += s.len;
    }
    out_total = out + rest.out;
    const uint64_t pad_to = std::min(aligned_end(8 * c, rest.end_bit), b.stop_bits());
    const int clean = !bad && rest.need <= static_cast<int64_t>(out) && !rest.far &&
                      rest.end_bit <= b.stop_bits() && rest.end_bit + rest.pad_gap >= pad_to;
    // Notes for the checkpoints met on the way, latest first.
    const Rest stopped = rest;
    uint64_t out_here = out;
    for (size_t i = marks.size(); i-- > 0;) {
        const Mark &m = marks[i];
        const uint64_t between = out_here - m.out;
        const int64_t carried = static_cast<int64_t>(rest.need) - static_cast<int64_t>(between);
        rest.out += between;
        rest.need = std::max(m.need, static_cast<int32_t>(std::max<int64_t>(carried, kNoNeed)));
        rest.key = m.bit + 1;
        out_here = m.out;
        if (!f.notes.add(rest, 8 * c)) return -1;
    }
    // A reading that met the latest path leaves it in place: the next starts
    // meet it too.  Any other becomes the latest path.
    if (!joined) {
        keep_path(f, taken, steps, stopped);
        f.latest = 1 - f.latest;
    }
    return clean;
}

// Most starts in damaged data fail within a few symbols: a segment that
// stands for anything starts with a literal, and its first distances must
// stay inside it.  They are told apart before any note is taken.
bool fails_soon(const BitSource &b, uint64_t c) {
    uint64_t pos = 8 * c, out = 0;
    for (int k = 0; k < 8; ++k) {
        const Symbol s = read_symbol(b.peek(pos));
        if (s.len == 0) return k == 0;
        if (s.dist > out || s.dist > cmpr::kMaxSilentDistance) return true;
        pos += s.bits;
        out += s.len;
    }
    return false;
}

}  // namespace

extern "C" int cmpr_find_segment(cmpr_finder *f, uint32_t from, uint32_t to, uint64_t min_out,
                                 uint64_t max_out, uint32_t *at, cmpr_segment_reading *r) {
    to = std::min(to, f->stop);
    min_out = std::max<uint64_t>(min_out, 1);
    for (uint64_t c = from; c < to; ++c) {
        // A start on the latest path needs no reading; most others fail soon.
        Path &latest = f->paths[f->latest];
        size_t i;
        latest.seek(8 * c);
        if (!latest.at(8 * c, i) && fails_soon(f->bits, c)) continue;
        latest.cursor = latest.start;
        uint64_t out = 0;
        const int clean = reads_cleanly(*f, c, out);
        if (clean < 0) return -1;
        if (!clean || out < min_out || out > max_out) continue;
        *at = static_cast<uint32_t>(c);
        cmpr_read_segment(f->buf, f->len, static_cast<uint32_t>(c), f->stop, r);
        return 1;
    }
    return 0;
}
