// CRC-32 by carry-less multiplication on x86-64: the engines crc32_clmul128
// (PCLMULQDQ and SSE4.1) and crc32_clmul512 (AVX-512 with VPCLMULQDQ), and
// the check of what this CPU has.
//
// Four 128-bit accumulators fold the input 64 bytes at a time: a 128-bit
// block D bits ahead of the point it is folded into contributes its high
// and low halves times x^(D+32) and x^(D-32) mod P (reflected, so the low
// quadword holds the higher-degree half).  What remains after the last fold
// is a 128-bit value congruent to everything folded; its CRC, and the CRC of
// the tail, come from the tables.
#if !defined(__x86_64__) || !defined(__GNUC__)
#error "x86-64 code for g++ or clang: src/CMakeLists.txt builds it for x86-64 only"
#endif

#include <immintrin.h>

#include "api/crc32_engines.h"
#include "api/crc32_tables.h"

namespace cmpr {
namespace {

constexpr uint64_t kFold512Lo = fold_constant(512 + 32), kFold512Hi = fold_constant(512 - 32);
constexpr uint64_t kFold128Lo = fold_constant(128 + 32), kFold128Hi = fold_constant(128 - 32);

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i acc, __m128i k, __m128i next) {
    __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

__attribute__((target("pclmul,sse4.1"))) uint32_t crc32_clmul128(uint32_t crc, const uint8_t *p,
                                                                 size_t n) {
    if (n < 64) return crc32_slice8(crc, p, n);
    auto load = [](const uint8_t *q) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
    };

    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;

    const __m128i k512 =
        _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));
    while (n >= 64) {
        x0 = fold(x0, k512, load(p));
        x1 = fold(x1, k512, load(p + 16));
        x2 = fold(x2, k512, load(p + 32));
        x3 = fold(x3, k512, load(p + 48));
        p += 64;
        n -= 64;
    }

    const __m128i k128 =
        _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
    __m128i r = fold(x0, k128, x1);
    r = fold(r, k128, x2);
    r = fold(r, k128, x3);
    while (n >= 16) {
        r = fold(r, k128, load(p));
        p += 16;
        n -= 16;
    }

    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(rest), r);
    return crc32_bytewise(crc32_slice8(0, rest, 16), p, n);
}

// The same folding on 512-bit registers (AVX-512 with VPCLMULQDQ): four
// accumulators of four 128-bit lanes each take 256 bytes per step.
#define CMPR_TARGET_VPCLMUL __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

constexpr uint64_t kFold2048Lo = fold_constant(2048 + 32), kFold2048Hi = fold_constant(2048 - 32);
constexpr uint64_t kFold384Lo = fold_constant(384 + 32), kFold384Hi = fold_constant(384 - 32);
constexpr uint64_t kFold256Lo = fold_constant(256 + 32), kFold256Hi = fold_constant(256 - 32);

CMPR_TARGET_VPCLMUL inline __m512i fold512(__m512i acc, __m512i k, __m512i next) {
    __m512i lo = _mm512_clmulepi64_epi128(acc, k, 0x00);
    __m512i hi = _mm512_clmulepi64_epi128(acc, k, 0x11);
    return _mm512_ternarylogic_epi64(lo, hi, next, 0x96);  // lo ^ hi ^ next
}

CMPR_TARGET_VPCLMUL __m128i lanes(uint64_t lo, uint64_t hi) {
    return _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
}

CMPR_TARGET_VPCLMUL __m512i wide_lanes(uint64_t lo, uint64_t hi) {
    auto l = static_cast<long long>(lo), h = static_cast<long long>(hi);
    return _mm512_set_epi64(h, l, h, l, h, l, h, l);
}

// Lane i of z.  (The masked form with an explicit source keeps the compiler
// from warning about the unmasked form's undefined source.)
template <int i>
CMPR_TARGET_VPCLMUL __m128i lane(__m512i z) {
    return _mm512_mask_extracti32x4_epi32(_mm_setzero_si128(), 0xF, z, i);
}

CMPR_TARGET_VPCLMUL uint32_t crc32_clmul512(uint32_t crc, const uint8_t *p, size_t n) {
    if (n < 256) return crc32_clmul128(crc, p, n);
    __m512i z0 = _mm512_xor_si512(_mm512_loadu_si512(p),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m512i z1 = _mm512_loadu_si512(p + 64), z2 = _mm512_loadu_si512(p + 128),
            z3 = _mm512_loadu_si512(p + 192);
    p += 256;
    n -= 256;

    const __m512i k2048 = wide_lanes(kFold2048Lo, kFold2048Hi);
    while (n >= 256) {
        z0 = fold512(z0, k2048, _mm512_loadu_si512(p));
        z1 = fold512(z1, k2048, _mm512_loadu_si512(p + 64));
        z2 = fold512(z2, k2048, _mm512_loadu_si512(p + 128));
        z3 = fold512(z3, k2048, _mm512_loadu_si512(p + 192));
        p += 256;
        n -= 256;
    }

    const __m512i k512 = wide_lanes(kFold512Lo, kFold512Hi);
    __m512i z = fold512(z0, k512, z1);
    z = fold512(z, k512, z2);
    z = fold512(z, k512, z3);
    while (n >= 64) {
        z = fold512(z, k512, _mm512_loadu_si512(p));
        p += 64;
        n -= 64;
    }

    // The four lanes lie 384, 256, 128 and 0 bits before the end.
    __m128i r = lane<3>(z);
    r = fold(lane<0>(z), lanes(kFold384Lo, kFold384Hi), r);
    r = fold(lane<1>(z), lanes(kFold256Lo, kFold256Hi), r);
    r = fold(lane<2>(z), lanes(kFold128Lo, kFold128Hi), r);
    const __m128i k128 = lanes(kFold128Lo, kFold128Hi);
    while (n >= 16) {
        r = fold(r, k128, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        p += 16;
        n -= 16;
    }

    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(rest), r);
    return crc32_bytewise(crc32_slice8(0, rest, 16), p, n);
}

}  // namespace

namespace {
bool cpu_has(bool avx512) {
    __builtin_cpu_init();
    bool base = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return base &&
           (!avx512 || (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq")));
}
}  // namespace

CrcEngine crc32_clmul128_engine() {
    return cpu_has(false) ? crc32_clmul128 : nullptr;
}
CrcEngine crc32_clmul512_engine() {
    return cpu_has(true) ? crc32_clmul512 : nullptr;
}

}  // namespace cmpr
