// The own codec end to end on arbitrary bytes: gzip_cmprs stays within its
// bound, writes what the building blocks driven step by step write, and the
// same again on a second call; gzip_decmprs restores the input exactly from
// an exact-size copy, with one segment end and no escalation.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 24)) return -1;
    const cmpr_test::Bytes in(data, data + size), packed = cmpr_test::compress(in);
    FUZZ_CHECK(packed == cmpr_test::compress(in));  // the hash table outlives calls
    FUZZ_CHECK(packed == cmpr_test::reference_cmprs(in));
    const cmpr_test::Decoded d =
        cmpr_test::observe(gzip_decmprs, packed.data(), static_cast<uint32_t>(packed.size()));
    FUZZ_CHECK(d.out == in);
    FUZZ_CHECK(d.reboots == 0 && d.reports.size() == 1);
    return 0;
}
