// The unit must write exactly the bytes that the developer's machine writes:
// segments made on one architecture are restored on another.  The checksums
// below were recorded on x86-64; the cross runs (32-bit ARM, big-endian s390x)
// compare against them, which proves identical output rather than a round
// trip that merely agrees with itself.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include "cmpr.h"
#include "support/shell_recorder.h"
#include "support/test_data.h"
#include "support/trace_capture.h"

using cmpr_test::Bytes;

namespace {

struct Recorded {
    const char *name;
    uint32_t in_size, in_crc;    // the sample: tells a generator fault from a codec fault
    uint32_t out_size, out_crc;  // its segment
};

// Every sample of varied_samples(), in order.
const Recorded kRecorded[] = {
    {"empty", 0, 0x00000000, 1, 0xD202EF8D},
    {"one", 1, 0xD3D99E8B, 2, 0xE4D9A73A},
    {"one-ff", 1, 0xFF000000, 3, 0x58C2DCBE},
    {"two", 2, 0x9E83486D, 3, 0x301E0D51},
    {"three", 3, 0xF007732D, 4, 0xB5B025A0},
    {"abcd", 4, 0xED82CD11, 5, 0x46F0006D},
    {"abcabcabc", 9, 0x462D4818, 7, 0x21390972},
    {"zeros-100k", 100000, 0xD411957D, 1110, 0x335A493E},
    {"ff-70k", 70000, 0x80F95A0A, 778, 0x526EE907},
    {"period-8189", 40000, 0xE1A8A5CD, 10442, 0x07001271},
    {"period-8190", 40000, 0x556DBC0B, 42145, 0x8ED0B48E},
    {"period-8192", 40000, 0xED612BEC, 42160, 0x74E4757C},
    {"period-8193", 40000, 0x43EE484F, 42143, 0x4DAAB834},
    {"period-3", 1000, 0xF2CE6062, 16, 0x4010DA7E},
    {"text-1M", 1048576, 0x0B2629E4, 472771, 0xC0F25FC2},
    {"records-200k", 200000, 0xE68B96D3, 94835, 0x419C4518},
    {"random-64k", 65536, 0x283A1DBA, 69127, 0x6C8492DF},
    {"random-3M", 3145728, 0xF51D88BD, 3317326, 0xEDDF35D9},
    {"mixed", 73000, 0x56425AA3, 37575, 0xF2506F77},
    {"high-literals", 5000, 0x3960790F, 183, 0x8A2EEBC2},
};

uint32_t crc_of(const Bytes &b) {
    return crc_gen(b.data(), static_cast<int32_t>(b.size()));
}

// One entry of the table above, as it is written there.
std::string line(const std::string &name, size_t in_size, uint32_t in_crc, size_t out_size,
                 uint32_t out_crc) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "    {\"%s\", %zu, 0x%08X, %zu, 0x%08X},\n", name.c_str(),
                  in_size, static_cast<unsigned>(in_crc), out_size, static_cast<unsigned>(out_crc));
    return buf;
}

}  // namespace

// The table, one line per sample, as this machine makes it.
TEST(Golden, EverySampleCompressesToTheRecordedBytesAndBack) {
    cmpr_test::TraceCapture quiet;  // the segment ends
    std::string got, want;
    for (const Recorded &r : kRecorded)
        want += line(r.name, r.in_size, r.in_crc, r.out_size, r.out_crc);
    for (const auto &[name, in] : cmpr_test::varied_samples()) {
        Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size()));
        out.resize(static_cast<size_t>(
            gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data())));
        got += line(name, in.size(), crc_of(in), out.size(), crc_of(out));

        Bytes back(in.size() + 16, 0xEE);
        ASSERT_EQ(gzip_decmprs(out.data(), static_cast<uint32_t>(out.size()), back.data()),
                  in.size())
            << name;
        back.resize(in.size());
        EXPECT_TRUE(back == in) << name;
    }
    EXPECT_EQ(got, want);
}

// The decoder on arbitrary bytes, corrupt distances included: the same
// output, and the same number of escalations, on every architecture.
TEST(Golden, ArbitraryBytesDecodeToTheRecordedOutput) {
    const struct {
        uint64_t seed;
        uint32_t out_size, out_crc;
        size_t escalations;
    } recorded[] = {
        {1, 40694, 0xD664F960, 121}, {2, 41938, 0xD4F9D09D, 113}, {3, 39245, 0xAC083C4C, 109},
        {4, 36174, 0xBE90546B, 124}, {5, 35916, 0x2A31A9DB, 110}, {6, 36896, 0x9ED9982E, 112},
    };
    cmpr_test::TraceCapture quiet;
    for (const auto &r : recorded) {
        SCOPED_TRACE(r.seed);
        const Bytes in = cmpr_test::random_bytes(4096, 1000 + r.seed);
        Bytes out(CMPR_GZIP_DECMPRS_BOUND(in.size()));
        cmpr_test::shell_commands().clear();
        testing::internal::CaptureStderr();
        out.resize(gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), out.data()));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(out.size(), r.out_size);
        EXPECT_EQ(crc_of(out), r.out_crc);
        EXPECT_EQ(cmpr_test::shell_commands().size(), r.escalations);
    }
}
