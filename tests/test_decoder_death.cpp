// The decoder's process-ending paths: a walk into a missing branch of a code
// tree and an undefined literal/length code.  Each child writes its reports
// to standard error too, so one pattern checks the message and the trace.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "cmpr.h"
#include "decode/decode_state.h"
#include "support/bit_writer.h"
#include "support/owned_tree.h"
#include "support/test_data.h"
#include "support/trace_capture.h"

using cmpr_test::BitWriter;
using cmpr_test::Bytes;

namespace {

// Global roots: the nodes stay reachable when the child exits.
tree_node g_lit, g_dist;

// Walks one symbol from 'root' over the input byte 'in'.
void walk_from(tree_node *root, uint8_t in) {
    cmpr_api_init(cmpr_test::trace_to_stderr_with_level);
    cmpr::reset_decoder(&in, 1);
    get_symbol(&in, 0, root);
    std::exit(2);
}

// One symbol of length 1 (code 0): bits 1, 0 reach the empty 1-side node and
// then its missing 0 child, after a first symbol decoded from bit 0.
void walk_into_a_gap() {
    code_entry one[1] = {{0, 1}};
    get_table(one, 1, &g_lit);
    Bytes in = BitWriter().bits(0, 1).bits(1, 1).bits(0, 1).bytes();
    cmpr_api_init(cmpr_test::trace_to_stderr_with_level);
    cmpr::reset_decoder(in.data(), 1);
    if (get_symbol(in.data(), 0, &g_lit) != 0) std::exit(1);
    get_symbol(in.data(), 0, &g_lit);
    std::exit(2);
}

// decode_block in tree mode with an empty distance tree.
void decode_with_empty_distance_tree() {
    add_symbol(257, 0, 1, 1, &g_lit);
    Bytes in = {0x02};  // 0: symbol 257; then 1 at the empty distance root
    cmpr_api_init(cmpr_test::trace_to_stderr_with_level);
    cmpr::reset_decoder(in.data(), 1);
    uint8_t out[8];
    decode_block(in.data(), 2, &g_lit, &g_dist, out);
    std::exit(2);
}

// FF reads as the 9-bit code 111111110, table index 255: made undefined here.
void decode_undefined_code() {
    Bytes in = {0xFF};
    cmpr_api_init(cmpr_test::trace_to_stderr_with_level);
    cmpr::reset_decoder(in.data(), 1);
    lut_lcode_9[255] = 0x8000;
    uint8_t out[300];
    decode_block(in.data(), 1, nullptr, nullptr, out);
    std::exit(2);
}

const char kNullTree978[] = "^null tree\nget_symbol-978-3: null tree, crash daemon\n$";
const char kNullTree992[] = "^null tree\nget_symbol-992-3: null tree, crash daemon\n$";

class DecoderDeathTest : public testing::Test {
   protected:
    void SetUp() override {
#if CMPR_TEST_UNDER_EMULATOR
        // The "threadsafe" style starts the test binary anew for the child,
        // which the host cannot run without the emulator (qemu-user runs
        // only the one program it was given): the child is a plain fork.
        GTEST_FLAG_SET(death_test_style, "fast");
#else
        GTEST_FLAG_SET(death_test_style, "threadsafe");
#endif
    }
};

}  // namespace

TEST_F(DecoderDeathTest, AnEmptyTreeEndsTheProcessOnEitherBit) {
    tree_node empty{};
    EXPECT_EXIT(walk_from(&empty, 0x00), testing::ExitedWithCode(255), kNullTree978);
    EXPECT_EXIT(walk_from(&empty, 0x01), testing::ExitedWithCode(255), kNullTree992);
    // An empty table leaves the root without children.
    EXPECT_EXIT(
        {
            get_table(nullptr, 0, &g_lit);
            walk_from(&g_lit, 0x01);
        },
        testing::ExitedWithCode(255), kNullTree992);
}

TEST_F(DecoderDeathTest, AGapInAnIncompleteCodeEndsTheProcess) {
    EXPECT_EXIT(walk_into_a_gap(), testing::ExitedWithCode(255), kNullTree978);
    // From decode_block the report still names get_symbol.
    EXPECT_EXIT(decode_with_empty_distance_tree(), testing::ExitedWithCode(255), kNullTree992);
}

TEST_F(DecoderDeathTest, AnUndefinedFixedCodeEndsTheProcess) {
    EXPECT_EXIT(decode_undefined_code(), testing::ExitedWithCode(255),
                "^ERROR: undefined huffman code\n"
                "get_lcode-1054-3: ERROR: undefined huffman code, crash daemon\n$");
}
