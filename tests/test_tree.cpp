// Code trees: canonical codes, walking, printing.
#include <gtest/gtest.h>

#include <cinttypes>

#include "support/support.h"

using cmpr_test::BitWriter;
using cmpr_test::OwnedTree;

namespace {

std::vector<int32_t> codes_of(const std::vector<code_entry> &t) {
    std::vector<int32_t> v;
    for (const code_entry &e : t) v.push_back(e.code);
    return v;
}

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

}  // namespace

TEST(GetTable, AssignsCanonicalCodesThatTheTreeDecodes) {
    OwnedTree t;
    const std::vector<code_entry> table = t.build({3, 3, 3, 3, 3, 2, 4, 4, 0});
    EXPECT_EQ(codes_of(table), (std::vector<int32_t>{2, 3, 4, 5, 6, 0, 14, 15, 0}));
    BitWriter w;
    for (int s = 7; s >= 0; --s) w.code(static_cast<uint32_t>(table[s].code), table[s].len);
    const cmpr_test::Bytes in = w.bytes();
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    for (uint32_t s = 8; s-- > 0;) EXPECT_EQ(get_symbol(in.data(), 0, &t.root), s);
    EXPECT_EQ(cmpr::decode_state.bits_used, 3u * 5 + 2 + 4 * 2);
}

TEST(GetTable, CodeLengthCodesComeInTheFormatsOrder) {
    const uint32_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (uint32_t i = 0; i < 19; ++i) EXPECT_EQ(halph_order(i), order[i]) << i;
}

TEST(DumpTree, PrintsEachValueWithItsPathAndTheWholeLeafAddress) {
    OwnedTree t;
    t.build({1, 1});
    EXPECT_EQ(stdout_of([&] { dump_tree(&t.root, 1); }),
              "code = 00   0" + leaf_line(t.root.zero) + "code = 01   1" + leaf_line(t.root.one));
    OwnedTree c;  // values are taken least significant bit first
    c.build({3, 3, 3, 3, 3, 2, 4, 4});
    uint32_t sym = 99;
    EXPECT_EQ(stdout_of([&] { sym = get_direct(6, 0, &c.root); }),
              "011" + leaf_line(c.root.zero->one->one));
    EXPECT_EQ(sym, 1u);
    OwnedTree one;  // one code of length 1: the 1 side is a gap
    one.build({1});
    EXPECT_EQ(stdout_of([&] { dump_tree(&one.root, 1); }),
              "code = 00   0" + leaf_line(one.root.zero) + "code = 01   1\t\tno code\n");
}
