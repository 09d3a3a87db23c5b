// Printing code trees on standard output, for debugging a decoder's tables.
#include <cinttypes>
#include <cstdio>

#include "code_tree.h"

extern "C" {

// The leaf line shows the whole node address, zero-padded to at least eight
// digits: the same text as eight digits on the 32-bit unit, and an address
// that still identifies the node on a 64-bit host.
//
// A node without a leaf that lacks the child for the next bit (an empty
// root, or a gap in an incomplete code) ends the walk with "no code" and 0;
// the digit of that bit is not printed, since no branch was taken.
uint32_t get_direct(int32_t value, int32_t level, tree_node *node) {
    uint32_t symbol = 0;
    int64_t shift = level;
    for (;;) {
        if (node != nullptr && (node->leaf & cmpr::kLeafFlag)) {
            std::printf("\t\ttree ptr 0x%.8" PRIxPTR "  =  0x%.8x\n",
                        reinterpret_cast<std::uintptr_t>(node), node->leaf);
            symbol = node->leaf & cmpr::kLeafSymbol;
            break;
        }
        int32_t bit = cmpr::branch_bit(value, shift);
        if (bit < 0) break;  // a negative value: nothing to print
        tree_node *next = node == nullptr ? nullptr : bit != 0 ? node->one : node->zero;
        if (next == nullptr) {
            std::fputs("\t\tno code\n", stdout);
            break;
        }
        std::putchar(bit != 0 ? '1' : '0');
        node = next;
        ++shift;
    }
    std::fflush(stdout);
    return symbol;
}

void dump_tree(tree_node *root, int32_t max_code) {
    for (int64_t v = 0; v <= max_code; ++v) {
        std::printf("code = %.2x   ", static_cast<unsigned>(v));
        std::fflush(stdout);
        get_direct(static_cast<int32_t>(v), 0, root);
    }
}

}  // extern "C"
