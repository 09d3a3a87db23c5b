// inspect, salvage and test on arbitrary bytes, taken as a unit's dump and as
// a file of the tool's: they end, stay within their buffers and memory, and
// fail only with the tool's own one-line errors.
#include <cstring>

#include "codecs.h"
#include "dump_commands.h"
#include "errors.h"
#include "fuzz_common.h"
#include "progress.h"

namespace {

int silent(const char *, int, int, const char *, ...) {
    return 0;
}

template <class F>
void may_fail(F f) {
    try {
        f();
    } catch (const cmpr_tool::Failure &) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    cmpr_api_init(silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 16)) return -1;
    const std::span<const uint8_t> in(data, size);
    using namespace cmpr_tool;
    // The first byte picks the options, so that each run takes one road.
    const int pick = size > 0 ? data[0] : 0;
    may_fail([&] {
        inspect_data(
            "f", in,
            InspectOptions{(pick & 1) != 0, (pick & 2) != 0, pick & 4 ? 64u : 0u, 0, false});
    });
    const int fill = pick & 8 ? 0 : -1;
    const SalvageOptions opt{
        pick & 16 ? 256u : 0u, fill < 0 && (pick & 32) != 0, fill, 0, false, false};
    uint64_t written = 0;
    may_fail([&] {
        salvage_data("f", in, opt, [&](std::span<const uint8_t> p) { written += p.size(); });
    });
    may_fail([&] {
        Progress progress("f", true);
        decompress(in, DecompressOptions{(pick & 64) != 0, false, true}, "f", progress);
    });
    return 0;
}
