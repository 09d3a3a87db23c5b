// Own-codec segments restored by the library, for decompress, salvage and
// the walk's check that a segment is what the writer wrote.  The library's
// decoder escalates corrupt distances; the tool's stand-in for its shell
// seam counts them, and these turn a count into the tool's own error.
#ifndef CMPR_TOOLS_SEGMENT_DECODE_H
#define CMPR_TOOLS_SEGMENT_DECODE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file_io.h"

namespace cmpr_tool {

// What 'buf' (segments joined on 4-byte boundaries, none damaged) stands
// for, in one library call, into room of exactly 'expect' bytes.  Throws
// Failure naming 'name' when the decoder escalated a distance or made
// another length.
Region decode_segments(std::span<const uint8_t> buf, uint64_t expect, const std::string &name);

// Bytes decoded on their own from an aligned copy, as the decoder makes
// them, into 'out' (resized to exactly what it made): a clean segment whose
// length its reading gave ('expect'), or damaged bytes, whose length the
// checker tells first (kUnknown).  Returns the escalations.
inline constexpr uint64_t kUnknown = UINT64_MAX;
int decode_alone(std::span<const uint8_t> seg, std::vector<uint8_t> &out,
                 uint64_t expect = kUnknown);

// Whether 'seg' (a segment's bytes up to its padding) is exactly what the
// writer makes of 'out': the writer is deterministic, so a segment whose
// output it would write otherwise was changed after it was written.
bool as_written(std::span<const uint8_t> seg, std::span<const uint8_t> out);

// While one lives, the library's trace reports are the tool's own business
// (the decodes that check a segment), not the user's: -v does not show them.
class MuteLibraryReports {
   public:
    MuteLibraryReports() { ++muted_; }
    ~MuteLibraryReports() { --muted_; }
    MuteLibraryReports(const MuteLibraryReports &) = delete;
    MuteLibraryReports &operator=(const MuteLibraryReports &) = delete;
    static bool muted() { return muted_ > 0; }

   private:
    static inline int muted_ = 0;
};

// CRC-32 of any span, and the register run on from 'reg' (the library's
// update_crc() counts in a signed int).
uint32_t crc32_update(uint32_t reg, std::span<const uint8_t> data);
uint32_t crc32_of(std::span<const uint8_t> data);

// Where in 'length' bytes whose CRC-32 is 'got' and should be 'want' one
// changed byte would explain the mismatch: a CRC-32 tells where a single
// wrong byte lies, when exactly one offset and value fit.  kUnknown when none
// or more than one do.
uint64_t lone_wrong_byte(uint32_t got, uint64_t length, uint32_t want);

}  // namespace cmpr_tool

#endif
