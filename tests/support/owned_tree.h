// Test support: code trees whose nodes the test gives back.  The library
// never frees tree nodes; a test that builds trees frees them itself, so the
// leak checker sees only real leaks.
#ifndef CMPR_TESTS_OWNED_TREE_H
#define CMPR_TESTS_OWNED_TREE_H

#include <cstdlib>
#include <vector>

#include "cmpr.h"

namespace cmpr_test {

// Nodes below 'n', 'n' itself not counted.
inline int count_below(const tree_node *n) {
    if (n == nullptr) return 0;
    int c = 0;
    for (const tree_node *child : {n->zero, n->one})
        if (child != nullptr) c += 1 + count_below(child);
    return c;
}

// Frees every node below 'root' and detaches them.
inline void free_below(tree_node *root) {
    for (tree_node **slot : {&root->zero, &root->one}) {
        if (*slot == nullptr) continue;
        free_below(*slot);
        std::free(*slot);
        *slot = nullptr;
    }
}

// A root on the test's side, freed with everything below it.
struct OwnedTree {
    tree_node root{};
    OwnedTree() = default;
    OwnedTree(const OwnedTree &) = delete;
    OwnedTree &operator=(const OwnedTree &) = delete;
    ~OwnedTree() { free_below(&root); }

    // Builds the tree of 'lengths' (symbol i has length lengths[i]) and
    // returns the table with the codes get_table() assigned.
    std::vector<code_entry> build(const std::vector<int32_t> &lengths) {
        std::vector<code_entry> table;
        for (int32_t len : lengths) table.push_back({0, len});
        free_below(&root);
        get_table(table.data(), static_cast<int32_t>(table.size()), &root);
        return table;
    }
};

// Code lengths of the fixed literal/length code.
inline std::vector<int32_t> fixed_litlen_lengths() {
    std::vector<int32_t> v(288, 8);
    for (int s = 144; s < 256; ++s) v[s] = 9;
    for (int s = 256; s < 280; ++s) v[s] = 7;
    return v;
}

}  // namespace cmpr_test

#endif
