// A walk over a buffer of own-codec segments as a unit leaves them in flash,
// damaged or not, accounting for every byte.
//
// The daemon joins records as segments on 4-byte boundaries with zero bytes
// between them.  The walk reads them through libcmpr_check, one at a time,
// and sorts the buffer into regions: clean segments, damaged stretches,
// erased flash (0xFF), zeroed flash, stretches that repeat the bytes before
// them (a remapped flash block), and bytes that belong to nothing.  After
// damage it looks for the next clean segment at every byte, so that bytes
// added or lost shift the segments after them without losing them.  With a
// record size (given, from the file's header, or inferred from the clean
// segments) it counts records: each clean segment is one, and each stretch
// between two clean segments covers a number of them, exact where the end
// codes in it say so, else estimated from its length.
#ifndef CMPR_TOOLS_DUMP_WALK_H
#define CMPR_TOOLS_DUMP_WALK_H

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace cmpr_tool {

// A sign of damage: a kind of libcmpr_check's (enum cmpr_damage), or one
// the walk adds, at 'bit' from the start of the buffer.
struct Damage {
    enum : uint32_t {
        kNotAsWritten = 100,  // reads cleanly, but the writer would have written other bits
        kCut,                 // erased or zeroed flash begins inside it
        kHeadLost,            // its start lies in the erased or zeroed flash before it
    };
    uint32_t kind = 0;  // 0: none
    uint64_t bit = 0, value = 0;
};

// "distance 9000 above 8192 at bit 0x1f3 (byte 0x3e)" and so on.
std::string describe(const Damage &d);
// "far-distance", "before-start", ...: the JSON name of a kind.
const char *damage_name(uint32_t kind);

struct Stretch {
    enum Kind : uint8_t {
        kSegment,   // a segment that reads cleanly
        kDamaged,   // a damaged segment, up to where the next clean one starts
        kZeros,     // zeroed flash, or a long run of filler
        kErased,    // erased flash (0xFF)
        kRepeated,  // the same bytes as the stretch just before: written once
        kJunk,      // bytes that belong to no segment (before the first, after the last)
    };
    Kind kind = kSegment;
    uint64_t offset = 0, length = 0;     // its bytes in the buffer (a segment's: its own)
    uint64_t padding = 0;                // a segment's zero bytes after it
    uint64_t out_length = 0;             // what it decodes to on its own
    uint64_t out_offset = 0;             // kSegment: where its output goes
    Damage damage;                       // kDamaged, kJunk: the first sign
    uint64_t record = 0;                 // kSegment with a record size: its record's index
    uint64_t skip_at = 0, skip_len = 0;  // kSegment: bytes in it that are not its own
                                         // (a repeat put into it)
    bool in_place = false;               // kDamaged: read to its own end code; only its
                                         // content changed (one record)
    int grid = -1;                       // kSegment, the first after a shift: its offset
                                         // from the 4-byte grid (0-3); else -1
    bool clean() const { return kind == kSegment; }
};

// "erased flash", "damaged segment", ...: a region's kind in words.
const char *stretch_words(Stretch::Kind k);

// The records a stretch between two clean segments covers, after its
// regions.  'estimated': from its length and the clean records' sizes;
// otherwise exact, from the end codes found in it.
struct Gap {
    uint64_t offset = 0, length = 0;
    uint64_t first_record = 0, records = 0;
    bool estimated = false;
};

struct WalkOptions {
    uint64_t record_size = 0;  // 0: infer it, if 'infer'
    bool infer = true;
    bool check_writer = false;           // re-compress each clean segment and compare, while
    uint64_t output_limit = UINT64_MAX;  // their output stays within this
};

struct WalkSummary {
    uint64_t record_size = 0;        // what the walk counted records by (0: none)
    bool inferred = false;           // ... taken from the clean segments:
    uint64_t votes = 0, voters = 0;  // this many of them decode to it, of all
    uint64_t regions = 0, clean = 0, damaged = 0, records = 0;
    uint64_t recoverable = 0;                // bytes the clean segments stand for
    uint64_t filler = 0;                     // zero bytes between segments, beyond their padding
    bool flash_damage = false;               // erased flash, zeros with data after them, repeats
    bool estimated = false;                  // from output offset 'estimated_from' on, record
    uint64_t estimated_from = 0;             //   positions are estimated
    uint64_t tail_offset = 0;                // the last region, when it is no segment: zeros,
    Stretch::Kind tail = Stretch::kSegment;  // erased flash or junk (kSegment: none)
    bool writer_checked = false;             // clean segments re-compress to their own bytes
    bool intact() const { return damaged == 0 && !flash_damage; }
};

struct WalkSink {
    std::function<void(const WalkSummary &)> start;  // the record size, before any region
    // 'out': what a clean segment decodes to, when the walk decoded it to
    // check it (else empty).
    std::function<void(const Stretch &, std::span<const uint8_t> out)> region;
    std::function<void(const Gap &)> gap;
};

// Walks 'buf', handing each region and each gap to 'sink' in buffer order.
WalkSummary walk_dump(std::span<const uint8_t> buf, const WalkOptions &opt, const WalkSink &sink);

// A segment's own bytes: where a repeat was put into it, joined across it
// in 'scratch'.
std::span<const uint8_t> own_bytes(std::span<const uint8_t> buf, const Stretch &p,
                                   std::vector<uint8_t> &scratch);

// Walks 'buf' without a sink and puts its first damage in 'first' ("" when
// clean): "segment at byte 0x...: ...", its offsets moved by 'base' (a
// header before the buffer).
WalkSummary walk_for_damage(std::span<const uint8_t> buf, const WalkOptions &opt, uint64_t base,
                            std::string &first);

// 16 or 32 when 'buf' reads cleanly with its 16-bit or 32-bit words
// swapped and not as it is; else 0.
int looks_swapped(std::span<const uint8_t> buf);

// Swaps the bytes of each 'bits'-bit word of 'buf' in place (a last, partial
// word stays).
void swap_words(std::span<uint8_t> buf, int bits);

// "0x0000abcd": how the tool writes byte offsets.
std::string hex_offset(uint64_t offset);

}  // namespace cmpr_tool

#endif
