// Internal: walking a code tree, inline for the decoding loop.  The exported
// get_symbol() wraps it.
#ifndef CMPR_SRC_DECODE_CODE_TREE_H
#define CMPR_SRC_DECODE_CODE_TREE_H

#include <cstdint>

#include "bit_reader.h"
#include "cmpr.h"

namespace cmpr {

inline constexpr uint32_t kLeafFlag = 0x10000;
inline constexpr uint32_t kLeafSymbol = 0xFFFF;

// Reports a walk into a missing child (the bit just read was 'bit') and ends
// the process.
[[noreturn]] void null_tree(uint32_t bit);

// Reads one bit per node without a leaf and returns the symbol of the first
// leaf.  A null 'node' is taken as an empty tree: the bit is read and the
// walk ends in the null-tree exit like at any empty node.
inline uint32_t walk_tree(const uint8_t *src, const tree_node *node) {
    for (;;) {
        if (node != nullptr && (node->leaf & kLeafFlag)) return node->leaf & kLeafSymbol;
        uint32_t bit = read_bits(src, 1);
        const tree_node *next = node == nullptr ? nullptr : bit ? node->one : node->zero;
        if (next == nullptr) null_tree(bit);
        node = next;
    }
}

// The bit of 'value' that add_symbol() and get_direct() branch on at a given
// shift: 0, 1, or -1 for a negative value whose shifted form is odd (the
// remainder of a division truncated toward zero).  The shift is clamped to
// 0..31, which for larger shifts is what an arithmetic shift of any width
// would give (the sign, repeated).
inline int32_t branch_bit(int32_t value, int64_t shift) {
    if (shift < 0) shift = 0;
    if (shift > 31) shift = 31;
    return (value >> shift) % 2;
}

}  // namespace cmpr

#endif
