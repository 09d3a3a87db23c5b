// Where the segments of an own-codec buffer lie, and what is wrong with them.
//
// A host joins segments as the daemon does: each starts on a 4-byte boundary,
// zero bytes between them.  The walk reads the buffer as the library's
// decoder does (the same symbols, the zero bits past the end, the end rule),
// but it only counts: it writes no output, so it needs no memory beyond its
// result.  It notes every sign of damage that can be seen without a
// checksum, each with its position, and after a damaged segment it looks for
// the next 4-byte boundary from which a segment decodes cleanly.
#ifndef CMPR_TOOLS_SEGMENTS_H
#define CMPR_TOOLS_SEGMENTS_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cmpr_tool {

// A sign of damage, at 'bit' from the start of the buffer.
struct Sign {
    enum Kind : uint8_t {
        kNone,
        kFarDistance,  // a distance above 8192 ('value')
        kBeforeStart,  // a distance ('value') reaching before the segment's first byte
        kNoEnd,        // the data ends before the segment's end code
        kPadding,      // a non-zero byte where the segment's padding belongs
        kRecordSize,   // output of 'value' bytes where the record size asks for another
    };
    Kind kind = kNone;
    uint64_t bit = 0;
    uint64_t value = 0;
};

// "distance 9000 above 8192 at bit 0x1f3 (byte 0x3e)" and so on.
std::string describe(const Sign &s);

struct Segment {
    // Its bytes, the writer's filler included; a damaged segment runs up to
    // the next segment that decodes cleanly (or the tail).
    uint64_t in_offset = 0, in_length = 0;
    uint64_t padding = 0;  // zero bytes after it, up to the next segment or the tail
    uint64_t out_offset = 0, out_length = 0;  // what the decoder makes of it alone
    Sign sign;                                // the first sign of damage; kNone: clean
    bool clean() const { return sign.kind == Sign::kNone; }
};

struct Walk {
    uint64_t base = 0;           // where the buffer starts in its file; see shift()
    uint64_t leading_zeros = 0;  // zero bytes before the first segment
    std::vector<Segment> segments;
    uint64_t tail_offset = 0;  // bytes from here to the end belong to no segment
    enum Tail : uint8_t { kNoTail, kZeros, kErased, kOther } tail = kNoTail;
    uint64_t clean_output = 0;  // bytes the clean segments stand for
    bool clean() const;         // every segment clean, the tail nothing or zeros
    bool tail_damaged() const { return tail == kErased || tail == kOther; }
};

// "0x0000abcd": how the tool writes byte offsets.
std::string hex_offset(uint64_t offset);

// The first sign of damage, with where it is ("segment 3 at byte 0x...:
// ..."), or the tail that is neither zeros nor nothing; "" when clean.
std::string first_damage(const Walk &w);

// Moves every offset and bit position of 'w' by 'bytes', and its base to
// there: for a buffer that lies that far into its file (after a header).
void shift(Walk &w, uint64_t bytes);

// 'record_size' (0: not known) is the size the daemon gave each record: a
// segment whose output differs is marked, except a shorter last one.
Walk walk_segments(std::span<const uint8_t> buf, uint64_t record_size);

}  // namespace cmpr_tool

#endif
