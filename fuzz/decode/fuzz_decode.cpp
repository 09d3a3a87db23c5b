// The own decoder on arbitrary bytes: every byte sequence is a stream of the
// format, so every input must decode into a buffer of the documented worst
// case without reading outside the input, writing past that buffer, running
// for ever or leaking.  Corrupt distances are reported, escalated (the shell
// stand-in records "reboot -f" once per report) and decoded on.
//
// The same input also goes through the block decoder, driven as the
// decompression driver's steps read; gzip_decmprs() takes its own fast road
// and must agree with it on everything a host can see: the result, the
// bytes, every report, the escalations and the decoder state left behind.
// Last, the block decoder reads the input as raw 9-bit and 5-bit fields.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "cmpr.h"
#include "decode/decode_state.h"
#include "fuzz_support.h"

namespace {

using cmpr::decode_state;
using cmpr::DecodeState;
using cmpr_fuzz::tally;
using cmpr_fuzz::Tally;

struct Run {
    uint32_t result;
    std::unique_ptr<uint8_t[]> out;
    Tally tally;
    size_t reboots;
};

// Output room exactly as the header says, so that the address sanitizer
// sees any byte written past it.
std::unique_ptr<uint8_t[]> room_for(size_t n) {
    const uint64_t bound = CMPR_GZIP_DECMPRS_BOUND(n);
    return std::unique_ptr<uint8_t[]>(new uint8_t[bound]);
}

template <class Decode>
Run decode(const uint8_t *src, size_t n, Decode &&fn) {
    Run r{0, room_for(n), {}, 0};
    cmpr_fuzz::reset_tally();
    r.result = fn(src, static_cast<uint32_t>(n), r.out.get());
    r.tally = tally();
    r.reboots = cmpr_fuzz::reboot_commands();
    // Every corrupt distance is reported once and escalated once.
    FUZZ_CHECK(r.tally.reboot_notices == r.tally.corrupt_distances);
    FUZZ_CHECK(r.reboots == r.tally.corrupt_distances);
    FUZZ_CHECK(r.result <= CMPR_GZIP_DECMPRS_BOUND(n));
    return r;
}

uint32_t block_decoder(const uint8_t *src, uint32_t n, uint8_t *dst) {
    cmpr::reset_decoder(src, n);
    decode_block(src, 1, &litlen_tree, &offset_tree, dst);
    return decode_state.out_cnt;
}

// Raw mode reads plain 9-bit symbols and 5-bit distance codes: a 258-byte
// match takes 14 bits, so the fixed code's room is enough.
uint32_t raw_fields(const uint8_t *src, uint32_t n, uint8_t *dst) {
    cmpr::reset_decoder(src, n);
    decode_block(src, 3, &litlen_tree, &offset_tree, dst);
    return decode_state.out_cnt;
}

// The reference's state, kept aside while the fast road runs.
DecodeState g_reference_state;

void expect_same_state(const DecodeState &a, const DecodeState &b) {
    FUZZ_CHECK(a.bit_buf == b.bit_buf);
    FUZZ_CHECK(a.bit_pos == b.bit_pos);
    FUZZ_CHECK(a.bits_used == b.bits_used);
    FUZZ_CHECK(a.in_pos == b.in_pos);
    FUZZ_CHECK(a.in_len == b.in_len);
    FUZZ_CHECK(a.in_base == b.in_base);
    FUZZ_CHECK(a.out_cnt == b.out_cnt);
    FUZZ_CHECK(a.hist_pos == b.hist_pos);
    FUZZ_CHECK(std::memcmp(a.history, b.history, sizeof a.history) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::install_quiet_trace();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > UINT32_MAX) return -1;
    // The reference runs first: its reset has to clean up after the previous
    // input's fast road, and the fast road after the reference.
    const Run want = decode(data, size, block_decoder);
    g_reference_state = decode_state;
    const Run got = decode(data, size, gzip_decmprs);

    FUZZ_CHECK(got.result == want.result);
    FUZZ_CHECK(std::memcmp(got.out.get(), want.out.get(), got.result) == 0);
    FUZZ_CHECK(got.tally.reports == want.tally.reports);
    FUZZ_CHECK(got.tally.hash == want.tally.hash);
    FUZZ_CHECK(got.reboots == want.reboots);
    expect_same_state(decode_state, g_reference_state);
    // Decoding ends only after an end code, and the first one is traced.
    FUZZ_CHECK(got.tally.segment_ends >= 1);

    decode(data, size, raw_fields);
    return 0;
}
