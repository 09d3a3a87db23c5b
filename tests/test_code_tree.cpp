// Code trees: canonical codes, tree shape, walking and printing.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/decode_state.h"
#include "support/bit_writer.h"
#include "support/owned_tree.h"
#include "support/trace_capture.h"

using cmpr::decode_state;
using cmpr_test::BitWriter;
using cmpr_test::count_below;
using cmpr_test::OwnedTree;
using cmpr_test::stdout_of;

namespace {

std::vector<int32_t> codes_of(const std::vector<code_entry> &t) {
    std::vector<int32_t> v;
    for (const code_entry &e : t) v.push_back(e.code);
    return v;
}

// The leaf line as get_direct prints it.
std::string leaf_line(const tree_node *node) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "\t\ttree ptr 0x%.8" PRIxPTR "  =  0x%.8x\n",
                  reinterpret_cast<uintptr_t>(node), node->leaf);
    return buf;
}

// Decodes 'n' symbols from the bits of 'w' by walking 'root'.
std::vector<uint32_t> walk(const BitWriter &w, tree_node *root, int n) {
    std::vector<uint8_t> in = w.bytes();
    cmpr::reset_decoder(in.data(), static_cast<uint32_t>(in.size()));
    std::vector<uint32_t> out;
    for (int i = 0; i < n; ++i) out.push_back(get_symbol(in.data(), 0, root));
    return out;
}

}  // namespace

TEST(GetTable, AssignsCanonicalCodesAndTheTreeDecodesThem) {
    OwnedTree t;
    std::vector<code_entry> table = t.build({3, 3, 3, 3, 3, 2, 4, 4});
    EXPECT_EQ(codes_of(table), (std::vector<int32_t>{2, 3, 4, 5, 6, 0, 14, 15}));

    BitWriter w;  // every symbol, most significant code bit first
    for (int s = 7; s >= 0; --s) w.code(table[s].code, table[s].len);
    EXPECT_EQ(walk(w, &t.root, 8), (std::vector<uint32_t>{7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(decode_state.bits_used, 3u * 5 + 2 + 4 * 2);
}

TEST(GetTable, FixedLengthsGiveTheFixedCodeIn574Nodes) {
    OwnedTree t;
    std::vector<code_entry> table = t.build(cmpr_test::fixed_litlen_lengths());
    for (int s = 0; s < 288; ++s) {
        int32_t want = s < 144 ? s + 0x30 : s < 256 ? s + 0x100 : s < 280 ? s - 256 : s - 88;
        ASSERT_EQ(table[s].code, want) << "symbol " << s;
    }
    EXPECT_EQ(count_below(&t.root), 574);

    // A rebuild on the same root makes a whole new tree and leaves the old
    // one, intact, to whoever still holds it.
    tree_node old = t.root;
    get_table(table.data(), 288, &t.root);
    EXPECT_EQ(count_below(&t.root), 574);
    EXPECT_NE(t.root.zero, old.zero);
    EXPECT_EQ(count_below(&old), 574);
    cmpr_test::free_below(&old);
}

TEST(GetTable, ThirtyTwoLengthsOfFiveGiveCodes0To31In62Nodes) {
    OwnedTree t;
    std::vector<code_entry> table = t.build(std::vector<int32_t>(32, 5));
    for (int s = 0; s < 32; ++s) EXPECT_EQ(table[s].code, s);
    EXPECT_EQ(count_below(&t.root), 62);
    tree_node old = t.root;
    get_table(table.data(), 32, &t.root);
    EXPECT_EQ(count_below(&t.root), 62);
    cmpr_test::free_below(&old);
}

TEST(GetTable, LengthsOutsideOneToSixteenAndEmptyTables) {
    OwnedTree a;
    EXPECT_EQ(codes_of(a.build({16, 16})), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(count_below(&a.root), 2 * 16);

    // Length 0 (and, by choice, 17 or a negative length) keeps its code word
    // and stays out of the tree; other entries are rewritten.
    std::vector<code_entry> table = {{111, 0}, {222, 1}, {333, 17}, {444, -3}, {555, 1}};
    OwnedTree b;
    get_table(table.data(), 5, &b.root);
    EXPECT_EQ(codes_of(table), (std::vector<int32_t>{111, 0, 333, 444, 1}));
    EXPECT_EQ(b.root.zero->leaf, 0x10001u);
    EXPECT_EQ(b.root.one->leaf, 0x10004u);

    // No codes at all (a negative count counts as 0): the root loses its
    // children.
    tree_node old = b.root;
    get_table(table.data(), -5, &b.root);
    EXPECT_EQ(b.root.zero, nullptr);
    EXPECT_EQ(b.root.one, nullptr);
    cmpr_test::free_below(&old);
}

TEST(GetTable, OverSubscribedCodesOverlapAndTheLaterLeafWins) {
    OwnedTree t;
    EXPECT_EQ(codes_of(t.build({1, 1, 1})), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(t.root.zero->leaf, 0x10002u);  // code 2 over one bit is 0
    EXPECT_EQ(t.root.one->leaf, 0x10001u);
    BitWriter w;
    w.bits(0, 1).bits(1, 1);
    EXPECT_EQ(walk(w, &t.root, 2), (std::vector<uint32_t>{2, 1}));
}

TEST(AddSymbol, BitCountsAndCodesOutsideTheUsualRange) {
    OwnedTree t;
    add_symbol(9, 5, 3, -1, &t.root);  // nothing to insert
    EXPECT_EQ(count_below(&t.root), 0);
    add_symbol(9, -1, 3, 3, &t.root);  // bit 2 of -1 is "-1": children, no leaf
    EXPECT_EQ(count_below(&t.root), 2);
    EXPECT_EQ(t.root.zero->leaf | t.root.one->leaf, 0u);

    // More than 32 bits: leading zero bits, not a shift past 31.
    OwnedTree deep;
    add_symbol(7, 1, 40, 40, &deep.root);
    const tree_node *n = &deep.root;
    for (int i = 0; i < 39; ++i) n = n->zero;
    EXPECT_EQ(n->one->leaf, 0x10007u);

    // No bits: the root itself becomes a leaf, and walks read nothing.
    OwnedTree leaf;
    add_symbol(300, 0, 0, 0, &leaf.root);
    EXPECT_EQ(walk(BitWriter().bits(0xFF, 8), &leaf.root, 2), (std::vector<uint32_t>{300, 300}));
    EXPECT_EQ(decode_state.bits_used, 0u);

    EXPECT_EQ(halph_order(0), 16u);
    EXPECT_EQ(halph_order(3), 0u);
    EXPECT_EQ(halph_order(18), 15u);
    EXPECT_EQ(halph_order(19), 0u);
}

TEST(DumpTree, PrintsEachValueWithItsPathAndLeaf) {
    OwnedTree t;
    t.build({1, 1});
    EXPECT_EQ(stdout_of([&] { dump_tree(&t.root, -1); }), "");
    std::string out = stdout_of([&] { dump_tree(&t.root, 1); });
    EXPECT_EQ(out,
              "code = 00   0" + leaf_line(t.root.zero) + "code = 01   1" + leaf_line(t.root.one));
    EXPECT_NE(leaf_line(t.root.zero).find("=  0x00010000\n"), std::string::npos);

    // Values are taken least significant bit first, like the lookup tables.
    OwnedTree c;
    c.build({3, 3, 3, 3, 3, 2, 4, 4});
    uint32_t sym = 99;
    out = stdout_of([&] { sym = get_direct(6, 0, &c.root); });
    EXPECT_EQ(sym, 1u);
    EXPECT_EQ(out, "011" + leaf_line(c.root.zero->one->one));
    out = stdout_of([&] { sym = get_direct(3, 0, &c.root); });
    EXPECT_EQ(sym, 4u);
    EXPECT_EQ(out, "110" + leaf_line(c.root.one->one->zero));
    // Starting at a later level skips the value's low bits.
    out = stdout_of([&] { sym = get_direct(6 << 2, 2, &c.root); });
    EXPECT_EQ(sym, 1u);
}

// The address is the whole pointer, zero-padded to at least eight digits:
// exactly eight on a 32-bit target, never cut to 32 bits on a 64-bit one.
TEST(DumpTree, LeafLinesShowTheWholeNodeAddress) {
    OwnedTree t;
    t.build({1, 1});
    for (const tree_node *leaf : {t.root.zero, t.root.one}) {
        std::string out = stdout_of([&] { get_direct(leaf == t.root.one ? 1 : 0, 0, &t.root); });
        const std::string::size_type from = out.find("tree ptr 0x"), to = out.find("  =  ");
        ASSERT_NE(from, std::string::npos) << out;
        ASSERT_NE(to, std::string::npos) << out;
        const std::string digits = out.substr(from + 11, to - from - 11);
        EXPECT_GE(digits.size(), 8u) << out;
        EXPECT_LE(digits.size(), 2 * sizeof(void *)) << out;
        if (sizeof(void *) == 4) {
            EXPECT_EQ(digits.size(), 8u) << out;
        }
        EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << out;
        EXPECT_EQ(std::strtoull(digits.c_str(), nullptr, 16), reinterpret_cast<uintptr_t>(leaf))
            << out;
    }
}

TEST(DumpTree, AGapInTheTreePrintsNoCode) {
    OwnedTree empty;
    uint32_t sym = 99;
    EXPECT_EQ(stdout_of([&] { sym = get_direct(0, 0, &empty.root); }), "\t\tno code\n");
    EXPECT_EQ(sym, 0u);

    OwnedTree one;  // one symbol of length 1: the 1 side is an empty node
    one.build({1});
    std::string out = stdout_of([&] { dump_tree(&one.root, 3); });
    EXPECT_EQ(out, "code = 00   0" + leaf_line(one.root.zero) + "code = 01   1\t\tno code\n" +
                       "code = 02   0" + leaf_line(one.root.zero) + "code = 03   1\t\tno code\n");

    // A negative value whose bit is "-1" prints nothing and gives 0.
    out = stdout_of([&] { sym = get_direct(-1, 0, &one.root); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(sym, 0u);
}
