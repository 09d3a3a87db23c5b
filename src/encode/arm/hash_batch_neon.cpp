// hash3 of eight consecutive positions at once on NEON, for 32-bit ARM CPUs
// that have it, and the check of what this CPU has.
//
// The library is built for ARMv7 without NEON (Debian's armhf baseline), so
// only the functions marked CMPR_TARGET_NEON use it, and the compressor calls
// them only once the kernel has said that the CPU has NEON.
#if !defined(__arm__) || !defined(__GNUC__)
#error "32-bit ARM code for g++: src/CMakeLists.txt builds it for 32-bit ARM only"
#endif

#include <arm_neon.h>
#include <sys/auxv.h>

#include <atomic>

#include "encode/hash_batch.h"

#ifndef HWCAP_NEON
#define HWCAP_NEON (1 << 12)  // <asm/hwcap.h> of 32-bit ARM
#endif

#define CMPR_TARGET_NEON __attribute__((target("fpu=neon")))

namespace cmpr {
namespace {

// 0 until asked, then 1 (no NEON) or 2.  Threads that ask at once get the
// same answer, so a relaxed atomic is all it takes.
std::atomic<int> g_neon{0};

// hash3 in four lanes: its add-shift rounds as multiply-adds.
CMPR_TARGET_NEON inline uint32x4_t hash3_lanes(uint32x4_t x) {
    const uint32x4_t minus_one = vdupq_n_u32(~0u);
    x = vmlaq_n_u32(minus_one, x, 1u - (1u << 15));  // x + ~(x << 15)
    x = veorq_u32(x, vshrq_n_u32(x, 10));
    x = vmulq_n_u32(x, 9);  // x + (x << 3)
    x = veorq_u32(x, vshrq_n_u32(x, 6));
    x = vmlaq_n_u32(minus_one, x, 1u - (1u << 11));  // x + ~(x << 11)
    x = veorq_u32(x, vshrq_n_u32(x, 16));
    return vandq_u32(x, vdupq_n_u32((1u << kHashBits) - 1));
}

// The three bytes from q + 2k and q + 2k + 1 as two lanes, a fourth byte of
// zero above each (an index past the table reads as 0).
CMPR_TARGET_NEON inline uint8x8_t strings_at(uint8x8x2_t bytes, uint64_t k) {
    constexpr uint64_t kFirst = 0xFF030201FF020100;  // the indices for k = 0
    return vtbl2_u8(bytes, vcreate_u8(kFirst + k * 0x0002020200020202));
}

}  // namespace

bool hash_batch_in_vectors() {
    int reported = g_neon.load(std::memory_order_relaxed);
    if (reported == 0) {
        reported = (getauxval(AT_HWCAP) & HWCAP_NEON) != 0 ? 2 : 1;
        g_neon.store(reported, std::memory_order_relaxed);
    }
    return reported == 2;
}

CMPR_TARGET_NEON bool hash3_batch_neon(const uint8_t *q, uint32_t before, uint32_t out[8]) {
    const uint8x16_t v = vld1q_u8(q);
    const uint8x8x2_t bytes = {{vget_low_u8(v), vget_high_u8(v)}};
    const uint32x4_t lo =
        hash3_lanes(vreinterpretq_u32_u8(vcombine_u8(strings_at(bytes, 0), strings_at(bytes, 1))));
    const uint32x4_t hi =
        hash3_lanes(vreinterpretq_u32_u8(vcombine_u8(strings_at(bytes, 2), strings_at(bytes, 3))));
    vst1q_u32(out, lo);
    vst1q_u32(out + 4, hi);
    // The hashes one lane on: 'before', out[0] .. out[6].
    const uint32x4_t lo_before = vextq_u32(vdupq_n_u32(before), lo, 3);
    const uint32x4_t hi_before = vextq_u32(lo, hi, 3);
    const uint32x4_t same = vorrq_u32(vceqq_u32(lo, lo_before), vceqq_u32(hi, hi_before));
    const uint32x2_t any = vorr_u32(vget_low_u32(same), vget_high_u32(same));
    return (vget_lane_u32(any, 0) | vget_lane_u32(any, 1)) == 0;
}

}  // namespace cmpr
