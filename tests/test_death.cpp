// The decoder's deliberate exits: a walk into a missing branch of a code tree
// and an undefined fixed code.  Each child also traces to standard error, so
// one pattern checks the exact bytes of the message and of the report.
#include <gtest/gtest.h>

#include <cstdarg>

#include "support/support.h"

namespace {

tree_node g_root;  // global: the nodes stay reachable when the child exits

int trace_to_stderr(const char *func, int line, int level, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::fprintf(stderr, "%s-%d-%d: ", func, line, level);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    return std::fputc('\n', stderr);
}

void decode(cmpr_test::Bytes in, int32_t mode, tree_node *lit, tree_node *dist,
            bool undefine_ff = false) {
    cmpr_api_init(trace_to_stderr);
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    if (undefine_ff) lut_lcode_9[255] = 0x8000;  // FF reads as the 9-bit code 111111110
    uint8_t out[600];
    decode_block(in.data(), mode, lit, dist, out);
    std::exit(2);
}

class DecoderDeathTest : public testing::Test {
   protected:
    void SetUp() override {
#if CMPR_TEST_UNDER_EMULATOR
        GTEST_FLAG_SET(death_test_style, "fast");  // qemu-user cannot start the binary anew
#else
        GTEST_FLAG_SET(death_test_style, "threadsafe");
#endif
    }
};

}  // namespace

TEST_F(DecoderDeathTest, AWalkIntoAMissingBranchEndsTheProcess) {
    tree_node empty{};
    EXPECT_EXIT(decode({0x00}, 2, &empty, &empty), testing::ExitedWithCode(255),
                "^null tree\nget_symbol-978-3: null tree, crash daemon\n$");
    // Symbol 257 is the code 0; its distance walks from an empty root on bit 1.
    add_symbol(257, 0, 1, 1, &g_root);
    EXPECT_EXIT(decode({0x02}, 2, &g_root, &empty), testing::ExitedWithCode(255),
                "^null tree\nget_symbol-992-3: null tree, crash daemon\n$");
}

TEST_F(DecoderDeathTest, AnUndefinedFixedCodeEndsTheProcess) {
    EXPECT_EXIT(decode({0xFF}, 1, nullptr, nullptr, true), testing::ExitedWithCode(255),
                "^ERROR: undefined huffman code\nget_lcode-1054-3: ERROR: undefined huffman code, "
                "crash daemon\n$");
}
