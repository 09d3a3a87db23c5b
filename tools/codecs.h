// The tool's codecs: each whole input to a whole file in the container of
// container.h (or to bare own-codec segments), and back, checked.
#ifndef CMPR_TOOLS_CODECS_H
#define CMPR_TOOLS_CODECS_H

#include <cstdint>
#include <span>
#include <string>

#include "file_io.h"

namespace cmpr_tool {

class Progress;

struct Codec {
    const char *name;
    const char *about;  // one line for the help text
};

// zlib (the default), own.
std::span<const Codec> codecs();

// The codec called 'name'; throws UsageError when there is none.
const Codec &find_codec(const std::string &name);

struct CompressOptions {
    bool own = false;  // the library's own codec, else its zlib wrappers
    // Cut the input into records of this many bytes, each its own segment;
    // 0 makes the whole input one segment.  Own codec only.
    uint64_t record_size = 0;
    bool raw = false;    // bare segments, no container (own codec only)
    bool quiet = false;  // no notes on stderr
};

// The file for 'in'.  Input that does not shrink is stored as it is (said on
// stderr), except in bare segments.  'name' names the input in messages.
Region compress(std::span<const uint8_t> in, const CompressOptions &opt, const std::string &name,
                Progress &progress);

struct DecompressOptions {
    bool raw = false;      // 'file' is bare segments
    bool verbose = false;  // on damaged segments, let the library report on them
    bool quiet = false;
};

// The original of 'file', checked: the walk of own-codec segments, the
// length and the CRC-32.  Throws Failure with one line naming 'name' and the
// first fault when the file is damaged.
Region decompress(std::span<const uint8_t> file, const DecompressOptions &opt,
                  const std::string &name, Progress &progress);

}  // namespace cmpr_tool

#endif
