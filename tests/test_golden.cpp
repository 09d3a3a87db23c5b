// The unit must write exactly the bytes the developer's machine writes.  The
// checksums below were recorded on x86-64; the armhf and s390x runs compare
// against them, which proves identical output, not a round trip that merely
// agrees with itself.
#include <gtest/gtest.h>

#include "support/support.h"

using cmpr_test::Bytes;

namespace {

uint32_t crc_of(const Bytes &b) {
    return crc_gen(b.data(), static_cast<int32_t>(b.size()));
}

std::string line(const std::string &name, size_t in_size, uint32_t in_crc, size_t out_size,
                 uint32_t out_crc) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s, %zu, 0x%08X, %zu, 0x%08X", name.c_str(), in_size,
                  static_cast<unsigned>(in_crc), out_size, static_cast<unsigned>(out_crc));
    return buf;
}

}  // namespace

// One line per sample of varied_samples(): the sample (a generator fault shows
// apart from a codec fault), then its segment.
TEST(Golden, EverySampleCompressesToTheRecordedBytesAndBack) {
    const char *const want[] = {
        "zeros-100k, 100000, 0xD411957D, 1110, 0x335A493E",
        "period-3, 1000, 0xF2CE6062, 16, 0x4010DA7E",
        "text-1M, 1048576, 0x0B2629E4, 472771, 0xC0F25FC2",
        "records-200k, 200000, 0xE68B96D3, 94835, 0x419C4518",
        "random-3M, 3145728, 0xF51D88BD, 3317326, 0xEDDF35D9",
        "period-8189, 40000, 0xE1A8A5CD, 10442, 0x07001271",
        "period-8190, 40000, 0x556DBC0B, 42145, 0x8ED0B48E",
        "period-8192, 40000, 0xED612BEC, 42160, 0x74E4757C",
        "period-8193, 40000, 0x43EE484F, 42143, 0x4DAAB834",
        "mixed, 73000, 0x56425AA3, 37575, 0xF2506F77",
        "high-literals, 5000, 0x3960790F, 183, 0x8A2EEBC2",
    };
    std::vector<std::string> got;
    cmpr_test::TraceCapture quiet;
    for (const auto &[name, in] : cmpr_test::varied_samples()) {
        const Bytes out = cmpr_test::compress(in);
        got.push_back(line(name, in.size(), crc_of(in), out.size(), crc_of(out)));
        Bytes back(in.size() + 16, 0xEE);
        ASSERT_EQ(gzip_decmprs(out.data(), static_cast<uint32_t>(out.size()), back.data()),
                  in.size())
            << name;
        back.resize(in.size());
        EXPECT_TRUE(back == in) << name;
    }
    EXPECT_EQ(got, std::vector<std::string>(std::begin(want), std::end(want)));
}
