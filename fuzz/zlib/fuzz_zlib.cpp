// The zlib wrappers on arbitrary bytes and output sizes, 0 and tiny ones
// included, and the checksum beside them.  zlib itself is not instrumented,
// and the checksum reads 16 to 64 bytes at a time, so input and output sit
// against unmapped pages: a read past the input or a write past 'dst_size'
// faults.
//
// Input layout: byte 0 picks the output size (see dst_size_for), the rest is
// the data, handed to decmprs_data() as a stream and to cmprs_data() as
// input to compress and restore.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cmpr.h"
#include "fuzz_support.h"
#include "support/guarded_buffer.h"

namespace {

constexpr size_t kMaxData = 1 << 16;
constexpr uint32_t kMaxDst = 1 << 20;

// The buffers, mapped once: data is placed so that it ends at a guard page.
cmpr_test::GuardedBuffer *g_src;
cmpr_test::GuardedBuffer *g_dst;
cmpr_test::GuardedBuffer *g_back;

uint8_t *ending_at_guard(const cmpr_test::GuardedBuffer *b, size_t n) {
    return b->data_at_end() + b->size() - n;
}

// 0, 1-63 bytes, or the data's length times 0-63.
uint32_t dst_size_for(uint8_t pick, size_t data_len) {
    const uint32_t k = pick >> 2;
    switch (pick & 3) {
        case 0:
            return 0;
        case 1:
            return k;
        default: {
            const uint64_t want = static_cast<uint64_t>(data_len) * k;
            return want > kMaxDst ? kMaxDst : static_cast<uint32_t>(want);
        }
    }
}

// What decmprs_data() leaves where nothing was restored: "garbage", then
// zero bytes, the last byte zero.
bool holds_prefill(const uint8_t *dst, uint32_t dst_size, uint32_t from) {
    static const char kFill[] = "garbage";
    for (uint32_t i = from; i < dst_size; ++i) {
        const uint8_t want = i + 1 == dst_size || i >= 7 ? 0 : static_cast<uint8_t>(kFill[i]);
        if (dst[i] != want) return false;
    }
    return true;
}

// Restores 'src' with decmprs_data() into 'dst_size' bytes at a guard page
// and checks the result against zlib called directly.
void restore_and_check(const uint8_t *src, size_t len, uint32_t dst_size) {
    uint8_t *dst = ending_at_guard(g_dst, dst_size);
    cmpr_fuzz::reset_tally();
    const int rc = decmprs_data(src, static_cast<uint32_t>(len), dst_size, dst);
    FUZZ_CHECK(rc == 0 || rc == 1);
    FUZZ_CHECK(cmpr_fuzz::tally().zlib_failures == static_cast<uint32_t>(rc));

    // zlib on its own, into the same room: same verdict, same bytes.  With
    // no room at all zlib's own one-call helper cannot be compared.
    if (dst_size == 0) return;
    std::vector<uint8_t> direct(dst_size);
    uLongf direct_len = dst_size;
    uLong src_len = static_cast<uLong>(len);
    const int zrc = uncompress2(direct.data(), &direct_len, src, &src_len);
    if (rc == 0) {
        FUZZ_CHECK(zrc == Z_OK);
        FUZZ_CHECK(std::memcmp(dst, direct.data(), direct_len) == 0);
        FUZZ_CHECK(holds_prefill(dst, dst_size, static_cast<uint32_t>(direct_len)));
    } else {
        FUZZ_CHECK(zrc != Z_OK);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::install_quiet_trace();
    g_src = new cmpr_test::GuardedBuffer(kMaxData);
    g_dst = new cmpr_test::GuardedBuffer(kMaxDst);
    g_back = new cmpr_test::GuardedBuffer(kMaxData);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size - 1 > kMaxData) return -1;
    const size_t len = size - 1;
    const uint32_t dst_size = dst_size_for(data[0], len);
    uint8_t *src = ending_at_guard(g_src, len);
    if (len > 0) std::memcpy(src, data + 1, len);

    // The data as a zlib stream.
    restore_and_check(src, len, dst_size);

    // Its checksum, whole and in two pieces, as zlib has it.
    const auto n = static_cast<int32_t>(len);
    const uint32_t crc = crc_gen(src, n);
    FUZZ_CHECK(crc == crc32(0, src, static_cast<uInt>(len)));
    const int32_t split = static_cast<int32_t>(dst_size % (len + 1));
    FUZZ_CHECK(~update_crc(update_crc(0xFFFFFFFFu, src, split), src + split, n - split) == crc);

    // The data compressed: room for exactly its length.
    uint8_t *packed = ending_at_guard(g_dst, len);
    uint32_t packed_len = 0xFFFFFFFFu;
    cmpr_fuzz::reset_tally();
    const int rc = cmprs_data(src, static_cast<uint32_t>(len), &packed_len, packed);
    FUZZ_CHECK(rc == 0 || rc == 1);
    FUZZ_CHECK(packed_len <= len);
    FUZZ_CHECK(cmpr_fuzz::tally().reports == 0);
    if (rc != 0) return 0;

    // It restores exactly, into exactly its length, and fails cleanly into
    // less room, however little.
    uint8_t *stream = ending_at_guard(g_src, packed_len);
    std::memcpy(stream, packed, packed_len);
    uint8_t *back = ending_at_guard(g_back, len);
    const std::vector<uint8_t> original(data + 1, data + size);
    FUZZ_CHECK(decmprs_data(stream, packed_len, static_cast<uint32_t>(len), back) == 0);
    FUZZ_CHECK(std::memcmp(back, original.data(), len) == 0);
    const uint32_t short_room = dst_size < len ? dst_size : static_cast<uint32_t>(len) - 1;
    uint8_t *tight = ending_at_guard(g_back, short_room);
    FUZZ_CHECK(decmprs_data(stream, packed_len, short_room, tight) == 1);
    return 0;
}
