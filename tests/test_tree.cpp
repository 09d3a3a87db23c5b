// Code trees: canonical codes, walking and printing, and the decoder's
// deliberate exits: a walk into a missing branch and an undefined fixed code.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdarg>

#include "support/support.h"

using cmpr_test::OwnedTree;

namespace {

std::string leaf_line(const tree_node *node) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "\t\ttree ptr 0x%.8" PRIxPTR "  =  0x%.8x\n",
                  reinterpret_cast<uintptr_t>(node), node->leaf);
    return buf;
}

template <class Fn>
std::string stdout_of(Fn &&fn) {
    testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

int trace_to_stderr(const char *func, int line, int level, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::fprintf(stderr, "%s-%d-%d: ", func, line, level);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    return std::fputc('\n', stderr);
}

// In a child: decodes 'in' with every report on standard error too, so that
// one pattern checks the bytes of the message and of the report.
void decode(cmpr_test::Bytes in, int32_t mode, tree_node *lit, tree_node *dist) {
    cmpr_api_init(trace_to_stderr);
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    if (mode == 1) lut_lcode_9[255] = 0x8000;  // FF reads as the 9-bit code 111111110: undefined
    uint8_t out[600];
    decode_block(in.data(), mode, lit, dist, out);
    std::exit(2);
}

struct DecoderDeathTest : testing::Test {
    // Under qemu-user the test binary cannot be started anew: fork only.
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, CMPR_TEST_UNDER_EMULATOR ? "fast" : "threadsafe");
    }
};

}  // namespace

TEST(GetTable, AssignsCanonicalCodesThatTheTreeDecodes) {
    OwnedTree t;
    const std::vector<code_entry> table = t.build({3, 3, 3, 3, 3, 2, 4, 4, 0});
    const cmpr_test::Bytes in = {0x7f, 0xac, 0xb1, 0x00};  // codes 1111 1110 00 110 101 100 011 010
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    for (uint32_t s = 8; s-- > 0;) EXPECT_EQ(get_symbol(in.data(), 0, &t.root), s);
    const int32_t canonical[9] = {2, 3, 4, 5, 6, 0, 14, 15, 0};
    for (int s = 0; s < 9; ++s) EXPECT_EQ(table[s].code, canonical[s]) << s;
    const uint32_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (uint32_t i = 0; i < 19; ++i) EXPECT_EQ(halph_order(i), order[i]) << i;
}

TEST(DumpTree, PrintsEachValueWithItsPathAndTheWholeLeafAddress) {
    OwnedTree t;
    t.build({1, 0, 1});
    EXPECT_EQ(stdout_of([&] { dump_tree(&t.root, 1); }),
              "code = 00   0" + leaf_line(t.root.zero) + "code = 01   1" + leaf_line(t.root.one));
}

TEST_F(DecoderDeathTest, AMissingBranchOrAnUndefinedCodeEndsTheProcess) {
    static tree_node empty, lit;  // static: the nodes stay reachable when the child exits
    EXPECT_EXIT(decode({0x00}, 2, &empty, &empty), testing::ExitedWithCode(255),
                "^null tree\nget_symbol-978-3: null tree, crash daemon\n$");
    add_symbol(257, 0, 1, 1, &lit);  // code 0; its distance walks from the empty root on a 1
    EXPECT_EXIT(decode({0x02}, 2, &lit, &empty), testing::ExitedWithCode(255),
                "^null tree\nget_symbol-992-3: null tree, crash daemon\n$");
    EXPECT_EXIT(decode({0xFF}, 1, nullptr, nullptr), testing::ExitedWithCode(255),
                "^ERROR: undefined huffman code\nget_lcode-1054-3: ERROR: undefined huffman code, "
                "crash daemon\n$");
}
