// The codecs the tool offers, as one table: each entry turns a whole input
// into a whole output in each direction.
#ifndef CMPR_TOOLS_CODECS_H
#define CMPR_TOOLS_CODECS_H

#include <cstdint>
#include <span>
#include <string>

#include "file_io.h"

namespace cmpr_tool {

struct CompressOptions {
    // Cut the input into records of this many bytes, each its own segment;
    // 0 makes the whole input one segment.  Only for codecs with segments.
    uint64_t record_size = 0;
};

struct Codec {
    const char *name;
    const char *about;  // one line for the help text
    bool takes_record_size;
    // Both null while the library lacks the codec.  'in_name' names the input
    // in messages.  Both throw Failure on data they cannot handle.
    Region (*compress)(std::span<const uint8_t> in, const CompressOptions &opt,
                       const std::string &in_name);
    Region (*decompress)(std::span<const uint8_t> in, const std::string &in_name);

    bool available() const { return compress != nullptr && decompress != nullptr; }
};

std::span<const Codec> codecs();

// The codec called 'name'; throws UsageError when there is none or when this
// build lacks it.
const Codec &find_codec(const std::string &name);

// CRC-32 of any span (the library's update_crc() counts in a signed int).
uint32_t crc32_of(std::span<const uint8_t> data);

}  // namespace cmpr_tool

#endif
