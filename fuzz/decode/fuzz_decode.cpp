// The own decoder on arbitrary bytes (every byte sequence is a stream of the
// format): it stays within the input and the documented worst case, ends,
// reports and escalates every corrupt distance once, and its fast road agrees
// with the block decoder on everything a host sees.  Then the raw-field mode.
#include <cstring>

#include "fuzz_common.h"

namespace {

uint32_t raw_fields(const uint8_t *src, uint32_t n, uint8_t *dst) {
    cmpr::reset_decoder(src, n);
    decode_block(src, 3, &litlen_tree, &offset_tree, dst);  // 14 bits at most per 258 bytes
    return cmpr::decode_state.out_cnt;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return -1;
    // One copy for both runs, in fixed bytes: failure dumps show what lies around the input.
    static uint8_t framed[32 + (1u << 20) + 128];
    std::memset(framed, 0x3C, sizeof framed);
    if (size > 0) std::memcpy(framed + 32, data, size);
    const auto n = static_cast<uint32_t>(size);
    const cmpr_test::Decoded want =
        cmpr_test::observe(cmpr_test::reference_decmprs, framed + 32, n);
    const cmpr_test::Decoded got = cmpr_test::observe(gzip_decmprs, framed + 32, n);
    FUZZ_CHECK(cmpr_test::difference(got, want).empty());
    size_t corrupt = 0;
    for (const std::string &r : got.reports) corrupt += r.rfind("decode_block-724-3: ", 0) == 0;
    FUZZ_CHECK(got.reboots == corrupt);
    FUZZ_CHECK(!got.reports.empty());  // decoding ends only after a traced end code
    cmpr_test::observe(raw_fields, framed + 32, n);
    return 0;
}
