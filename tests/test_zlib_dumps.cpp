// The zlib wrappers' failure reports and their dumps, which show a fixed
// window that may reach unreadable memory: they must leave those rows out
// and never fault.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/guarded_buffer.h"
#include "support/trace_capture.h"
#include "support/zlib_faults.h"

using cmpr_test::GuardedBuffer;
using cmpr_test::ptr_text;
using cmpr_test::TraceCapture;

TEST(DefaultTrace, ReportsAWrapperFailureWithItsDump) {
    std::vector<uint8_t> src(128);
    cmpr_test::fill_counting(src.data(), src.size(), 1);
    std::string out = cmpr_test::stdout_of([&] {
        cmpr_test::ZlibInitFailure fail(Z_STREAM_ERROR);
        uint32_t out_len = 0xABCD;
        EXPECT_EQ(cmprs_data(src.data(), 128, &out_len, src.data()), 1);
        EXPECT_EQ(out_len, 0xABCDu);
    });
    std::string want =
        "cmprs_data-112: deflateInit error: -2 expected: 0\n"
        "dbg_hex_dump-59: deflateInit error: buffer dump:\n";
    const char *rows[] = {"01020304 05060708 090A0B0C 0D0E0F10 11121314",
                          "15161718 191A1B1C 1D1E1F20 21222324 25262728",
                          "292A2B2C 2D2E2F30 31323334 35363738 393A3B3C",
                          "3D3E3F40 41424344 45464748 494A4B4C 4D4E4F50",
                          "51525354 55565758 595A5B5C 5D5E5F60 61626364"};
    for (int r = 0; r < 5; ++r)
        want += "dbg_hex_dump-64: " + ptr_text(src.data() + 20 * r) + ": " + rows[r] + "\n";
    EXPECT_EQ(out, want);
}

TEST(GuardPage, DumpOfInputRightBeforeAnUnmappedPage) {
    GuardedBuffer g(30);  // 30 bytes, then the guard page
    cmpr_test::fill_counting(g.data_at_end(), 30, 0xA0);
    TraceCapture cap;
    cmpr_test::ZlibInitFailure fail(Z_MEM_ERROR);
    uint32_t out_len = 0;
    uint8_t dst[30];
    EXPECT_EQ(cmprs_data(g.data_at_end(), 30, &out_len, dst), 1);
    // Row 0 (bytes 0-19) is readable; row 1 crosses into the guard page and
    // rows 2-4 lie inside it.
    ASSERT_EQ(cap.reports().size(), 3u);
    EXPECT_EQ(cap.reports()[1].text(), "dbg_hex_dump-59: deflateInit error: buffer dump:");
    EXPECT_EQ(cmpr_test::dump_words(cap.reports()[2]),
              "A0A1A2A3 A4A5A6A7 A8A9AAAB ACADAEAF B0B1B2B3");
}

TEST(GuardPage, DumpStartingBeforeInputRightAfterAnUnmappedPage) {
    GuardedBuffer g(100);
    cmpr_test::fill_counting(g.data_at_start(), 100, 0xA0);
    TraceCapture cap;
    // A stream that inflate rejects at once: the dump starts 32 bytes before
    // the input, inside the guard page.
    uint8_t dst[16];
    EXPECT_EQ(decmprs_data(g.data_at_start(), 100, sizeof dst, dst), 1);
    // Rows at -32 and -12 cannot be read; rows at 8, 28 and 48 can.
    ASSERT_EQ(cap.reports().size(), 5u);
    EXPECT_EQ(cap.reports()[0].text(), "decmprs_data-201: inflate error: -3 expected: 1");
    EXPECT_EQ(cap.reports()[1].text(), "dbg_hex_dump-59: inflate error: buffer dump:");
    EXPECT_EQ(cmpr_test::dump_words(cap.reports()[2]),
              "A8A9AAAB ACADAEAF B0B1B2B3 B4B5B6B7 B8B9BABB");
    EXPECT_EQ(cmpr_test::dump_words(cap.reports()[4]),
              "D0D1D2D3 D4D5D6D7 D8D9DADB DCDDDEDF E0E1E2E3");
}

TEST(GuardPage, InitFailureDumpOfDecompressionAfterAnUnmappedPage) {
    GuardedBuffer g(8);
    cmpr_test::fill_counting(g.data_at_start(), 8, 0xA0);
    TraceCapture cap;
    cmpr_test::ZlibInitFailure fail(Z_VERSION_ERROR);
    uint8_t dst[4];
    EXPECT_EQ(decmprs_data(g.data_at_start(), 8, sizeof dst, dst), 1);
    EXPECT_EQ(cap.reports()[0].text(), "decmprs_data-184: inflateInit error: -6 expected: 0");
    EXPECT_EQ(cap.reports()[1].text(), "dbg_hex_dump-59: inflateInit error: buffer dump:");
    // The rows at -32 and -12 touch the guard page; those at 8, 28 and 48 lie
    // in the mapped page (zeros past the 8 input bytes).
    ASSERT_EQ(cap.reports().size(), 5u);
    EXPECT_EQ(cmpr_test::dump_words(cap.reports()[2]),
              "00000000 00000000 00000000 00000000 00000000");
    EXPECT_EQ(std::memcmp(dst, "gar", 4), 0);  // the pre-fill stays
}

TEST(GuardPage, DumpOfASmallHeapBufferStaysQuietUnderSanitizers) {
    // A 10-byte heap input: the 100-byte window runs into the allocator's
    // red zones, which a plain read would trip over.
    std::vector<uint8_t> small(10, 0x5A);
    TraceCapture cap;
    cmpr_test::ZlibInitFailure fail(Z_STREAM_ERROR);
    uint32_t out_len = 0;
    uint8_t dst[10];
    EXPECT_EQ(cmprs_data(small.data(), 10, &out_len, dst), 1);
    ASSERT_GE(cap.reports().size(), 3u);
    EXPECT_EQ(cmpr_test::dump_words(cap.reports()[2]).substr(0, 18), "5A5A5A5A 5A5A5A5A ");
}
