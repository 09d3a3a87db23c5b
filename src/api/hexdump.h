// Internal: the body of the failure dumps.
//
// Both dumps (beside the zlib wrappers and beside the block decoder) show rows
// of 20 bytes as five words built big-endian from the bytes, so each word's
// hex digits show its bytes in memory order.  They differ only in their
// header and in the window they show, which each keeps in its own file.
#ifndef CMPR_SRC_API_HEXDUMP_H
#define CMPR_SRC_API_HEXDUMP_H

#include <cstdint>

namespace cmpr {

// Rows of a dump of 'len' bytes: len / 20, at least one.  Only whole rows.
inline int32_t dump_rows(int32_t len) {
    int32_t rows = len / 20;
    return rows > 0 ? rows : 1;
}

// Reports 'rows' rows from address 'first' under "dbg_hex_dump", line
// 'row_line', level 3.  A row that cannot be read in full is left out.
void dump_rows_at(std::uintptr_t first, int32_t rows, int row_line);

}  // namespace cmpr

#endif
