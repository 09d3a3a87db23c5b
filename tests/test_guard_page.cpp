// The decoder's failure dump shows a fixed window around the input (32 bytes
// before it to 108 after its start), which may reach unmapped pages: it must
// leave those rows out and never fault.  The dump reads through the kernel,
// or under qemu-user through the emulator's checks of the target's pages, so
// this runs on every target.
#include <algorithm>
#include <iterator>
#include <vector>

#include "support/guarded_buffer.h"
#include "support/shell_recorder.h"
#include "support/trace_capture.h"

using cmpr_test::GuardedBuffer;
using cmpr_test::TraceCapture;

namespace {

// Length 3 at distance 8193, the literal z, the end of the segment.
const uint8_t kCorruptDistance[] = {0xc0, 0x15, 0x00, 0x55, 0x00};
constexpr uint32_t kStreamSize = sizeof kCorruptDistance;

// Decodes the corrupt stream at 'in' and returns the rows of the dump.
std::vector<std::string> dumped_rows(const uint8_t *in, const TraceCapture &cap) {
    uint8_t out[CMPR_GZIP_DECMPRS_BOUND(kStreamSize)];
    testing::internal::CaptureStderr();
    EXPECT_EQ(gzip_decmprs(in, kStreamSize, out), 4u);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cmpr_test::shell_commands().size(), 1u);
    cmpr_test::shell_commands().clear();
    std::vector<std::string> rows;
    for (const cmpr_test::Report &r : cap.reports())
        if (r.line == 63) rows.push_back(cmpr_test::dump_words(r));
    EXPECT_EQ(cap.reports().front().text(), "dbg_hex_dump-55: invalid offset: buffer dump:");
    EXPECT_EQ(cap.reports().back().level, 6);  // the segment end, after the escalation
    return rows;
}

}  // namespace

TEST(GuardPage, DecoderDumpOfInputRightAfterAnUnmappedPage) {
    GuardedBuffer g(100);
    uint8_t *in = g.data_at_start();
    std::copy(std::begin(kCorruptDistance), std::end(kCorruptDistance), in);
    cmpr_test::fill_counting(in + kStreamSize, 100 - kStreamSize, 0x10);
    cmpr_test::shell_commands().clear();
    TraceCapture cap;
    // Rows at -32 and -12 reach into the guard page; 8, 28, ... 88 do not.
    std::vector<std::string> rows = dumped_rows(in, cap);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "13141516 1718191A 1B1C1D1E 1F202122 23242526");
    EXPECT_EQ(rows[4], "63646566 6768696A 6B6C6D6E 00000000 00000000");
}

TEST(GuardPage, DecoderDumpOfInputRightBeforeAnUnmappedPage) {
    GuardedBuffer g(kStreamSize);
    uint8_t *in = g.data_at_end();
    std::copy(std::begin(kCorruptDistance), std::end(kCorruptDistance), in);
    cmpr_test::fill_counting(in - 32, 32, 0x80);
    cmpr_test::shell_commands().clear();
    TraceCapture cap;
    // Only the row at -32 lies wholly before the end of the input's page.
    std::vector<std::string> rows = dumped_rows(in, cap);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], "80818283 84858687 88898A8B 8C8D8E8F 90919293");
}
