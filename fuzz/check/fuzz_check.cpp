// The segment checker on arbitrary bytes, held to the decoder: every
// escalation, the output length and every traced segment end are the
// decoder's own; and the search for a segment start finds what trying every
// start in turn finds.
#include <cstring>

#include "cmpr_check.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 16)) return -1;
    const auto n = static_cast<uint32_t>(size);
    cmpr_check_result r;
    const uint32_t record = size > 0 ? data[0] * 16u + 1 : 0;
    FUZZ_CHECK(cmpr_check(data, n, record, &r) == r.damage);
    const cmpr_test::Decoded d = cmpr_test::observe(gzip_decmprs, data, n);
    uint32_t ends = 0;
    for (const std::string &s : d.reports) ends += s.rfind("decode_block-573-6:", 0) == 0;
    FUZZ_CHECK(r.escalations == d.reboots);
    FUZZ_CHECK(r.out_len == d.result);
    FUZZ_CHECK(r.segments == ends);
    FUZZ_CHECK((r.escalations > 0) <= (r.damage != CMPR_DAMAGE_NONE));
    if (size > 512) return 0;
    cmpr_finder *f = cmpr_finder_new(data, n, n);
    FUZZ_CHECK(f != nullptr);
    uint32_t from = 0, at = 0;
    cmpr_segment_reading got;
    for (uint32_t c = 0; c < n; ++c) {
        cmpr_segment_reading want;
        if (cmpr_read_segment(data, n, c, n, &want) != CMPR_DAMAGE_NONE || want.out_len < 16)
            continue;
        FUZZ_CHECK(cmpr_find_segment(f, from, n, 16, UINT64_MAX, &at, &got) == 1);
        FUZZ_CHECK(at == c && got.out_len == want.out_len && got.next == want.next);
        from = c + 1;
    }
    FUZZ_CHECK(cmpr_find_segment(f, from, n, 16, UINT64_MAX, &at, &got) == 0);
    cmpr_finder_free(f);
    return 0;
}
