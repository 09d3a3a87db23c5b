// The failure dumps: rows of five big-endian words from a fixed window around
// the input (from 32 bytes before it), which may reach unmapped pages: those
// rows are left out and nothing faults.
#include <gtest/gtest.h>

#include "support/support.h"

using cmpr_test::GuardedBuffer;
using Lines = std::vector<std::string>;

namespace {

// Counts up from 'first' from 'p' on, decodes the corrupt distance at 'in'
// and returns the rows of its dump, each "ADDRESS: WORDS".
Lines rows(uint8_t *p, size_t n, uint8_t first, uint8_t *in) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(first + i);
    cmpr_test::TraceCapture cap;
    testing::internal::CaptureStderr();
    std::copy_n(cmpr_test::kCorruptDistance.begin(), 5, in);
    uint8_t room[CMPR_GZIP_DECMPRS_BOUND(5)];
    gzip_decmprs(in, 5, room);
    testing::internal::GetCapturedStderr();
    Lines out;
    for (const std::string &r : cap.reports)
        if (r.rfind("dbg_hex_dump-6", 0) == 0) out.push_back(r.substr(r.find(": ") + 2));
    return out;
}

std::string row(const uint8_t *at, const char *words) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p: ", static_cast<const void *>(at));
    return buf + std::string(words);
}

}  // namespace

TEST(Dumps, TheDecoderShowsSevenRowsAndLeavesOutUnmappedOnes) {
    std::vector<uint8_t> area(140);
    const char *words[] = {"01020304 05060708 090A0B0C 0D0E0F10 11121314",
                           "15161718 191A1B1C 1D1E1F20 C0150055 00262728",
                           "292A2B2C 2D2E2F30 31323334 35363738 393A3B3C",
                           "3D3E3F40 41424344 45464748 494A4B4C 4D4E4F50",
                           "51525354 55565758 595A5B5C 5D5E5F60 61626364",
                           "65666768 696A6B6C 6D6E6F70 71727374 75767778",
                           "797A7B7C 7D7E7F80 81828384 85868788 898A8B8C"};
    Lines want;
    for (int r = 0; r < 7; ++r) want.push_back(row(&area[20 * r], words[r]));
    EXPECT_EQ(rows(area.data(), 140, 1, &area[32]), want);
    // Rows at -32 and -12 reach into the page before; 8 to 88 do not.
    GuardedBuffer after(100), before(5);
    Lines got = rows(after.start, 100, 0x10, after.start);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0], row(after.start + 8, "18191A1B 1C1D1E1F 20212223 24252627 28292A2B"));
    // Only the row at -32 lies wholly before the page after the input.
    got = rows(before.end - 37, 32, 0x80, before.end - 5);
    EXPECT_EQ(got, Lines{row(before.end - 37, "80818283 84858687 88898A8B 8C8D8E8F 90919293")});
}
