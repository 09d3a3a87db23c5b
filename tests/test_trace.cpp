// The trace hook, the default trace function and the dump rows.  Reports
// come from the own decoder's corrupt-distance escalation, which every build
// has (the wrapper-side reports are in test_zlib_dumps.cpp).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "api/hexdump.h"
#include "support/shell_recorder.h"
#include "support/trace_capture.h"

using cmpr_test::ptr_text;
using cmpr_test::stdout_of;
using cmpr_test::TraceCapture;

namespace {

std::vector<uint8_t> counting_bytes(size_t n) {
    std::vector<uint8_t> v(n);
    cmpr_test::fill_counting(v.data(), n, 1);
    return v;
}

int g_calls_a, g_calls_b;
int count_a(const char *, int, int, const char *, ...) {
    return ++g_calls_a;
}
int count_b(const char *, int, int, const char *, ...) {
    return ++g_calls_b;
}

// Length 3 at distance 8193, the literal z, the end of the segment.
const uint8_t kCorruptDistance[] = {0xc0, 0x15, 0x00, 0x55, 0x00};

// Decodes kCorruptDistance at byte 32 of 'area' (at least 140 bytes): the
// report, a dump of seven rows from the start of 'area', the escalation and
// the segment end, eleven reports in all.  The stderr lines are swallowed.
void report_corrupt_distance(std::vector<uint8_t> &area) {
    std::copy(std::begin(kCorruptDistance), std::end(kCorruptDistance), area.begin() + 32);
    uint8_t out[CMPR_GZIP_DECMPRS_BOUND(sizeof kCorruptDistance)];
    testing::internal::CaptureStderr();
    EXPECT_EQ(gzip_decmprs(area.data() + 32, sizeof kCorruptDistance, out), 4u);
    testing::internal::GetCapturedStderr();
    cmpr_test::shell_commands().clear();
}

// Makes reports through the library, as every report site does.
void make_reports() {
    std::vector<uint8_t> area(140, 0);
    report_corrupt_distance(area);
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

TEST(DefaultTrace, ReportsACorruptDistanceWithItsDump) {
    std::vector<uint8_t> area = counting_bytes(140);
    std::string out = stdout_of([&] { report_corrupt_distance(area); });
    std::string want = "dbg_hex_dump-55: invalid offset: buffer dump:\n";
    const char *rows[] = {"01020304 05060708 090A0B0C 0D0E0F10 11121314",
                          "15161718 191A1B1C 1D1E1F20 C0150055 00262728",
                          "292A2B2C 2D2E2F30 31323334 35363738 393A3B3C",
                          "3D3E3F40 41424344 45464748 494A4B4C 4D4E4F50",
                          "51525354 55565758 595A5B5C 5D5E5F60 61626364",
                          "65666768 696A6B6C 6D6E6F70 71727374 75767778",
                          "797A7B7C 7D7E7F80 81828384 85868788 898A8B8C"};
    for (int r = 0; r < 7; ++r)
        want += "dbg_hex_dump-63: " + ptr_text(area.data() + 20 * r) + ": " + rows[r] + "\n";
    want +=
        "decode_block-724: invalid offset -> 8193 at byte 0x00000003\n"
        "decode_block-726: ## Crash QZ\n"
        "decode_block-573: EOB 0 at bit position 0x00000027 ( byte 0x00000005 )\n";
    EXPECT_EQ(out, want);
}

TEST(TraceHook, HostFunctionReceivesEveryReportAndStdoutStaysQuiet) {
    std::string out = stdout_of([] {
        TraceCapture cap;
        make_reports();
        // The dump header, seven rows, the report, the escalation, the segment end.
        ASSERT_EQ(cap.reports().size(), 11u);
        EXPECT_EQ(cap.reports()[0].text(), "dbg_hex_dump-55: invalid offset: buffer dump:");
        EXPECT_EQ(cap.reports()[8].text(),
                  "decode_block-724: invalid offset -> 8193 at byte 0x00000003");
        for (int r = 0; r < 10; ++r) EXPECT_EQ(cap.reports()[r].level, 3);
        EXPECT_EQ(cap.reports()[10].level, 6);
    });
    EXPECT_EQ(out, "");
}

TEST(TraceHook, LastInstalledFunctionWins) {
    trc_fn_t saved = cmpr_trc_fn;
    g_calls_a = g_calls_b = 0;
    cmpr_api_init(count_a);
    cmpr_api_init(count_b);
    make_reports();
    cmpr_trc_fn = saved;
    EXPECT_EQ(g_calls_a, 0);
    EXPECT_EQ(g_calls_b, 11);
}

TEST(TraceHook, NullNeverGetsCalled) {
    trc_fn_t saved = cmpr_trc_fn;
    cmpr_api_init(count_a);
    cmpr_api_init(nullptr);  // reinstates the default
    EXPECT_NE(cmpr_trc_fn, nullptr);
    std::string out = stdout_of([] { make_reports(); });
    EXPECT_EQ(out.rfind("dbg_hex_dump-55: invalid offset: buffer dump:\n", 0), 0u);

    cmpr_trc_fn = nullptr;  // a host may also write the variable itself
    out = stdout_of([] { make_reports(); });
    EXPECT_EQ(out.rfind("dbg_hex_dump-55: ", 0), 0u);
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
