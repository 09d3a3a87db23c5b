// CRC-32 of gzip and PNG: reflected polynomial 0x04C11DB7 (table constant
// 0xEDB88320), register preset to all ones, result complemented.
#include <pthread.h>

#include <atomic>

#include "cmpr.h"

namespace {

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

extern "C" {

uint32_t crc_table[256];
int crc_table_computed;

void make_crc_table(void) {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t x = n;
        for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
        crc_table[n] = x;
    }
    // Publish the table before the flag: a reader that sees 1 sees the table.
    std::atomic_ref<int>(crc_table_computed).store(1, std::memory_order_release);
}

uint32_t update_crc(uint32_t crc, const uint8_t *buf, int32_t len) {
    ensure_table();
    for (int32_t i = 0; i < len; ++i) crc = crc_table[(crc ^ buf[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t crc_gen(const uint8_t *buf, int32_t len) {
    return ~update_crc(0xFFFFFFFFu, buf, len);
}

}  // extern "C"
