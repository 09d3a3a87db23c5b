// The trace hook, the default trace function and the wrapper-side dump.
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/hexdump.h"
#include "support/trace_capture.h"
#include "support/zlib_faults.h"

using cmpr_test::stdout_of;
using cmpr_test::TraceCapture;

namespace {

std::string ptr_text(const void *p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

std::vector<uint8_t> counting_bytes(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i + 1);
    return v;
}

int g_calls_a, g_calls_b;
int count_a(const char *, int, int, const char *, ...) {
    return ++g_calls_a;
}
int count_b(const char *, int, int, const char *, ...) {
    return ++g_calls_b;
}

// Makes a report through the library, as every report site does.
void report_init_failure() {
    cmpr_test::ZlibInitFailure fail(Z_STREAM_ERROR);
    uint8_t src[120] = {0};
    uint32_t out_len = 0;
    cmprs_data(src, sizeof src, &out_len, src);
}

}  // namespace

TEST(DefaultTrace, PrintsFuncLineAndMessageForEveryLevel) {
    std::string out = stdout_of([] {
        cmpr_trc_fn("decode_block", 573, 6, "EOB %d at bit position 0x%.8x ( byte 0x%.8x )", 0, 7,
                    1);
        cmpr_trc_fn("get_symbol", 978, 3, "null tree, crash daemon");
    });
    EXPECT_EQ(out,
              "decode_block-573: EOB 0 at bit position 0x00000007 ( byte 0x00000001 )\n"
              "get_symbol-978: null tree, crash daemon\n");
}

TEST(DefaultTrace, CutsLongMessagesAt1023Characters) {
    std::string longmsg(5000, 'x');
    std::string out = stdout_of([&] { cmpr_trc_fn("f", 1, 3, "%s", longmsg.c_str()); });
    EXPECT_EQ(out, "f-1: " + std::string(1023, 'x') + "\n");
}

TEST(DefaultTrace, ReportsAWrapperFailureWithItsDump) {
    std::vector<uint8_t> src = counting_bytes(128);
    std::string out = stdout_of([&] {
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

TEST(TraceHook, HostFunctionReceivesEveryReportAndStdoutStaysQuiet) {
    std::string out = stdout_of([] {
        TraceCapture cap;
        report_init_failure();
        ASSERT_EQ(cap.reports().size(), 7u);  // the report, the dump header, five rows
        EXPECT_EQ(cap.reports()[0].text(), "cmprs_data-112: deflateInit error: -2 expected: 0");
        EXPECT_EQ(cap.reports()[1].text(), "dbg_hex_dump-59: deflateInit error: buffer dump:");
        for (int r = 0; r < 7; ++r) EXPECT_EQ(cap.reports()[r].level, 3);
    });
    EXPECT_EQ(out, "");
}

TEST(TraceHook, LastInstalledFunctionWins) {
    trc_fn_t saved = cmpr_trc_fn;
    g_calls_a = g_calls_b = 0;
    cmpr_api_init(count_a);
    cmpr_api_init(count_b);
    report_init_failure();
    cmpr_trc_fn = saved;
    EXPECT_EQ(g_calls_a, 0);
    EXPECT_EQ(g_calls_b, 7);
}

TEST(TraceHook, NullNeverGetsCalled) {
    trc_fn_t saved = cmpr_trc_fn;
    cmpr_api_init(count_a);
    cmpr_api_init(nullptr);  // reinstates the default
    EXPECT_NE(cmpr_trc_fn, nullptr);
    std::string out = stdout_of([] { report_init_failure(); });
    EXPECT_EQ(out.rfind("cmprs_data-112: deflateInit error: -2 expected: 0\n", 0), 0u);

    cmpr_trc_fn = nullptr;  // a host may also write the variable itself
    out = stdout_of([] { report_init_failure(); });
    EXPECT_EQ(out.rfind("cmprs_data-112: ", 0), 0u);
    cmpr_trc_fn = saved;
}

TEST(HexDump, ShowsWholeRowsOnly) {
    EXPECT_EQ(cmpr::dump_rows(0), 1);
    EXPECT_EQ(cmpr::dump_rows(19), 1);
    EXPECT_EQ(cmpr::dump_rows(30), 1);
    EXPECT_EQ(cmpr::dump_rows(100), 5);

    // Bytes 01..05 at the start of a row: first word 01020304, second 05...
    std::vector<uint8_t> bytes = counting_bytes(40);
    TraceCapture cap;
    cmpr::dump_rows_at(reinterpret_cast<uintptr_t>(bytes.data()), 2, 64);
    ASSERT_EQ(cap.reports().size(), 2u);
    EXPECT_EQ(cmpr_test::dump_words(cap.reports()[0]),
              "01020304 05060708 090A0B0C 0D0E0F10 11121314");
    EXPECT_EQ(cap.reports()[1].msg.substr(0, ptr_text(bytes.data() + 20).size()),
              ptr_text(bytes.data() + 20));
}
