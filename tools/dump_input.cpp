#include "dump_input.h"

#include <algorithm>

#include "zlib_probe.h"

namespace cmpr_tool {

DumpKind kind_of(std::span<const uint8_t> data) {
    if (has_magic(data)) return DumpKind::kContainer;
    // A zlib header that zlib gets past: two header bytes can occur at the
    // start of a segment by chance.
    if (looks_like_zlib(data) &&
        probe_zlib(data.first(std::min<size_t>(data.size(), 64)), {}).in_used > 2)
        return DumpKind::kZlib;
    return DumpKind::kSegments;
}

SegmentInput segment_input(std::span<const uint8_t> data, const Header *h, uint64_t record_size) {
    SegmentInput in;
    in.bytes = data;
    in.walk.check_writer = true;
    if (record_size != 0) {
        in.walk.record_size = record_size;
        in.record_size_from = "option";
    }
    if (h == nullptr) return in;
    in.base = h->size();
    in.bytes = data.subspan(in.base);
    if (h->method != Method::kOwnRecords) {
        in.walk.infer = record_size != 0;  // one segment: no records unless asked
        return in;
    }
    // A record size no file of this length could have (above the original's
    // length, or 0) is a damaged header, not a reason to write gigabytes.
    const uint64_t declared = h->record_size;
    const bool possible = declared != 0 && declared <= std::max<uint64_t>(h->length, 1);
    if (record_size != 0) {
        if (declared != record_size)
            in.note = "the header's record size " + std::to_string(declared) +
                      " is overridden by --record-size " + std::to_string(record_size);
    } else if (possible) {
        in.walk.record_size = declared;
        in.record_size_from = "header";
    } else {
        in.note = "the header's record size " + std::to_string(declared) + " is impossible for " +
                  std::to_string(h->length) + " bytes: ignored";
    }
    return in;
}

}  // namespace cmpr_tool
