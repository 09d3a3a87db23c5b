// cmprs_data / decmprs_data: results, out_len, pre-fill and failure reports.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_data.h"
#include "support/trace_capture.h"
#include "support/zlib_faults.h"

using cmpr_test::TraceCapture;

namespace {

std::vector<uint8_t> zlib_stream(const std::vector<uint8_t> &data) {
    uLongf n = compressBound(data.size());
    std::vector<uint8_t> out(n);
    EXPECT_EQ(compress2(out.data(), &n, data.data(), data.size(), 1), Z_OK);
    out.resize(n);
    return out;
}

std::string str(const uint8_t *p, size_t n) {
    return std::string(reinterpret_cast<const char *>(p), n);
}

}  // namespace

TEST(CmprsData, FailsWithoutReportWhenTheStreamDoesNotFit) {
    TraceCapture cap;
    uint8_t dst[8];
    uint32_t out_len = 77;
    EXPECT_EQ(cmprs_data(dst, 0, &out_len, dst), 1);  // no room at all
    EXPECT_EQ(out_len, 0u);

    const uint8_t few[] = {'a', 'b', 'c', 'd', 'e'};
    out_len = 77;
    EXPECT_EQ(cmprs_data(few, sizeof few, &out_len, dst), 1);
    EXPECT_LE(out_len, sizeof few);

    std::vector<uint8_t> noise = cmpr_test::random_bytes(4096, 7);
    std::vector<uint8_t> out(noise.size());
    EXPECT_EQ(cmprs_data(noise.data(), 4096, &out_len, out.data()), 1);
    EXPECT_LE(out_len, 4096u);
    EXPECT_TRUE(cap.reports().empty());
}

TEST(CmprsData, RoundTripsThroughDecmprsData) {
    for (const auto &[name, data] : cmpr_test::compressible_samples()) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> packed(data.size());
        uint32_t out_len = 0;
        ASSERT_EQ(cmprs_data(data.data(), data.size(), &out_len, packed.data()), 0);
        ASSERT_LT(out_len, data.size());
        std::vector<uint8_t> back(data.size());
        ASSERT_EQ(decmprs_data(packed.data(), out_len, back.size(), back.data()), 0);
        EXPECT_EQ(back, data);
    }
    std::vector<uint8_t> a1000(1000, 'a'), packed(1000), back(1000);
    uint32_t out_len = 0;
    ASSERT_EQ(cmprs_data(a1000.data(), 1000, &out_len, packed.data()), 0);
    EXPECT_LT(out_len, 50u);
    EXPECT_EQ(decmprs_data(packed.data(), out_len, 1000, back.data()), 0);
    EXPECT_EQ(back, a1000);
}

TEST(DecmprsData, PreFillsWithGarbageAndKeepsTheTail) {
    std::vector<uint8_t> stream = zlib_stream({'a', 'b', 'c'});
    uint8_t dst[16];
    std::memset(dst, 0xEE, sizeof dst);
    EXPECT_EQ(decmprs_data(stream.data(), stream.size(), sizeof dst, dst), 0);
    EXPECT_EQ(str(dst, 16), std::string("abcbage\0\0\0\0\0\0\0\0\0", 16));
}

TEST(DecmprsData, ShortPreFillOnImmediateFailure) {
    TraceCapture cap;
    const uint8_t junk[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    uint8_t dst[6];
    std::memset(dst, 0xEE, sizeof dst);
    EXPECT_EQ(decmprs_data(junk, sizeof junk, 5, dst), 1);
    EXPECT_EQ(str(dst, 6), std::string("garb\0\xEE", 6));
}

TEST(DecmprsData, ZeroCapacityWritesNothing) {
    std::vector<uint8_t> stream = zlib_stream({'a', 'b', 'c'});
    std::vector<uint8_t> guard(32, 0xEE);
    TraceCapture cap;
    EXPECT_EQ(decmprs_data(stream.data(), stream.size(), 0, guard.data() + 16), 1);
    EXPECT_EQ(guard, std::vector<uint8_t>(32, 0xEE));
    EXPECT_EQ(cap.reports()[0].text(), "decmprs_data-201: inflate error: -5 expected: 1");
}

TEST(DecmprsData, ReportsTooLittleRoom) {
    std::vector<uint8_t> data(100, 'q');
    std::vector<uint8_t> stream = zlib_stream(data);
    uint8_t dst[50];
    TraceCapture cap;
    EXPECT_EQ(decmprs_data(stream.data(), stream.size(), sizeof dst, dst), 1);
    ASSERT_EQ(cap.reports().size(), 7u);
    EXPECT_EQ(cap.reports()[0].text(), "decmprs_data-201: inflate error: -5 expected: 1");
    EXPECT_EQ(str(dst, 50), std::string(50, 'q'));
}

TEST(DecmprsData, RejectsTheOwnFormatAndDumpsFromBeforeTheInput) {
    // The own codec's segment for "abcabcabc": not a zlib header.
    std::vector<uint8_t> buf(32 + 7 + 100, 0);
    const uint8_t seg[] = {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00};
    std::memcpy(buf.data() + 32, seg, sizeof seg);
    for (int i = 0; i < 32; ++i) buf[i] = static_cast<uint8_t>(0x10 + i);
    uint8_t dst[64];

    std::string out = cmpr_test::stdout_of(
        [&] { EXPECT_EQ(decmprs_data(buf.data() + 32, sizeof seg, sizeof dst, dst), 1); });
    char first_row[128];
    std::snprintf(first_row, sizeof first_row,
                  "dbg_hex_dump-59: inflate error: buffer dump:\n"
                  "dbg_hex_dump-64: %p: 10111213 14151617 18191A1B 1C1D1E1F 20212223\n",
                  static_cast<void *>(buf.data()));
    EXPECT_EQ(
        out.rfind(std::string("decmprs_data-201: inflate error: -3 expected: 1\n") + first_row, 0),
        0u)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7);
}

TEST(ZlibWrappers, InitFailuresAreReportedAndDumped) {
    TraceCapture cap;
    cmpr_test::ZlibInitFailure fail(Z_MEM_ERROR);
    std::vector<uint8_t> src(200, 1), dst(200, 0);
    uint32_t out_len = 99;
    EXPECT_EQ(cmprs_data(src.data(), 200, &out_len, dst.data()), 1);
    EXPECT_EQ(out_len, 99u);
    EXPECT_EQ(cap.reports()[0].text(), "cmprs_data-112: deflateInit error: -4 expected: 0");
    EXPECT_EQ(cap.reports().size(), 7u);

    cap.clear();
    EXPECT_EQ(decmprs_data(src.data() + 100, 100, 50, dst.data()), 1);
    EXPECT_EQ(cap.reports()[0].text(), "decmprs_data-184: inflateInit error: -4 expected: 0");
    EXPECT_EQ(cap.reports()[1].text(), "dbg_hex_dump-59: inflateInit error: buffer dump:");
    EXPECT_EQ(cap.reports().size(), 7u);
    EXPECT_EQ(str(dst.data(), 9), std::string("garbage\0\0", 9));
}
