// The zlib wrappers on arbitrary bytes and output sizes, and the checksum
// beside them.  zlib is not instrumented and the checksum reads many bytes at
// a time, so input and output end at unmapped pages: a read past the input
// or a write past the room faults.  Byte 0 picks the room: 0, 1-63 bytes, or
// the data's length times 0-63; the rest is the data, restored as a stream
// and compressed and restored in turn.
#include <zlib.h>

#include <cstring>

#include "fuzz_common.h"

namespace {

constexpr size_t kMaxData = 1 << 16;
constexpr uint32_t kMaxRoom = 1 << 20;
cmpr_test::GuardedBuffer *g_src, *g_dst, *g_back;

uint8_t *ending_at(cmpr_test::GuardedBuffer *b, size_t n) {
    return b->end() - n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    g_src = new cmpr_test::GuardedBuffer(kMaxData);
    g_dst = new cmpr_test::GuardedBuffer(kMaxRoom);
    g_back = new cmpr_test::GuardedBuffer(kMaxData);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size - 1 > kMaxData) return -1;
    const size_t len = size - 1;
    const uint32_t k = data[0] >> 2, kind = data[0] & 3;
    const uint64_t scaled = static_cast<uint64_t>(len) * k;
    const uint32_t room = kind == 0 ? 0
                          : kind == 1
                              ? k
                              : static_cast<uint32_t>(scaled < kMaxRoom ? scaled : kMaxRoom);
    uint8_t *src = ending_at(g_src, len);
    std::memcpy(src, data + 1, len);

    // As a stream: the same verdict and bytes as zlib on its own, and
    // "garbage" then zeros where nothing was restored, the last byte zero.
    uint8_t *dst = ending_at(g_dst, room);
    const int rc = decmprs_data(src, static_cast<uint32_t>(len), room, dst);
    FUZZ_CHECK(rc == 0 || rc == 1);
    if (room > 0) {
        cmpr_test::Bytes direct(room);
        uLongf direct_len = room;
        uLong src_len = len;
        FUZZ_CHECK((uncompress2(direct.data(), &direct_len, src, &src_len) == Z_OK) == (rc == 0));
        for (uint32_t i = 0; rc == 0 && i < room; ++i)
            FUZZ_CHECK(dst[i] == (i < direct_len          ? direct[i]
                                  : i + 1 < room && i < 7 ? "garbage"[i]
                                                          : 0));
    }

    // The checksum, whole and in two pieces, as zlib has it.
    const auto n = static_cast<int32_t>(len), split = static_cast<int32_t>(room % (len + 1));
    const uint32_t crc = crc_gen(src, n);
    FUZZ_CHECK(crc == crc32(0, src, static_cast<uInt>(len)));
    FUZZ_CHECK(~update_crc(update_crc(0xFFFFFFFFu, src, split), src + split, n - split) == crc);

    // Compressed into exactly its length, then restored into exactly that,
    // and refused into less room, however little.
    uint8_t *packed = ending_at(g_dst, len);
    uint32_t packed_len = 0xFFFFFFFFu;
    const int crc_rc = cmprs_data(src, static_cast<uint32_t>(len), &packed_len, packed);
    FUZZ_CHECK((crc_rc == 0 || crc_rc == 1) && packed_len <= len);
    if (crc_rc != 0) return 0;
    uint8_t *stream = ending_at(g_src, packed_len);
    std::memmove(stream, packed, packed_len);
    uint8_t *back = ending_at(g_back, len);
    FUZZ_CHECK(decmprs_data(stream, packed_len, static_cast<uint32_t>(len), back) == 0);
    FUZZ_CHECK(std::memcmp(back, data + 1, len) == 0);
    const uint32_t short_room = room < len ? room : static_cast<uint32_t>(len) - 1;
    FUZZ_CHECK(decmprs_data(stream, packed_len, short_room, ending_at(g_back, short_room)) == 1);
    return 0;
}
