// What inspect and salvage are given: the tool's own file, a bare zlib
// stream, or a buffer of own-codec segments; for segments, where they start
// and which record size they are counted by.
#ifndef CMPR_TOOLS_DUMP_INPUT_H
#define CMPR_TOOLS_DUMP_INPUT_H

#include <cstdint>
#include <span>
#include <string>

#include "container.h"
#include "dump_walk.h"

namespace cmpr_tool {

enum class DumpKind { kContainer, kZlib, kSegments };

DumpKind kind_of(std::span<const uint8_t> data);

// The segments of a dump: the payload of the tool's own file (methods 2 and
// 3) or the whole buffer, and how to walk them.
struct SegmentInput {
    std::span<const uint8_t> bytes;
    uint64_t base = 0;             // where they start in the file
    WalkOptions walk;              // the record size to count by, if any
    std::string record_size_from;  // "option", "header", or ""
    std::string note;              // about the header's record size, or ""
};

// 'record_size': the user's (0: none).  A header's record size counts unless
// the user gave one; one that no file of its length could have is ignored,
// and the note says so.
SegmentInput segment_input(std::span<const uint8_t> data, const Header *h, uint64_t record_size);

}  // namespace cmpr_tool

#endif
