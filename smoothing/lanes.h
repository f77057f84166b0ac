/* Vector primitives of the smoother: loads, stores, the two operations
 * whose NaN results x86 fixes by operand order, for 2- and 4-lane vectors
 * of doubles, and the check that keeps x86's NaN bits elsewhere.
 * Header-only: every function is inlined into kernels compiled for the path
 * they serve (smoothing/kernels.cpp). */
#ifndef LANES_H
#define LANES_H

#include <cfenv>
#include <cstddef>
#include <cstring>

#ifndef __GNUC__
#error "The solver is written with GCC/Clang vector extensions: build with GCC, MinGW-w64 or Clang."
#endif

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));

#define INLINE static inline __attribute__((always_inline))

template <class V> INLINE V loadV(const double *p)
{
    V v;
    memcpy(&v, p, sizeof v);
    return v;
}

template <class V> INLINE void storeV(double *p, V v)
{
    memcpy(p, &v, sizeof v);
}

template <class V> INLINE V splat(double x)
{
    V v;
    for (unsigned j = 0; j < sizeof(V) / sizeof(double); ++j)
        v[j] = x;
    return v;
}

/* x86's NaN rule (common/nanrules.h) is the result on every build. The
 * x86 operations give it by themselves, provided a product keeps its
 * operands in the written order: with two NaN factors the first comes out,
 * and compilers swap the operands of a plain `*`. The aarch64 operations
 * give it too with the order kept (a quiet NaN operand comes out, the first
 * if both are NaN), except in the cases that raise the invalid flag: an
 * invalid operation (ARM's default NaN has the sign clear) and a signalling
 * NaN operand (ARM takes it before a quiet first one). So the kernels check:
 *   NAN_CHECK_NONE    nothing (x86);
 *   NAN_CHECK_INVALID a part that raised the invalid flag solves its lines
 *                     that hold a NaN again, one at a time with the rule
 *                     spelt out (aarch64);
 *   NAN_CHECK_EVERY   every line that holds a NaN is solved again (other
 *                     processors, where the operand order is not kept).
 * Every value a line computes feeds its result, and a NaN operand gives a
 * NaN: a line whose result holds no NaN met none, and has the same bits on
 * every build. */
enum NanCheck { NAN_CHECK_NONE, NAN_CHECK_INVALID, NAN_CHECK_EVERY };

#if defined(__x86_64__) || defined(__i386__)
#define X86_ORDERED_OPS 1
#define NATIVE_NAN_CHECK NAN_CHECK_NONE
#elif defined(__aarch64__)
#define NEON_ORDERED_OPS 1
#define NATIVE_NAN_CHECK NAN_CHECK_INVALID
#else
#define NATIVE_NAN_CHECK NAN_CHECK_EVERY
#endif

#if defined(X86_ORDERED_OPS) && defined(__clang__)
/* Clang checks an asm operand's width against the features of the function
 * it is written in, before inlining: 4-lane operands go through functions of
 * the AVX2 kernels' own target, which it inlines into them. */
__attribute__((target("avx2"))) static inline void mulAvx(v4d *r, const v4d *a, const v4d *b)
{
    __asm__("vmulpd %2, %1, %0" : "=x"(*r) : "x"(*a), "x"(*b));
}

__attribute__((target("avx2"))) static inline void keepAvx(v4d *v)
{
    __asm__("" : "+x"(*v));
}
#endif

template <class V> INLINE V mul(V a, V b)
{
#if defined(X86_ORDERED_OPS)
    if constexpr (sizeof(V) == 32) {
        V r;
#ifdef __clang__
        mulAvx(&r, &a, &b);
#else
        __asm__("vmulpd %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
#endif
        return r;
    } else {
#ifdef __AVX__
        V r;
        __asm__("vmulpd %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
        return r;
#else
        __asm__("mulpd %1, %0" : "+x"(a) : "x"(b));
        return a;
#endif
    }
#elif defined(NEON_ORDERED_OPS)
    static_assert(sizeof(V) == 16, "NEON vectors are two doubles");
    V r;
    __asm__("fmul %0.2d, %1.2d, %2.2d" : "=w"(r) : "w"(a), "w"(b));
    return r;
#else
    return a * b;
#endif
}

/* -(lam * w), kept as a negation: the compiler would otherwise turn
 * `x - (-y)` into `x + y`, which gives a NaN y the other sign. */
template <class V> INLINE V negProduct(V lam, V w)
{
    V v = -mul(lam, w);
#if defined(X86_ORDERED_OPS) && defined(__clang__)
    if constexpr (sizeof(V) == 32)
        keepAvx(&v);
    else
        __asm__("" : "+x"(v));
#elif defined(X86_ORDERED_OPS)
    __asm__("" : "+x"(v));
#elif defined(NEON_ORDERED_OPS)
    __asm__("" : "+w"(v));
#endif
    return v;
}

/* Clears the invalid flag before a part where the check reads it. */
INLINE void nanWatchStart(NanCheck check)
{
    if (check == NAN_CHECK_INVALID)
        feclearexcept(FE_INVALID);
}

/* Whether the part solved since nanWatchStart must look for lines to solve
 * again. */
INLINE bool nanWatchTripped(NanCheck check)
{
    return check == NAN_CHECK_EVERY || (check == NAN_CHECK_INVALID && fetestexcept(FE_INVALID));
}

/* Transposes a W x W tile held in W vectors. */
template <class V> INLINE void transposeTile(V *t)
{
    if constexpr (sizeof(V) == 16) {
        V a = __builtin_shufflevector(t[0], t[1], 0, 2);
        V b = __builtin_shufflevector(t[0], t[1], 1, 3);
        t[0] = a;
        t[1] = b;
    } else {
        V a = __builtin_shufflevector(t[0], t[1], 0, 4, 2, 6);
        V b = __builtin_shufflevector(t[0], t[1], 1, 5, 3, 7);
        V c = __builtin_shufflevector(t[2], t[3], 0, 4, 2, 6);
        V d = __builtin_shufflevector(t[2], t[3], 1, 5, 3, 7);
        t[0] = __builtin_shufflevector(a, c, 0, 1, 4, 5);
        t[1] = __builtin_shufflevector(b, d, 0, 1, 4, 5);
        t[2] = __builtin_shufflevector(a, c, 2, 3, 6, 7);
        t[3] = __builtin_shufflevector(b, d, 2, 3, 6, 7);
    }
}

/* Up to one vector of columns at `at` (count of them; the rest of the
 * vector is zero and never stored). */
template <class V> INLINE V loadSome(const double *at, int count)
{
    constexpr int W = sizeof(V) / sizeof(double);
    if (count == W)
        return loadV<V>(at);
    /* One element straight into lane 0: through memory, the wide load after
     * narrow stores would wait for them on every step of a lone line. */
    if (count == 1) {
        V v = splat<V>(0.0);
        v[0] = at[0];
        return v;
    }
    double lanes[W] = {};
    memcpy(lanes, at, static_cast<size_t>(count) * sizeof(double));
    return loadV<V>(lanes);
}

template <class V> INLINE void storeSome(double *at, V v, int count)
{
    constexpr int W = sizeof(V) / sizeof(double);
    if (count == W) {
        storeV(at, v);
        return;
    }
    if (count == 1) {
        at[0] = v[0];
        return;
    }
    double lanes[W];
    storeV(lanes, v);
    memcpy(at, lanes, static_cast<size_t>(count) * sizeof(double));
}

#endif
