// The own codec end to end on arbitrary bytes: gzip_cmprs() stays within
// ceil(9n/8) + 1 bytes (its output room is exactly that, so the address
// sanitizer sees any byte past it), writes the same bytes as the step-by-step
// composition of the exported building blocks and the same bytes again on a
// second call, and gzip_decmprs() restores the input exactly, with one
// segment end and no escalation.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "cmpr.h"
#include "fuzz_support.h"
#include "support/reference_codec.h"

namespace {

std::unique_ptr<uint8_t[]> room(uint64_t n) {
    return std::unique_ptr<uint8_t[]>(new uint8_t[n]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::install_quiet_trace();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > UINT32_MAX / 2) return -1;
    const auto n = static_cast<uint32_t>(size);
    const uint64_t bound = CMPR_GZIP_CMPRS_BOUND(n);

    auto packed = room(bound);
    const int32_t len = gzip_cmprs(data, n, packed.get());
    FUZZ_CHECK(len >= 1);
    FUZZ_CHECK(static_cast<uint64_t>(len) <= bound);

    // The output depends only on the input, not on earlier calls (the
    // compressor keeps its hash table across calls).
    auto again = room(bound);
    FUZZ_CHECK(gzip_cmprs(data, n, again.get()) == len);
    FUZZ_CHECK(std::memcmp(packed.get(), again.get(), static_cast<size_t>(len)) == 0);

    const std::vector<uint8_t> want =
        cmpr_test::reference_cmprs(std::vector<uint8_t>(data, data + size));
    FUZZ_CHECK(want.size() == static_cast<size_t>(len));
    FUZZ_CHECK(std::memcmp(want.data(), packed.get(), want.size()) == 0);

    // Restore from an exact-size copy of the segment, into the documented room.
    auto segment = room(static_cast<uint64_t>(len));
    std::memcpy(segment.get(), packed.get(), static_cast<size_t>(len));
    auto back = room(CMPR_GZIP_DECMPRS_BOUND(static_cast<uint32_t>(len)));
    cmpr_fuzz::reset_tally();
    const uint32_t restored = gzip_decmprs(segment.get(), static_cast<uint32_t>(len), back.get());
    FUZZ_CHECK(restored == n);
    FUZZ_CHECK(size == 0 || std::memcmp(back.get(), data, size) == 0);
    FUZZ_CHECK(cmpr_fuzz::tally().corrupt_distances == 0);
    FUZZ_CHECK(cmpr_fuzz::reboot_commands() == 0);
    FUZZ_CHECK(cmpr_fuzz::tally().reports == 1);  // the segment end
    return 0;
}
