// Internal: hints to the compiler, for the hot loops of the codecs.
//
// CMPR_FORCE_INLINE inlines a small helper even where the compiler's own
// measure would not; CMPR_LIKELY and CMPR_UNLIKELY say which way a branch
// goes nearly always.  Compilers without the GNU extensions get plain
// inline and unhinted branches.
#ifndef CMPR_SRC_COMMON_COMPILER_H
#define CMPR_SRC_COMMON_COMPILER_H

#if defined(__GNUC__)
#define CMPR_FORCE_INLINE inline __attribute__((always_inline))
#define CMPR_LIKELY(x) __builtin_expect(!!(x), 1)
#define CMPR_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define CMPR_FORCE_INLINE inline
#define CMPR_LIKELY(x) (x)
#define CMPR_UNLIKELY(x) (x)
#endif

#endif
