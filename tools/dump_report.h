// What `cmpr inspect` prints of a buffer of segments: rows, gaps, a summary
// and a map, as text for a screen or as one JSON object.  Both are written
// as the walk goes, so that a dump of millions of segments needs no memory
// for its rows.
#ifndef CMPR_TOOLS_DUMP_REPORT_H
#define CMPR_TOOLS_DUMP_REPORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "dump_walk.h"

namespace cmpr_tool {

// What the report says before the first row.
struct ReportHead {
    std::string file;
    uint64_t size = 0;             // of the whole file
    uint64_t base = 0;             // where the segments start in it (after a header)
    bool container = false;        // the tool's own file: with a CRC-32
    std::string method;            // container: its method's name
    uint64_t claimed_length = 0;   // container: the original's length
    std::string record_size_from;  // "option", "header", "inferred", or "" (none)
    std::string note;              // a line about the record size, or ""
    int swapped = 0;               // read with its 16- or 32-bit words swapped
    int looks_swapped = 0;         // reads cleanly swapped (and not as it is)
};

class SegmentReport {
   public:
    virtual ~SegmentReport() = default;
    // Once the walk knows its record size, before the first region.
    virtual void start(const WalkSummary &s) = 0;
    virtual void region(const Stretch &r) = 0;
    virtual void gap(const Gap &g) = 0;
    // 'crc': for a container, "ok", "mismatch" or "unchecked"; else "".
    // 'lone_byte': on a mismatch, the output byte that one change there would
    // explain, or UINT64_MAX.
    virtual void finish(const WalkSummary &s, const std::string &crc,
                        uint64_t lone_byte = UINT64_MAX) = 0;
};

// 'all': every row; otherwise the damaged ones with a clean neighbour each.
std::unique_ptr<SegmentReport> text_report(const ReportHead &head, bool all);
std::unique_ptr<SegmentReport> json_report(const ReportHead &head);

// The one line that says what bare segments cannot show.
std::string no_checksum_note(bool writer_checked);

// "record 3" or "records 3-5": the records a gap stands for (one or more).
std::string gap_records(const Gap &g);

// "one changed byte would explain it: output byte 0x... in record 3 (a
// guess: ...)".
std::string lone_byte_text(uint64_t offset, uint64_t record_size);

}  // namespace cmpr_tool

#endif
