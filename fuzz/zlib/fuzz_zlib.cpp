// The zlib wrappers on arbitrary bytes and output sizes, and the checksum
// beside them.  zlib is not instrumented and the checksum reads many bytes at
// a time, so input and output end at unmapped pages: a read past the input
// or a write past the room faults.  Byte 0 picks the room: 0, 1-63 bytes, or
// the data's length times 0-63; the rest is the data, restored as a stream
// and compressed and restored in turn.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "fuzz_common.h"

namespace {
cmpr_test::GuardedBuffer *g_src, *g_dst, *g_back;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    g_src = new cmpr_test::GuardedBuffer(1 << 16);
    g_dst = new cmpr_test::GuardedBuffer(1 << 20);
    g_back = new cmpr_test::GuardedBuffer(1 << 16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size - 1 > (1 << 16)) return -1;
    const auto len = static_cast<uint32_t>(size - 1), k = uint32_t{data[0]} >> 2;
    const uint32_t room = (data[0] & 3) == 0   ? 0
                          : (data[0] & 3) == 1 ? k
                                               : std::min(len * k, 1u << 20);
    uint8_t *src = g_src->end - len, *dst = g_dst->end - room;
    std::memcpy(src, data + 1, len);

    // As a stream: the verdict and bytes of zlib on its own, and "garbage"
    // then zeros where nothing was restored, the last byte zero.
    const int rc = decmprs_data(src, len, room, dst);
    cmpr_test::Bytes direct(room);
    uLongf direct_len = room;
    uLong src_len = len;
    if (room > 0)
        FUZZ_CHECK((uncompress2(direct.data(), &direct_len, src, &src_len) == Z_OK) == (rc == 0));
    for (uint32_t i = 0; rc == 0 && i < room; ++i)
        FUZZ_CHECK(dst[i] == (i < direct_len          ? direct[i]
                              : i + 1 < room && i < 7 ? "garbage"[i]
                                                      : 0));

    // The checksum, whole and in two pieces, as zlib has it.
    const uint32_t crc = crc_gen(src, int32_t(len)), split = room % (len + 1);
    FUZZ_CHECK(crc == crc32(0, src, len));
    FUZZ_CHECK(~update_crc(update_crc(~0u, src, int32_t(split)), src + split,
                           int32_t(len - split)) == crc);

    // Compressed into exactly its length, then restored into exactly that,
    // and refused into less room, however little.
    uint32_t packed_len = ~0u;
    const int declined = cmprs_data(src, len, &packed_len, g_dst->end - len);
    FUZZ_CHECK(packed_len <= len);
    if (declined != 0) return 0;
    uint8_t *stream = g_src->end - packed_len;
    std::memmove(stream, g_dst->end - len, packed_len);
    FUZZ_CHECK(decmprs_data(stream, packed_len, len, g_back->end - len) == 0);
    FUZZ_CHECK(std::memcmp(g_back->end - len, data + 1, len) == 0);
    const uint32_t less = std::min(room, len - 1);
    FUZZ_CHECK(decmprs_data(stream, packed_len, less, g_back->end - less) == 1);
    return 0;
}
