// CRC-32 of gzip and PNG: reflected polynomial 0x04C11DB7 (table constant
// 0xEDB88320), register preset to all ones, result complemented.
#include <atomic>

#include "cmpr.h"
#include "crc32_engines.h"
#include "crc32_tables.h"

namespace {

// The engine for this CPU, chosen on first use.  Threads that choose at once
// choose the same one, so a relaxed atomic is all it takes (and, zero at
// load, it is ready even for another library's start-up code).
std::atomic<cmpr::CrcEngine> g_engine{nullptr};

cmpr::CrcEngine engine() {
    cmpr::CrcEngine e = g_engine.load(std::memory_order_relaxed);
    if (e == nullptr) {
        e = cmpr::best_crc32_engine();
        g_engine.store(e, std::memory_order_relaxed);
    }
    return e;
}

// The exported table is built for hosts that read it, on first use; the
// work goes through the engine's own constant tables, which hold the same
// values.
void ensure_table() {
    if (std::atomic_ref<int>(crc_table_computed).load(std::memory_order_acquire) == 0)
        make_crc_table();
}

}  // namespace

cmpr::CrcEngine cmpr::best_crc32_engine() {
    if (CrcEngine e = crc32_clmul512_engine()) return e;
    if (CrcEngine e = crc32_clmul128_engine()) return e;
    if (CrcEngine e = crc32_armv8_engine()) return e;
    return crc32_slice8;
}

extern "C" {

uint32_t crc_table[256];
int crc_table_computed;

// Builds the table without a lock: threads that build it at once (a host's
// call beside another thread's first checksum) store the same values, each
// entry atomically, and publish it with the flag, so that a reader that sees
// the flag set sees the whole table.
void make_crc_table(void) {
    for (uint32_t n = 0; n < 256; ++n)
        std::atomic_ref<uint32_t>(crc_table[n])
            .store(cmpr::crc_byte_step(n), std::memory_order_relaxed);
    std::atomic_ref<int>(crc_table_computed).store(1, std::memory_order_release);
}

uint32_t update_crc(uint32_t crc, const uint8_t *buf, int32_t len) {
    ensure_table();
    return len > 0 ? engine()(crc, buf, static_cast<size_t>(len)) : crc;
}

uint32_t crc_gen(const uint8_t *buf, int32_t len) {
    return ~update_crc(0xFFFFFFFFu, buf, len);
}

}  // extern "C"
