// Code trees: canonical codes from code lengths, insertion, and decoding one
// symbol by walking a tree.
#include "code_tree.h"

#include <cstdio>
#include <cstdlib>

#include "common/report.h"

namespace cmpr {

void null_tree(uint32_t bit) {
    static const char kMessage[] = "null tree\n";
    std::fwrite(kMessage, 1, sizeof kMessage - 1, stderr);
    CMPR_REPORT("get_symbol", bit != 0 ? 992 : 978, kLevelError, "null tree, crash daemon");
    std::exit(-1);
}

namespace {

constexpr int32_t kMaxCodeLen = 16;

bool has_code(const code_entry &e) {
    return e.len >= 1 && e.len <= kMaxCodeLen;
}

// A new node with no children and no leaf, or null when memory is out.
tree_node *new_node() {
    auto *n = static_cast<tree_node *>(std::malloc(sizeof(tree_node)));
    if (n != nullptr) *n = tree_node{nullptr, nullptr, 0};
    return n;
}

}  // namespace

}  // namespace cmpr

extern "C" {

tree_node litlen_tree;
tree_node offset_tree;
tree_node code_length_tree;

// Canonical codes as in DEFLATE: shorter codes first, and within one length
// in increasing symbol order.  Lengths outside 1..16 cannot form a code that
// a walk of at most 16 levels ends in; they get none and stay out of the
// tree.  The arithmetic is unsigned so that over-subscribed sets, whose first
// codes grow beyond their lengths, wrap instead of overflowing.
void get_table(code_entry *table, int32_t count, tree_node *root) {
    if (count < 0) count = 0;
    uint32_t per_len[cmpr::kMaxCodeLen + 1] = {};
    for (int32_t i = 0; i < count; ++i)
        if (cmpr::has_code(table[i]) && table[i].len < cmpr::kMaxCodeLen) ++per_len[table[i].len];

    uint32_t next[cmpr::kMaxCodeLen + 1] = {};
    for (int32_t len = 2; len <= cmpr::kMaxCodeLen; ++len)
        next[len] = (next[len - 1] + per_len[len - 1]) * 2;
    for (int32_t i = 0; i < count; ++i)
        if (cmpr::has_code(table[i])) table[i].code = static_cast<int32_t>(next[table[i].len]++);

    if (root == nullptr) return;
    root->zero = nullptr;  // the old nodes stay allocated: the caller may still hold them
    root->one = nullptr;
    for (int32_t i = 0; i < count; ++i)
        if (cmpr::has_code(table[i]))
            add_symbol(static_cast<uint32_t>(i), table[i].code, table[i].len, table[i].len, root);
}

// Every node passed gets both children, so a complete code of N symbols makes
// 2N - 2 nodes.  Written as a loop rather than one call per level: a caller's
// bit count may be large.  A failed allocation leaves that child absent and
// ends the insertion there; a later walk into it ends in the null-tree exit.
int32_t add_symbol(uint32_t sym, int32_t code, int32_t full_len, int32_t bits_left,
                   tree_node *node) {
    (void)full_len;
    if (bits_left < 0) return 0;
    while (node != nullptr) {
        if (bits_left == 0) {
            node->leaf = sym | cmpr::kLeafFlag;
            return 0;
        }
        if (node->zero == nullptr) node->zero = cmpr::new_node();
        if (node->one == nullptr) node->one = cmpr::new_node();
        int32_t bit = cmpr::branch_bit(code, static_cast<int64_t>(bits_left) - 1);
        if (bit < 0) return 0;  // only a negative code: nothing is stored
        node = bit != 0 ? node->one : node->zero;
        --bits_left;
    }
    return 0;
}

uint32_t get_symbol(const uint8_t *src, int32_t depth, tree_node *node) {
    (void)depth;
    return cmpr::walk_tree(src, node);
}

// The order in which DEFLATE sends the code-length code's lengths: the ones
// most often used first.
uint32_t halph_order(uint32_t pos) {
    static const uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    return pos < 19 ? kOrder[pos] : 0;
}

}  // extern "C"
