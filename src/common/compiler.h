// Internal: hints to the compiler, for the hot loops of the codecs.
//
// CMPR_FORCE_INLINE inlines a small helper even where the compiler's own
// measure would not; CMPR_LIKELY and CMPR_UNLIKELY say which way a branch
// goes nearly always; CMPR_NO_CODE_HOISTING (below); opaque_pointer() and
// opaque_address() keep a table's address in a register.  Compilers
// without the GNU extensions get plain inline, unhinted branches, every
// optimization and plain addresses.
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

// CMPR_NO_CODE_HOISTING keeps g++ from computing what the branches of a
// function share before it branches: in a loop that is short of registers
// (the fast decoder on 32-bit CPUs) the hoisted values of the rarer branch
// then stay in memory across the common one.  Clang has no such pass.
#if defined(__GNUC__) && !defined(__clang__)
#define CMPR_NO_CODE_HOISTING __attribute__((optimize("no-code-hoisting")))
#else
#define CMPR_NO_CODE_HOISTING
#endif

namespace cmpr {

// 'p' as a pointer the compiler did not form itself and cannot rebuild: a
// function that is handed the address of a static table keeps it in a
// register (or one stack slot) instead of forming it anew from the symbol
// at every use.
template <class T>
CMPR_FORCE_INLINE T *opaque_pointer(T *p) {
#if defined(__GNUC__)
    __asm__("" : "+r"(p));
#endif
    return p;
}

// The address of 'x', which the compiler then treats as any pointer it did
// not form itself: one base register for a table that a hot loop indexes.
// In position-independent code for 32-bit x86, g++ otherwise rebuilds a
// static table's address from the global offset table for every lookup.
template <class T>
CMPR_FORCE_INLINE const T *opaque_address(const T &x) {
    return opaque_pointer(&x);
}

}  // namespace cmpr

#endif
