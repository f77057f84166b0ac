/* Vector primitives of the smoother: loads, stores and the two operations
 * whose NaN results x86 fixes by operand order, for 2- and 4-lane vectors
 * of doubles. Header-only: every function is inlined into kernels compiled
 * for the path they serve (smoothing/kernels.cpp). */
#ifndef LANES_H
#define LANES_H

#include <cstddef>
#include <cstring>

#ifndef __GNUC__
#error "The solver is written with GCC/Clang vector extensions: build with GCC, MinGW-w64 or Clang."
#endif

#pragma GCC diagnostic ignored "-Wpsabi"

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

/* When both factors are NaN, x86 returns the first one; the compiler may
 * swap the operands of a plain `*`, which would change which NaN (sign and
 * payload) comes out. These keep the written order. (Clang checks the
 * constraints before inlining and refuses them; it gets plain operators.) */
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
#define ORDERED_NAN_OPS 1
#endif

template <class V> INLINE V mul(V a, V b)
{
#ifdef ORDERED_NAN_OPS
    if constexpr (sizeof(V) == 32) {
        V r;
        __asm__("vmulpd %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
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
#else
    return a * b;
#endif
}

/* -(lam * w), kept as a negation: the compiler would otherwise turn
 * `x - (-y)` into `x + y`, which gives a NaN y the other sign. */
template <class V> INLINE V negProduct(V lam, V w)
{
    V v = -mul(lam, w);
#ifdef ORDERED_NAN_OPS
    __asm__("" : "+x"(v));
#endif
    return v;
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
