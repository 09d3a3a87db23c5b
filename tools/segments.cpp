#include "segments.h"

#include <algorithm>
#include <cstdio>

#include "stream_codes.h"

namespace cmpr_tool {

namespace {

constexpr uint64_t kMinResyncOutput = 16;

// The buffer's bits, the first in bit 0 of byte 0, zeros past the end.
struct Bits {
    std::span<const uint8_t> buf;
    uint64_t peek(uint64_t pos) const {  // at least 56 bits from 'pos' on
        const uint64_t at = pos / 8;
        uint64_t w = 0;
        if (at + 8 <= buf.size()) {
            for (uint64_t i = 0; i < 8; ++i) w |= uint64_t{buf[at + i]} << (8 * i);
        } else {
            for (uint64_t i = 0; i < 8 && at + i < buf.size(); ++i)
                w |= uint64_t{buf[at + i]} << (8 * i);
        }
        return w >> (pos % 8);
    }
};

struct Parsed {
    Sign sign;
    uint64_t end_bit = 0;  // just after the end code
    uint64_t out = 0;
};

// One segment from byte 'start', as the decoder reads it, counting its output.
Parsed parse(const Bits &b, uint64_t start) {
    Parsed p;
    const uint64_t data_bits = 8 * b.buf.size();
    uint64_t pos = 8 * start;
    auto mark = [&](Sign::Kind kind, uint64_t bit, uint64_t value) {
        if (p.sign.kind == Sign::kNone) p.sign = {kind, bit, value};
    };
    for (;;) {
        uint64_t w = b.peek(pos);
        // The decoder's own tables for the fixed code.
        const cmpr::LitLenEntry e = cmpr::kLitLenTable[w & 511];
        const bool end_code = cmpr::entry_kind(e) == cmpr::kEndOfSegment;
        if (pos + cmpr::entry_bits(e) > data_bits && !end_code) mark(Sign::kNoEnd, data_bits, 0);
        pos += cmpr::entry_bits(e);
        w >>= cmpr::entry_bits(e);
        if (cmpr::is_literal(e)) {
            ++p.out;
            continue;
        }
        if (end_code) {
            if (pos > data_bits) mark(Sign::kNoEnd, data_bits, 0);
            p.end_bit = pos;
            return p;
        }
        const uint32_t lx = cmpr::entry_kind(e);  // the length's extra bits
        const uint32_t len = cmpr::entry_value(e) + uint32_t(w & ((1u << lx) - 1));
        pos += lx;
        w >>= lx;
        const cmpr::DistanceEntry d = cmpr::kDistanceTable[w & 31];
        const uint32_t dist = d.base + uint32_t((w >> 5) & ((1u << d.extra) - 1));
        pos += 5 + d.extra;
        if (pos > data_bits) mark(Sign::kNoEnd, data_bits, 0);
        if (dist > cmpr::kMaxSilentDistance)
            mark(Sign::kFarDistance, pos, dist);
        else if (dist > p.out)
            mark(Sign::kBeforeStart, pos, dist);
        p.out += len;
        if (pos > data_bits + 64) return p;  // well past the end: nothing but end codes follow
    }
}

uint32_t word_at(std::span<const uint8_t> buf, uint64_t at) {
    return uint32_t{buf[at]} | uint32_t{buf[at + 1]} << 8 | uint32_t{buf[at + 2]} << 16 |
           uint32_t{buf[at + 3]} << 24;
}

// The first non-zero bit from 'from' up to 'to', or 'to'.
uint64_t first_set(const Bits &b, uint64_t from, uint64_t to) {
    for (uint64_t p = from; p < to; ++p)
        if (b.peek(p) & 1) return p;
    return to;
}

}  // namespace

std::string describe(const Sign &s) {
    char buf[128];
    const unsigned long long bit = s.bit, byte = s.bit / 8, v = s.value;
    switch (s.kind) {
        case Sign::kNone:
            return "clean";
        case Sign::kFarDistance:
            std::snprintf(buf, sizeof buf, "distance %llu above 8192 at bit 0x%llx (byte 0x%llx)",
                          v, bit, byte);
            break;
        case Sign::kBeforeStart:
            std::snprintf(buf, sizeof buf,
                          "distance %llu before the segment's start at bit 0x%llx (byte 0x%llx)", v,
                          bit, byte);
            break;
        case Sign::kNoEnd:
            std::snprintf(buf, sizeof buf, "no end code before the data ends (byte 0x%llx)", byte);
            break;
        case Sign::kPadding:
            std::snprintf(buf, sizeof buf, "non-zero padding at byte 0x%llx", byte);
            break;
        case Sign::kRecordSize:
            std::snprintf(buf, sizeof buf, "%llu bytes of output, not the record size", v);
            break;
    }
    return buf;
}

std::string hex_offset(uint64_t offset) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%08llx", static_cast<unsigned long long>(offset));
    return buf;
}

std::string first_damage(const Walk &w) {
    for (size_t i = 0; i < w.segments.size(); ++i)
        if (!w.segments[i].clean())
            return "segment " + std::to_string(i) + " at byte " +
                   hex_offset(w.segments[i].in_offset) + ": " + describe(w.segments[i].sign);
    if (!w.tail_damaged()) return "";
    return std::string(w.tail == Walk::kErased ? "erased flash (0xFF)"
                                               : "data that is no segment") +
           " after the last segment, from byte " + hex_offset(w.tail_offset);
}

bool Walk::clean() const {
    for (const Segment &s : segments)
        if (!s.clean()) return false;
    return !tail_damaged();
}

void shift(Walk &w, uint64_t bytes) {
    w.base += bytes;
    w.tail_offset += bytes;
    for (Segment &s : w.segments) {
        s.in_offset += bytes;
        if (!s.clean()) s.sign.bit += 8 * bytes;
    }
}

Walk walk_segments(std::span<const uint8_t> buf, uint64_t record_size) {
    const Bits b{buf};
    const uint64_t n = buf.size();
    Walk w;
    // A segment at 'at' that decodes cleanly, with only zero bits after its
    // end code up to the next 32-bit boundary: its end, else 0.
    auto clean_at = [&](uint64_t at, Parsed &p) {
        p = parse(b, at);
        if (p.sign.kind != Sign::kNone) return uint64_t{0};
        const uint64_t aligned = (p.end_bit + 31) / 32 * 32;
        if (const uint64_t bad = first_set(b, p.end_bit, aligned); bad < aligned)
            p.sign = {Sign::kPadding, bad, 0};
        return p.sign.kind == Sign::kNone ? aligned / 8 : 0;
    };
    auto ff_end = [&](uint64_t from) {  // the first byte from 'from' on that is not 0xFF
        while (from < n && buf[from] == 0xFF) ++from;
        return from;
    };
    // After damage, the bytes may decode cleanly by chance from some 4-byte
    // boundary inside them: mostly the tail of the damaged segment's own
    // symbols, a few literals and its end code.  A new start counts when
    // its segment stands for at least kMinResyncOutput bytes and for a whole
    // record (when the record size is known), and the segment after it
    // decodes cleanly too, or only filler and a tail follow.  A smaller
    // record right after damage stays with the damaged bytes.
    auto starts_clean_run = [&](uint64_t c) {
        Parsed p;
        uint64_t next = clean_at(c, p);
        if (next == 0 ||
            p.out < std::min(record_size ? record_size : kMinResyncOutput, kMinResyncOutput) ||
            (record_size != 0 && p.out > record_size))
            return false;
        while (next + 4 <= n && word_at(buf, next) == 0) next += 4;
        const bool tail = n - std::min(next, n) <= 4 || ff_end(next) == n;
        if (record_size != 0 && p.out != record_size && !tail) return false;
        return tail || clean_at(next, p) != 0;
    };
    uint64_t at = 0;  // a 4-byte boundary
    while (at < n &&
           (at == 0 || n - at > 4)) {  // the decoder's end rule: more than four bytes left
        if (n - at >= 4 && word_at(buf, at) == 0) {  // zero filler: end codes, skipped
            (w.segments.empty() ? w.leading_zeros : w.segments.back().padding) += 4;
            at += 4;
            continue;
        }
        if (ff_end(at) == n) break;  // erased flash from here on
        Segment s;
        s.in_offset = at;
        Parsed p;
        if (const uint64_t next = clean_at(at, p); next != 0) {
            // The end code and a zero bit after it, unless the end code
            // ends the 4-byte word; the rest is filler.
            s.in_length = std::min({(p.end_bit + 1 + 7) / 8, next, n}) - at;
            s.padding = std::min(next, n) - at - s.in_length;
            s.out_length = p.out;
            at = next;
        } else {
            // The bytes up to the next 4-byte boundary from which a segment
            // decodes cleanly, or up to the tail, belong to this one.  Zero
            // words are filler, and erased flash starts no segment.
            s.sign = p.sign;
            s.out_length = p.out;
            uint64_t c = at + 4;
            for (; n - c > 4; c += 4) {
                const uint32_t word = word_at(buf, c);
                if (word == 0xFFFFFFFFu) {
                    const uint64_t end = ff_end(c);
                    if (end == n) break;
                    c = end / 4 * 4 -
                        4;  // the loop steps to the word that holds the first other byte
                } else if (word != 0 && starts_clean_run(c)) {
                    break;
                }
            }
            if (n - c <= 4 &&
                std::any_of(buf.begin() + c, buf.end(), [](uint8_t x) { return x != 0; }))
                c = n;  // what the decoder would not read is no tail of zeros: the segment's
            s.in_length = c - at;
            at = c;
        }
        w.segments.push_back(s);
    }
    w.tail_offset = std::min(at, n);
    if (w.tail_offset < n) {
        bool zeros = true, erased = true;
        for (uint64_t i = w.tail_offset; i < n; ++i) zeros &= buf[i] == 0, erased &= buf[i] == 0xFF;
        w.tail = zeros ? Walk::kZeros : erased ? Walk::kErased : Walk::kOther;
    }
    uint64_t out = 0;
    for (size_t i = 0; i < w.segments.size(); ++i) {
        Segment &s = w.segments[i];
        s.out_offset = out;
        out += s.out_length;
        const bool last = i + 1 == w.segments.size();
        if (record_size != 0 && s.clean() && s.out_length != record_size &&
            !(last && s.out_length < record_size)) {
            s.sign = {Sign::kRecordSize, 8 * s.in_offset, s.out_length};
        }
        if (s.clean()) w.clean_output += s.out_length;
    }
    return w;
}

}  // namespace cmpr_tool
