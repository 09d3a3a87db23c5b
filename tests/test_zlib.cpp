// cmprs_data and decmprs_data: the stream, the pre-fill, and the reports.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "support/support.h"

using cmpr_test::Bytes;

namespace {

Bytes str(const char *s) {
    return Bytes(s, s + std::strlen(s));
}

Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(ZlibWrappers, WriteZlibsLevelOneStreamAndRestoreIt) {
    for (const Bytes &data :
         {cmpr_test::log_text(20000, 1), Bytes(5000, 'z'), cmpr_test::binary_records(30000, 3)}) {
        uLongf n = compressBound(data.size());
        Bytes want(n), packed(data.size()), back(data.size());
        ASSERT_EQ(compress2(want.data(), &n, data.data(), data.size(), 1), Z_OK);
        want.resize(n);
        uint32_t out_len = 0;
        ASSERT_EQ(
            cmprs_data(data.data(), static_cast<uint32_t>(data.size()), &out_len, packed.data()),
            0);
        packed.resize(out_len);
        EXPECT_EQ(packed, want);
        ASSERT_EQ(
            decmprs_data(packed.data(), out_len, static_cast<uint32_t>(back.size()), back.data()),
            0);
        EXPECT_EQ(back, data);
    }
    cmpr_test::TraceCapture cap;  // input that does not shrink is declined without a report
    const Bytes noise = cmpr_test::random_bytes(4096, 7);
    Bytes out(noise.size());
    uint32_t out_len = 0;
    EXPECT_EQ(cmprs_data(noise.data(), 4096, &out_len, out.data()), 1);
    EXPECT_LE(out_len, 4096u);
    EXPECT_TRUE(cap.reports().empty());
}

TEST(ZlibWrappers, DecmprsDataPreFillsAndReportsTooLittleRoom) {
    uLongf n = 64;
    Bytes stream(n), q(100, 'q'), dst(18, 0x55);
    ASSERT_EQ(compress2(stream.data(), &n, q.data(), q.size(), 1), Z_OK);
    const auto len = static_cast<uint32_t>(n);
    cmpr_test::TraceCapture cap;
    EXPECT_EQ(decmprs_data(stream.data(), len, 16, dst.data()), 1);
    EXPECT_EQ(dst, Bytes(16, 'q') + Bytes(2, 0x55));
    EXPECT_EQ(cap.reports()[0], "decmprs_data-201-3: inflate error: -5 expected: 1");
    EXPECT_EQ(decmprs_data(stream.data(), len, 0, dst.data() + 18), 1);  // no room: nothing written
    const Bytes junk = {0xFF, 0xFF, 0xFF, 0xFF};
    std::fill(dst.begin(), dst.end(), 0x55);
    EXPECT_EQ(decmprs_data(junk.data(), 4, 12, dst.data()),
              1);  // "garbage", zeros, the last one too
    EXPECT_EQ(dst, str("garbage") + Bytes(5, 0) + Bytes(6, 0x55));
    EXPECT_EQ(decmprs_data(junk.data(), 4, 5, dst.data()), 1);
    EXPECT_EQ(dst, str("garb") + Bytes(1, 0) + str("ge") + Bytes(5, 0) + Bytes(6, 0x55));
}
