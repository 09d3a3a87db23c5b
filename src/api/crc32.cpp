// CRC-32 of gzip and PNG: reflected polynomial 0x04C11DB7 (table constant
// 0xEDB88320), register preset to all ones, result complemented.
#include <pthread.h>

#include <atomic>

#include "cmpr.h"
#include "crc32_engines.h"
#include "crc32_tables.h"

namespace {

// The engine for this CPU, chosen on first use (also safe when that first
// use comes from another library's start-up code).
cmpr::CrcEngine engine() {
    static const cmpr::CrcEngine chosen = cmpr::best_crc32_engine();
    return chosen;
}

// Serialises lazy builds, so that threads making their first checksum at once
// build the table exactly once and none of them reads a half-built table.
pthread_mutex_t g_build_lock = PTHREAD_MUTEX_INITIALIZER;

bool table_ready() {
    return std::atomic_ref<int>(crc_table_computed).load(std::memory_order_acquire) != 0;
}

void ensure_table() {
    if (table_ready()) return;
    pthread_mutex_lock(&g_build_lock);
    if (!table_ready()) make_crc_table();
    pthread_mutex_unlock(&g_build_lock);
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

void make_crc_table(void) {
    for (uint32_t n = 0; n < 256; ++n) crc_table[n] = cmpr::crc_byte_step(n);
    // Publish the table before the flag: a reader that sees 1 sees the table.
    std::atomic_ref<int>(crc_table_computed).store(1, std::memory_order_release);
}

uint32_t update_crc(uint32_t crc, const uint8_t *buf, int32_t len) {
    // The exported table is built for hosts that read it; the work goes
    // through the engine's own constant tables, which hold the same values.
    ensure_table();
    return len > 0 ? engine()(crc, buf, static_cast<size_t>(len)) : crc;
}

uint32_t crc_gen(const uint8_t *buf, int32_t len) {
    return ~update_crc(0xFFFFFFFFu, buf, len);
}

}  // extern "C"
