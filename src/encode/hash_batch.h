// Internal: hash3 of eight consecutive positions at once.
//
// With SSE2 (every x86-64 CPU) the eight hashes take two vectors of four
// lanes, and so they do with NEON, which 32-bit ARM CPUs may lack: there
// hash_batch_in_vectors() says whether the kernel reports it, and only then
// may hash3_batch() be called (arm/hash_batch_neon.cpp).  Elsewhere they are
// taken one at a time.  The results are hash3's.
#ifndef CMPR_SRC_ENCODE_HASH_BATCH_H
#define CMPR_SRC_ENCODE_HASH_BATCH_H

#include <cstdint>

#include "common/compiler.h"
#include "common/unaligned.h"
#include "lz77.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cmpr {

// Bytes read from 'q' on: the strings of q .. q + 7 need ten, the vector
// loads read sixteen.
constexpr uint32_t kHashBatchReads = 16;

#if defined(__SSE2__)

constexpr bool hash_batch_in_vectors() {
    return true;
}

CMPR_FORCE_INLINE __m128i hash3_lanes(__m128i x) {
    const __m128i ones = _mm_set1_epi32(-1);
    x = _mm_add_epi32(_mm_sub_epi32(x, _mm_slli_epi32(x, 15)), ones);  // x + ~(x << 15)
    x = _mm_xor_si128(x, _mm_srli_epi32(x, 10));
    x = _mm_add_epi32(x, _mm_slli_epi32(x, 3));
    x = _mm_xor_si128(x, _mm_srli_epi32(x, 6));
    x = _mm_add_epi32(_mm_sub_epi32(x, _mm_slli_epi32(x, 11)), ones);  // x + ~(x << 11)
    x = _mm_xor_si128(x, _mm_srli_epi32(x, 16));
    return _mm_and_si128(x, _mm_set1_epi32((1 << kHashBits) - 1));
}

// out[i] = hash3 of the three bytes at q + i, for i = 0 .. 7.  Returns
// whether every out[i] differs from the hash before it (out[i - 1], and
// 'before' for out[0]).
CMPR_FORCE_INLINE bool hash3_batch(const uint8_t *q, uint32_t before, uint32_t out[8]) {
    // Lane j of v, v1, v2, v3 holds the bytes from q + 4j, + 1, + 2, + 3.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
    const __m128i a = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 1));
    const __m128i b = _mm_unpacklo_epi32(_mm_srli_si128(v, 2), _mm_srli_si128(v, 3));
    const __m128i strings = _mm_set1_epi32(0xFFFFFF);
    const __m128i lo = hash3_lanes(_mm_and_si128(_mm_unpacklo_epi64(a, b), strings));
    const __m128i hi = hash3_lanes(_mm_and_si128(_mm_unpackhi_epi64(a, b), strings));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4), hi);
    // The hashes one lane on: 'before', out[0] .. out[6].
    const __m128i lo_before =
        _mm_or_si128(_mm_slli_si128(lo, 4), _mm_cvtsi32_si128(static_cast<int>(before)));
    const __m128i hi_before = _mm_or_si128(_mm_slli_si128(hi, 4), _mm_srli_si128(lo, 12));
    const __m128i same =
        _mm_or_si128(_mm_cmpeq_epi32(lo, lo_before), _mm_cmpeq_epi32(hi, hi_before));
    return _mm_movemask_epi8(same) == 0;
}

#elif defined(__arm__)

bool hash_batch_in_vectors();
bool hash3_batch_neon(const uint8_t *q, uint32_t before, uint32_t out[8]);

CMPR_FORCE_INLINE bool hash3_batch(const uint8_t *q, uint32_t before, uint32_t out[8]) {
    return hash3_batch_neon(q, before, out);
}

#else

constexpr bool hash_batch_in_vectors() {
    return false;
}

CMPR_FORCE_INLINE bool hash3_batch(const uint8_t *q, uint32_t before, uint32_t out[8]) {
    bool differ = true;
    for (uint32_t i = 0; i < 8; ++i) {
        out[i] = hash3(load_le32(q + i) & 0xFFFFFF);
        differ &= out[i] != before;
        before = out[i];
    }
    return differ;
}

#endif

}  // namespace cmpr

#endif
