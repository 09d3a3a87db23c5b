// The file the tool writes, for both codecs: a small header, then the payload.
//
//   offset  size
//    0      4     magic "CMPZ"
//    4      1     method: 0 stored, 1 zlib (one stream as cmprs_data writes
//                 it), 2 own codec (one segment as gzip_cmprs writes it),
//                 3 own codec in records (one segment per record, each padded
//                 with zero bytes to a multiple of 4, then four zero bytes)
//    5      4     original length, little-endian
//    9      4     CRC-32 of the original, little-endian
//   13      4     method 3 only: the record size, little-endian
//   13 or 17      payload
//
// Files of methods 0 and 1 are the ones the tool wrote before it had the
// others; they read the same.
#ifndef CMPR_TOOLS_CONTAINER_H
#define CMPR_TOOLS_CONTAINER_H

#include <cstdint>
#include <span>
#include <string>

namespace cmpr_tool {

// The name compress gives its output beside the input, and decompress strips.
inline constexpr char kSuffix[] = ".cz";

enum class Method : uint8_t { kStored = 0, kZlib = 1, kOwn = 2, kOwnRecords = 3 };

struct Header {
    Method method = Method::kStored;
    uint32_t length = 0;       // of the original
    uint32_t crc = 0;          // of the original
    uint32_t record_size = 0;  // method 3 only
    size_t size() const { return method == Method::kOwnRecords ? 17 : 13; }
    bool own() const { return method == Method::kOwn || method == Method::kOwnRecords; }
};

inline constexpr size_t kMaxHeader = 17;

// "stored", "zlib", "own", "own-records".
const char *method_name(Method m);

// Whether 'file' starts with the magic (or with as much of it as it holds).
bool has_magic(std::span<const uint8_t> file);

// The header of 'file', which has_magic(); throws Failure naming 'name' when
// the header is cut short or names no method the tool knows.
Header read_header(std::span<const uint8_t> file, const std::string &name);

// Writes the h.size() bytes of 'h' at 'at'.
void write_header(const Header &h, uint8_t *at);

}  // namespace cmpr_tool

#endif
