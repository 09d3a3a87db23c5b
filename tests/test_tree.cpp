// Code trees: canonical codes, walking and printing, and the decoder's
// deliberate exits: a walk into a missing branch and an undefined fixed code.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdarg>
#include <tuple>

#include "support/support.h"

using cmpr_test::count_below;
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

// get_direct's output and result.
std::pair<std::string, uint32_t> walk(int32_t value, int32_t level, tree_node *root) {
    uint32_t symbol = 0;
    std::string printed = stdout_of([&] { symbol = get_direct(value, level, root); });
    return {printed, symbol};
}

// The node at a path of 0 and 1 digits from 'n', null where there is none.
const tree_node *node_at(const tree_node *n, const std::string &path) {
    for (char c : path)
        n = n == nullptr || c > '1' || c < '0' ? nullptr : c == '1' ? n->one : n->zero;
    return n;
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

// A tree built by get_table() from code lengths or by one add_symbol(sym,
// code, full length, bits left): the codes the lengths get (-1: none, the
// entry keeps its code), the nodes below the root, and the get_direct() walk
// of a value from a level: a digit per bit, least significant first, then
// the leaf's line and its symbol.  A negative code or value stops where its
// shifted form is odd; a missing child says so.  Then get_symbol on a
// stream, a root that is a leaf, dump_tree and halph_order at and past their
// limits.
TEST(CodeTrees, BuildInsertWalkAndPrintAtTheLimits) {
    using V = std::vector<int32_t>;
    const V eight = {3, 3, 3, 3, 3, 2, 4, 4};
    const std::tuple<V, V, V, int, int32_t, int32_t, std::string, uint32_t> cases[] = {
        {eight + V{0}, {}, {2, 3, 4, 5, 6, 0, 14, 15, -1}, 14, 6, 0, "011", 1},
        {eight, {}, {}, 14, 12, 2, "110", 4},
        {eight, {}, {}, 14, INT32_MIN, 0, "00", 5},
        {eight, {}, {}, 14, -1, 0, "", 0},
        {{16, 16}, {}, {0, 1}, 32, 0x8000, 0, "0000000000000001", 1},
        {{1, 1, 1}, {}, {0, 1, 2}, 2, 0, 0, "0", 2},  // over-subscribed: 2 replaces 0
        {{1, 1, 2}, {}, {0, 1, 4}, 4, 0, 0, "0", 0},  // 0 hides 2 below it
        {{1}, {}, {0}, 2, 1, 0, "1\t\tno code\n", 0},
        {{0, 17, -1}, {}, {-1, -1, -1}, 0, 0, 0, "\t\tno code\n", 0},
        {{}, {7, 6, 99, 3}, {}, 6, 3, 0, "110", 7},
        {{}, {9, 5, 0, 0}, {}, 0, 0, 0, "", 9},
        {{}, {0xFFFF, 6, 2, 2}, {}, 4, 1, 0, "10", 0xFFFF},  // the low bits only
        {{}, {3, -1, 3, 3}, {}, 2, 7, 0, "1\t\tno code\n", 0},
        {{}, {3, -3, 2, 2}, {}, 4, 2, 0, "01\t\tno code\n", 0},
        {{}, {3, -4, 2, 2}, {}, 4, 0, 0, "00", 3},
        {{}, {3, 1, 1, -1}, {}, 0, 0, 0, "\t\tno code\n", 0}};
    for (const auto &[lengths, insert, codes, nodes, value, level, path, symbol] : cases) {
        OwnedTree t;
        V got;
        for (const code_entry &e : t.build(lengths)) got.push_back(e.code);
        EXPECT_TRUE(insert.empty() ||
                    add_symbol(uint32_t(insert[0]), insert[1], insert[2], insert[3], &t.root) == 0);
        const tree_node *n = node_at(&t.root, path);
        EXPECT_TRUE((codes.empty() || got == codes) && count_below(&t.root) == nodes) << path;
        EXPECT_EQ(walk(value, level, &t.root),
                  std::pair(path + (n != nullptr && n->leaf ? leaf_line(n) : ""), symbol));
    }

    OwnedTree t, two;
    t.build(eight);
    const cmpr_test::Bytes in = {0x7f, 0xac, 0xb1, 0x00};  // codes 1111 1110 00 110 101 100 011 010
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    for (uint32_t s = 8; s-- > 0;) EXPECT_EQ(get_symbol(in.data(), 0, &t.root), s);
    EXPECT_EQ(add_symbol(5, 0, 0, 0, &t.root), 0);
    t.build({1, 1});
    EXPECT_TRUE(t.root.leaf == 0x10005 && walk(1, 0, &t.root).second == 5);
    two.build({1, 0, 1});
    for (int32_t most : {INT32_MIN, -1, 1})
        EXPECT_EQ(stdout_of([&] { dump_tree(&two.root, most); }),
                  most < 0 ? ""
                           : "code = 00   0" + leaf_line(two.root.zero) + "code = 01   1" +
                                 leaf_line(two.root.one));
    const uint32_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (uint32_t i = 0; i < 19; ++i) EXPECT_EQ(halph_order(i), order[i]) << i;
    EXPECT_TRUE(halph_order(19) == 0 && halph_order(UINT32_MAX) == 0);
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
