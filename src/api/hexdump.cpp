#include "hexdump.h"

#include "common/report.h"
#include "mem_probe.h"

namespace cmpr {

namespace {

uint32_t be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

}  // namespace

void dump_rows_at(std::uintptr_t first, int32_t rows, int row_line) {
    MemProbe probe;
    for (int32_t r = 0; r < rows; ++r) {
        std::uintptr_t addr = first + static_cast<std::uintptr_t>(r) * 20;
        uint8_t row[20];
        if (!probe.copy(row, addr, sizeof row)) continue;
        CMPR_REPORT("dbg_hex_dump", row_line, kLevelError, "%p: %08X %08X %08X %08X %08X",
                    reinterpret_cast<const void *>(addr), be32(row), be32(row + 4), be32(row + 8),
                    be32(row + 12), be32(row + 16));
    }
}

}  // namespace cmpr
