#include "solver.h"

#include "store.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "../common/nanrules.h"
#include "../common/pages.h"
#include "../common/split.h"

/* Several independent lines are solved at once, one per SIMD lane. Every
 * lane performs exactly the scalar operations of the one-line Thomas solve,
 * in the same order, so the result is bit-identical to solving the lines one
 * after another; only the order in which lines are visited changes. Rows
 * are gathered sixteen at a time (two groups of eight on the SSE2 path)
 * into a lane-interleaved scratch buffer; columns are already side by side
 * in memory and are swept row by row. */

int solverThreads = 0;
int solverPath = SOLVER_PATH_AUTO;

#ifndef __GNUC__
#error "The solver is written with GCC/Clang vector extensions: build with GCC, MinGW-w64 or Clang."
#endif

#pragma GCC diagnostic ignored "-Wpsabi"

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));

/* A row block is BLOCK_ROWS rows: solved as one group of sixteen lanes on
 * the AVX2 path, where four vectors in flight hide most of the division
 * chain's latency, and as two groups of eight on the SSE2 path, whose
 * registers cannot hold more chains. */
enum { SSE2_LANES = 8, AVX2_LANES = 16, BLOCK_ROWS = 16 };
static_assert(BLOCK_ROWS % SSE2_LANES == 0 && BLOCK_ROWS % AVX2_LANES == 0, "a row block is whole lane groups");

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

/* B = K * (lanes of V) lines of length L. Element x of lane j is
 * d[x*ds + j], its coupling weight w[x*ws + j]; c receives the eliminated
 * upper coefficients, L*B doubles. */
template <class V, int K>
INLINE void solveLanes(double *d, ptrdiff_t ds, const double *w, ptrdiff_t ws, int L, double lam, double *c)
{
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int B = K * W;
    const V zero = splat<V>(0.0);
    const V one = splat<V>(1.0);
    const V lamV = splat<V>(lam);
    V lower[K], cPrev[K], dPrev[K];

    for (int k = 0; k < K; ++k) {
        V up = L > 1 ? negProduct(lamV, loadV<V>(w + k * W)) : zero;
        V diag = (one - zero) - up;
        V cc = up / diag;
        V dd = loadV<V>(d + k * W) / diag;
        storeV(c + k * W, cc);
        storeV(d + k * W, dd);
        lower[k] = up;
        cPrev[k] = cc;
        dPrev[k] = dd;
    }
    for (int x = 1; x < L - 1; ++x) {
        const double *wx = w + x * ws;
        double *dx = d + x * ds;
        double *cx = c + static_cast<ptrdiff_t>(x) * B;
        for (int k = 0; k < K; ++k) {
            V up = negProduct(lamV, loadV<V>(wx + k * W));
            V diag = (one - lower[k]) - up;
            V m = one / (diag - mul(cPrev[k], lower[k]));
            V cc = mul(up, m);
            V dd = mul(loadV<V>(dx + k * W) - mul(dPrev[k], lower[k]), m);
            storeV(cx + k * W, cc);
            storeV(dx + k * W, dd);
            lower[k] = up;
            cPrev[k] = cc;
            dPrev[k] = dd;
        }
    }
    if (L > 1) {
        /* The last element: its upper entry is zero and its eliminated
         * coefficient is never read. */
        double *dx = d + (L - 1) * ds;
        for (int k = 0; k < K; ++k) {
            V diag = (one - lower[k]) - zero;
            V m = one / (diag - mul(cPrev[k], lower[k]));
            V dd = mul(loadV<V>(dx + k * W) - mul(dPrev[k], lower[k]), m);
            storeV(dx + k * W, dd);
            dPrev[k] = dd;
        }
    }
    for (int x = L - 2; x >= 0; --x) {
        double *dx = d + x * ds;
        const double *cx = c + static_cast<ptrdiff_t>(x) * B;
        for (int k = 0; k < K; ++k) {
            V dd = loadV<V>(dx + k * W) - mul(loadV<V>(cx + k * W), dPrev[k]);
            storeV(dx + k * W, dd);
            dPrev[k] = dd;
        }
    }
}

/* One pass: `lines` lines of length L; line l starts at l*lineStep and its
 * elements are `step` apart, in the image and in the weights alike. */
struct Pass {
    double *image;
    const double *weights;
    int length;
    int lines;
    ptrdiff_t lineStep;
    ptrdiff_t step;
};

/* A partial block of rows: lanes are filled from rows l0 .. l0+count-1,
 * unused lanes get zeros (their results are discarded). Copied a cache line
 * of each row at a time: a walk down a power-of-two stride would keep
 * evicting itself from the cache. */
enum { TILE = 8 };

INLINE void gatherLines(double *dst, const double *src, const Pass &p, int l0, int count, int B)
{
    const double *base = src + l0 * p.lineStep;
    for (int x0 = 0; x0 < p.length; x0 += TILE) {
        int x1 = x0 + TILE < p.length ? x0 + TILE : p.length;
        for (int j = 0; j < count; ++j) {
            const double *in = base + j * p.lineStep;
            for (int x = x0; x < x1; ++x)
                dst[static_cast<ptrdiff_t>(x) * B + j] = in[x];
        }
        for (int j = count; j < B; ++j)
            for (int x = x0; x < x1; ++x)
                dst[static_cast<ptrdiff_t>(x) * B + j] = 0.0;
    }
}

INLINE void scatterLines(const double *src, const Pass &p, int l0, int count, int B)
{
    double *base = p.image + l0 * p.lineStep;
    for (int x0 = 0; x0 < p.length; x0 += TILE) {
        int x1 = x0 + TILE < p.length ? x0 + TILE : p.length;
        for (int j = 0; j < count; ++j) {
            double *out = base + j * p.lineStep;
            for (int x = x0; x < x1; ++x)
                out[x] = src[static_cast<ptrdiff_t>(x) * B + j];
        }
    }
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

/* Moves the W x 8 tile of rows j0.. j0+W-1, elements x0 .. x0+7, into lane
 * order (toLanes) or back: a whole cache line of each row at a time. */
template <class V, int B>
INLINE void transposeLines(double *lanes, double *src, ptrdiff_t lineStep, int x0, int j0, bool toLanes)
{
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int H = 8 / W;
    V t[H][W];
    if (toLanes) {
        for (int r = 0; r < W; ++r)
            for (int h = 0; h < H; ++h)
                t[h][r] = loadV<V>(src + (j0 + r) * lineStep + x0 + h * W);
        for (int h = 0; h < H; ++h) {
            transposeTile(t[h]);
            for (int r = 0; r < W; ++r)
                storeV(lanes + static_cast<ptrdiff_t>(x0 + h * W + r) * B + j0, t[h][r]);
        }
    } else {
        for (int h = 0; h < H; ++h) {
            for (int r = 0; r < W; ++r)
                t[h][r] = loadV<V>(lanes + static_cast<ptrdiff_t>(x0 + h * W + r) * B + j0);
            transposeTile(t[h]);
        }
        for (int r = 0; r < W; ++r)
            for (int h = 0; h < H; ++h)
                storeV(src + (j0 + r) * lineStep + x0 + h * W, t[h][r]);
    }
}

/* A full group of B rows, starting at src, into lane order (toLanes) or
 * back, a whole cache line of each row at a time. Rows whose starts are a
 * multiple of 4 KB apart fall into one cache set, which cannot hold a line
 * of all B of them: those are moved W rows at a time along their whole
 * length, the others B rows at a time, which fills each lane-order line in
 * one go. */
template <class V, int K> INLINE void transposeRows(double *lanes, double *src, ptrdiff_t lineStep, int L, bool toLanes)
{
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int B = K * W;
    const int whole = L / 8 * 8;
    if (lineStep % 512 == 0) {
        for (int j0 = 0; j0 < B; j0 += W)
            for (int x0 = 0; x0 < whole; x0 += 8)
                transposeLines<V, B>(lanes, src, lineStep, x0, j0, toLanes);
    } else {
        for (int x0 = 0; x0 < whole; x0 += 8)
            for (int j0 = 0; j0 < B; j0 += W)
                transposeLines<V, B>(lanes, src, lineStep, x0, j0, toLanes);
    }
    for (int x = whole; x < L; ++x)
        for (int j = 0; j < B; ++j) {
            if (toLanes)
                lanes[static_cast<ptrdiff_t>(x) * B + j] = src[j * lineStep + x];
            else
                src[j * lineStep + x] = lanes[static_cast<ptrdiff_t>(x) * B + j];
        }
}

/* Columns are solved row by row across a strip of neighbouring columns:
 * every access runs along a row, so memory is streamed, and each column
 * keeps its own chain of operations. The forward sweep of a band of rows
 * runs right after those rows were solved as rows, while they are still in
 * cache; the eliminated coefficients of the strip go to `c` (rows x strip
 * width) and the backward sweep reads them back. */

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

/* One vector of columns (count of them) at offset j of row y. The first and
 * the last row are told apart by the caller, so that the loops over a row
 * carry no tests. */
enum { FIRST_ROW = 1, LAST_ROW = 2 };

template <class V, int Row>
INLINE void forwardStep(double *dy, const double *wy, double *cy, ptrdiff_t N, int P, int j, int count, V lamV)
{
    const V zero = splat<V>(0.0);
    const V one = splat<V>(1.0);
    V up = Row & LAST_ROW ? zero : negProduct(lamV, loadSome<V>(wy + j, count));
    V cc, dd;
    if (Row & FIRST_ROW) {
        V diag = (one - zero) - up;
        cc = up / diag;
        dd = loadSome<V>(dy + j, count) / diag;
    } else {
        V lower = negProduct(lamV, loadSome<V>(wy - N + j, count));
        V diag = (one - lower) - up;
        V m = one / (diag - mul(loadSome<V>(cy - P + j, count), lower));
        cc = mul(up, m);
        dd = mul(loadSome<V>(dy + j, count) - mul(loadSome<V>(dy - N + j, count), lower), m);
    }
    if (!(Row & LAST_ROW))
        storeSome(cy + j, cc, count);
    storeSome(dy + j, dd, count);
}

template <class V, int Row>
INLINE void forwardRow(double *dy, const double *wy, double *cy, ptrdiff_t N, int S, int P, V lamV)
{
    constexpr int W = sizeof(V) / sizeof(double);
    int j = 0;
    for (; j + W <= S; j += W)
        forwardStep<V, Row>(dy, wy, cy, N, P, j, W, lamV);
    /* A lone last column (and a row solved as a strip one column wide) with
     * its count known here, so that its loads are plain loads. */
    if (S - j == 1)
        forwardStep<V, Row>(dy, wy, cy, N, P, j, 1, lamV);
    else if (j < S)
        forwardStep<V, Row>(dy, wy, cy, N, P, j, S - j, lamV);
}

/* A member's coefficients are rows of its strip's width plus this many:
 * rows of the image a power of two apart share cache sets, and so would
 * the coefficients' rows, the same sets for every row. Narrow strips are
 * not padded: there the pad would cost more memory than the strip itself. */
enum { COEFFICIENT_PAD = 8, PADDED_STRIP = 8 * COEFFICIENT_PAD };

static inline int coefficientPitch(int S)
{
    return S >= PADDED_STRIP ? S + COEFFICIENT_PAD : S;
}

/* Forward sweep of columns [i0, i1) over rows [y0, y1); rows above y0 are
 * already swept. */
template <class V>
INLINE void forwardColumns(const Pass &p, int i0, int i1, int y0, int y1, double lam, double *c)
{
    const int M = p.length;
    const ptrdiff_t N = p.step;
    const int S = i1 - i0;
    const int P = coefficientPitch(S);
    const V lamV = splat<V>(lam);
    double *d0 = p.image + i0;
    const double *w0 = p.weights + i0;
    for (int y = y0; y < y1; ++y) {
        double *dy = d0 + y * N;
        const double *wy = w0 + y * N;
        double *cy = c + static_cast<ptrdiff_t>(y) * P;
        if (M == 1)
            forwardRow<V, FIRST_ROW | LAST_ROW>(dy, wy, cy, N, S, P, lamV);
        else if (y == 0)
            forwardRow<V, FIRST_ROW>(dy, wy, cy, N, S, P, lamV);
        else if (y == M - 1)
            forwardRow<V, LAST_ROW>(dy, wy, cy, N, S, P, lamV);
        else
            forwardRow<V, 0>(dy, wy, cy, N, S, P, lamV);
    }
}

template <class V> INLINE void backwardColumns(const Pass &p, int i0, int i1, const double *c)
{
    constexpr int W = sizeof(V) / sizeof(double);
    const ptrdiff_t N = p.step;
    const int S = i1 - i0;
    const int P = coefficientPitch(S);
    double *d0 = p.image + i0;
    for (int y = p.length - 2; y >= 0; --y) {
        double *dy = d0 + y * N;
        const double *cy = c + static_cast<ptrdiff_t>(y) * P;
        int j = 0;
        for (; j + W <= S; j += W)
            storeV(dy + j, loadV<V>(dy + j) - mul(loadV<V>(cy + j), loadV<V>(dy + N + j)));
        if (S - j == 1)
            storeSome(dy + j, loadSome<V>(dy + j, 1) - mul(loadSome<V>(cy + j, 1), loadSome<V>(dy + N + j, 1)), 1);
        else if (j < S)
            storeSome(dy + j, loadSome<V>(dy + j, S - j) - mul(loadSome<V>(cy + j, S - j), loadSome<V>(dy + N + j, S - j)),
                      S - j);
    }
}

/* Rows [r0, r1) of an image of fewer than BLOCK_ROWS rows; scratch holds
 * 3 * length * (r1 - r0) doubles, sized by the rows rather than by a whole
 * block (a 1 x n image would otherwise take 48 n). The rows go in lane
 * groups as wide as the rows left allow, one vector at least; the last few
 * rows one at a time, in place, as strips one column wide. */
template <class V, int K> INLINE void solveFewRows(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    constexpr int W = sizeof(V) / sizeof(double);
    static_assert(K == 4, "groups of 4, 2 and 1 vectors");
    int l = r0;
    while (r1 - l >= W) {
        const int k = (r1 - l) / W >= 4 ? 4 : (r1 - l) / W >= 2 ? 2 : 1;
        const int B = k * W;
        double *c = scratch;
        double *dT = c + static_cast<ptrdiff_t>(p.length) * B;
        double *wT = dT + static_cast<ptrdiff_t>(p.length) * B;
        gatherLines(dT, p.image, p, l, B, B);
        gatherLines(wT, p.weights, p, l, B, B);
        if (k == 4)
            solveLanes<V, 4>(dT, B, wT, B, p.length, lam, c);
        else if (k == 2)
            solveLanes<V, 2>(dT, B, wT, B, p.length, lam, c);
        else
            solveLanes<V, 1>(dT, B, wT, B, p.length, lam, c);
        scatterLines(dT, p, l, B, B);
        l += B;
    }
    for (; l < r1; ++l) {
        const Pass line{p.image + l * p.lineStep, p.weights + l * p.lineStep, p.length, 1, 0, 1};
        forwardColumns<V>(line, 0, 1, 0, p.length, lam, scratch);
        backwardColumns<V>(line, 0, 1, scratch);
    }
}

/* Rows [r0, r1) in groups of B; scratch holds 3 * length * B doubles.
 * The rows are solved in a lane-interleaved copy, so that each vector holds
 * one element of B rows and the backward sweep finds them in cache. */
template <class V, int K>
INLINE void solveRowGroups(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    constexpr int B = K * static_cast<int>(sizeof(V) / sizeof(double));
    if (p.lines < BLOCK_ROWS) {
        solveFewRows<V, K>(p, r0, r1, lam, scratch);
        return;
    }
    double *c = scratch;
    double *dT = c + static_cast<ptrdiff_t>(p.length) * B;
    double *wT = dT + static_cast<ptrdiff_t>(p.length) * B;
    for (int l0 = r0; l0 < r1; l0 += B) {
        int count = r1 - l0 < B ? r1 - l0 : B;
        double *lines = p.image + l0 * p.lineStep;
        if (count < B) {
            gatherLines(dT, p.image, p, l0, count, B);
            gatherLines(wT, p.weights, p, l0, count, B);
            solveLanes<V, K>(dT, B, wT, B, p.length, lam, c);
            scatterLines(dT, p, l0, count, B);
        } else {
            transposeRows<V, K>(dT, lines, p.lineStep, p.length, true);
            transposeRows<V, K>(wT, const_cast<double *>(p.weights) + l0 * p.lineStep, p.lineStep, p.length, true);
            solveLanes<V, K>(dT, B, wT, B, p.length, lam, c);
            transposeRows<V, K>(dT, lines, p.lineStep, p.length, false);
        }
    }
}

struct Kernels {
    void (*rows)(const Pass &, int r0, int r1, double lam, double *scratch);
    void (*forward)(const Pass &, int i0, int i1, int y0, int y1, double lam, double *c);
    void (*backward)(const Pass &, int i0, int i1, const double *c);
};

static void solveRowsSse2(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    solveRowGroups<v2d, SSE2_LANES / 2>(p, r0, r1, lam, scratch);
}

static void forwardSse2(const Pass &p, int i0, int i1, int y0, int y1, double lam, double *c)
{
    forwardColumns<v2d>(p, i0, i1, y0, y1, lam, c);
}

static void backwardSse2(const Pass &p, int i0, int i1, const double *c)
{
    backwardColumns<v2d>(p, i0, i1, c);
}

static const Kernels sse2Kernels = {solveRowsSse2, forwardSse2, backwardSse2};

#if defined(__x86_64__) || defined(__i386__)
#define HAVE_AVX2_PATH 1
__attribute__((target("avx2"))) static void solveRowsAvx2(const Pass &p, int r0, int r1, double lam,
                                                         double *scratch)
{
    solveRowGroups<v4d, AVX2_LANES / 4>(p, r0, r1, lam, scratch);
}

__attribute__((target("avx2"))) static void forwardAvx2(const Pass &p, int i0, int i1, int y0, int y1, double lam,
                                                       double *c)
{
    forwardColumns<v4d>(p, i0, i1, y0, y1, lam, c);
}

__attribute__((target("avx2"))) static void backwardAvx2(const Pass &p, int i0, int i1, const double *c)
{
    backwardColumns<v4d>(p, i0, i1, c);
}

static const Kernels avx2Kernels = {solveRowsAvx2, forwardAvx2, backwardAvx2};
#endif

bool solverAvx2Available()
{
#ifdef HAVE_AVX2_PATH
    /* Idempotent; needed where no constructor has run it yet. */
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

/* ---- One call's shared state: set by smoothSeparable, read by every thread.
 * Every member sweeps its own columns forward block by block, each block as
 * soon as its rows are solved, so that they are still in cache. Row blocks
 * go to whichever member asks next, a few blocks ahead of its column sweep
 * at most: a member that runs slower (a busy core) then solves fewer rows
 * instead of holding the others up. */

static Pass rowPass, colPass;
static const Kernels *callKernels;
static double callLambda, callAttenuation;
static int callIterations;
static int teamCount;
static double *callScratch;
static size_t rowScratchSize;
static double *callCoefficients; /* rows x cols: each member's strip in one piece */

/* Row blocks handed out since the call began (iteration * blocks + block),
 * and for each block the number of iterations whose row solve of it is done. */
static std::atomic<long long> blocksHandedOut;
static std::atomic<int> *blockRounds;
enum { LOOKAHEAD = 4 };

static std::mutex teamMutex;
static std::condition_variable teamWake;
static int teamArrived;
static unsigned teamGeneration;
static bool teamReady;

static void teamBarrier()
{
    std::unique_lock<std::mutex> lock(teamMutex);
    unsigned generation = teamGeneration;
    if (++teamArrived == teamCount) {
        teamArrived = 0;
        ++teamGeneration;
        teamWake.notify_all();
    } else {
        teamWake.wait(lock, [generation] { return teamGeneration != generation; });
    }
}

/* The next row block of iteration `it` below `limit`, or -1 if none is left. */
static int takeBlock(int it, int blocks, int limit)
{
    const long long base = static_cast<long long>(it) * blocks;
    long long next = blocksHandedOut.load(std::memory_order_relaxed);
    while (next - base < limit)
        if (blocksHandedOut.compare_exchange_weak(next, next + 1, std::memory_order_relaxed))
            return static_cast<int>(next - base);
    return -1;
}

/* Member t's columns [*i0, *i1): whole groups of eight, so that no two
 * members write one cache line of a row. */
static void memberColumns(int t, int team, int *i0, int *i1)
{
    long long g0, g1;
    shareOf((colPass.lines + 7) / 8, t, team, &g0, &g1);
    *i0 = static_cast<int>(g0 * 8 < colPass.lines ? g0 * 8 : colPass.lines);
    *i1 = static_cast<int>(g1 * 8 < colPass.lines ? g1 * 8 : colPass.lines);
}

static void runMember(int t)
{
    const int team = teamCount;
    const int blocks = (rowPass.lines + BLOCK_ROWS - 1) / BLOCK_ROWS;
    int i0, i1;
    memberColumns(t, team, &i0, &i1);
    /* The strips lie one after another, each (rows - 1) x its pitch: the
     * last row's coefficient is never stored. */
    size_t before = 0;
    for (int u = 0; u < t; ++u) {
        int u0, u1;
        memberColumns(u, team, &u0, &u1);
        before += static_cast<size_t>(coefficientPitch(u1 - u0));
    }
    double *c = callCoefficients + static_cast<size_t>(colPass.length - 1) * before;
    /* With fewer blocks than members, a block's scratch is its own (a block
     * is solved once per iteration); otherwise a member's. */
    const bool scratchPerBlock = blocks <= team;

    double lam = 0.5 * callLambda;
    for (int it = 0; it < callIterations; ++it) {
        /* A member without columns only solves rows. */
        int swept = i0 < i1 ? 0 : blocks;
        for (int spin = 0;;) {
            if (swept < blocks && blockRounds[swept].load(std::memory_order_acquire) > it) {
                const int y1 = (swept + 1) * BLOCK_ROWS < colPass.length ? (swept + 1) * BLOCK_ROWS : colPass.length;
                callKernels->forward(colPass, i0, i1, swept * BLOCK_ROWS, y1, lam, c);
                ++swept;
                continue;
            }
            const int limit = swept + LOOKAHEAD < blocks ? swept + LOOKAHEAD : blocks;
            const int b = takeBlock(it, blocks, limit);
            if (b >= 0) {
                const int r1 = (b + 1) * BLOCK_ROWS < rowPass.lines ? (b + 1) * BLOCK_ROWS : rowPass.lines;
                double *scratch = callScratch + rowScratchSize * static_cast<size_t>(scratchPerBlock ? b : t);
                callKernels->rows(rowPass, b * BLOCK_ROWS, r1, lam, scratch);
                blockRounds[b].store(it + 1, std::memory_order_release);
            } else if (swept == blocks) {
                break;
            } else if (++spin > 64) {
                /* Block `swept` is being solved by another member. */
                std::this_thread::yield();
            }
        }
        if (i0 < i1)
            callKernels->backward(colPass, i0, i1, c);
        if (it + 1 < callIterations)
            teamBarrier();
        lam = lam / callAttenuation;
    }
}

static void runWorker(int t)
{
    {
        std::unique_lock<std::mutex> lock(teamMutex);
        teamWake.wait(lock, [] { return teamReady; });
    }
    if (t < teamCount)
        runMember(t);
}

int solverDefaultThreads()
{
    return teamSize(0, MAX_DEFAULT_THREADS, 1, MAX_DEFAULT_THREADS);
}

bool smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                     int iterations, double attenuation)
{
    const int m = rows;
    const int n = cols;
    if (iterations <= 0 || m <= 0 || n <= 0)
        return true;

    /* Small images are not worth a thread start; results never depend on
     * the count. */
    const int wanted = teamSize(solverThreads, static_cast<long long>(m) * n, MIN_PIXELS_PER_THREAD,
                                solverThreads > 0 ? MAX_THREADS : MAX_DEFAULT_THREADS);

    double *image = store[0][0];
    rowPass = Pass{image, hweights, n, m, n, 1};
    colPass = Pass{image, vweights, m, n, 1, n};
    callKernels = &sse2Kernels;
#ifdef HAVE_AVX2_PATH
    if (solverPath != SOLVER_PATH_SSE2 && solverAvx2Available())
        callKernels = &avx2Kernels;
#endif
    callLambda = lambda;
    callIterations = iterations;
    callAttenuation = attenuation;

    /* Scratch for the rows solved at once: a block's lane-order copy (of
     * the rows there are, for images of fewer than BLOCK_ROWS rows), for at
     * most as many members as there are blocks. Coefficients: the columns,
     * plus the pads of the strips wide enough to have one. Together at most
     * 1.125 x the image plus 48 x threads x cols doubles, and never more
     * than 4.125 x the image plus 48 x cols. */
    const int blocks = (m + BLOCK_ROWS - 1) / BLOCK_ROWS;
    rowScratchSize = 3 * static_cast<size_t>(n) * (m < BLOCK_ROWS ? m : BLOCK_ROWS);
    const size_t slots = static_cast<size_t>(wanted < blocks ? wanted : blocks);
    const int padded = wanted < n / PADDED_STRIP ? wanted : n / PADDED_STRIP;
    const size_t coefficients = static_cast<size_t>(m - 1) * (static_cast<size_t>(n) + COEFFICIENT_PAD * padded);
    const size_t total = rowScratchSize * slots + coefficients;
    callScratch = static_cast<double *>(malloc(total * sizeof(double)));
    blockRounds = static_cast<std::atomic<int> *>(malloc(blocks * sizeof(std::atomic<int>)));
    if (!callScratch || !blockRounds) {
        free(callScratch);
        free(blockRounds);
        return false;
    }
    adviseHugePages(callScratch, total * sizeof(double));
    callCoefficients = callScratch + rowScratchSize * slots;
    for (int b = 0; b < blocks; ++b)
        new (&blockRounds[b]) std::atomic<int>(0);
    blocksHandedOut.store(0, std::memory_order_relaxed);

    std::thread workers[MAX_THREADS];
    int started = 0;
    teamReady = false;
    teamArrived = 0;
    teamCount = wanted;
    /* A thread that cannot be started leaves its share to the others. */
    for (int t = 1; t < wanted; ++t) {
        try {
            workers[t] = startThread(t, [t] { runWorker(t); });
        } catch (...) {
            break;
        }
        started = t;
    }
    {
        std::lock_guard<std::mutex> lock(teamMutex);
        teamCount = started + 1;
        teamReady = true;
    }
    teamWake.notify_all();
    runMember(0);
    for (int t = 1; t <= started; ++t)
        workers[t].join();

    free(callScratch);
    free(blockRounds);
    callScratch = nullptr;
    blockRounds = nullptr;
    return true;
}


bool solverKeepsNanBits()
{
#ifdef ORDERED_NAN_OPS
    return true;
#else
    return false;
#endif
}

/* One line as solveLanes solves each of its lanes, every operation with
 * x86's NaN rules. */
static void solveLineExact(double *d, ptrdiff_t ds, const double *w, ptrdiff_t ws, int L, double lam, double *c)
{
    using namespace nanrules;
    double up = L > 1 ? neg(mul(lam, w[0])) : 0.0;
    double diag = sub(sub(1.0, 0.0), up);
    c[0] = div(up, diag);
    d[0] = div(d[0], diag);
    double lower = up;
    for (int x = 1; x < L; ++x) {
        up = x < L - 1 ? neg(mul(lam, w[x * ws])) : 0.0;
        diag = sub(sub(1.0, lower), up);
        const double m = div(1.0, sub(diag, mul(c[x - 1], lower)));
        c[x] = mul(up, m);
        d[x * ds] = mul(sub(d[x * ds], mul(d[(x - 1) * ds], lower)), m);
        lower = up;
    }
    for (int x = L - 2; x >= 0; --x)
        d[x * ds] = sub(d[x * ds], mul(c[x], d[(x + 1) * ds]));
}

bool smoothSeparableExact(double ***store, const double *hweights, const double *vweights, double lambda,
                          int iterations, double attenuation)
{
    const int m = rows;
    const int n = cols;
    if (iterations <= 0 || m <= 0 || n <= 0)
        return true;
    double *c = static_cast<double *>(malloc(static_cast<size_t>(m > n ? m : n) * sizeof(double)));
    if (!c)
        return false;
    double *image = store[0][0];
    double lam = nanrules::mul(0.5, lambda);
    for (int it = 0; it < iterations; ++it) {
        for (int i = 0; i < m; ++i)
            solveLineExact(image + static_cast<ptrdiff_t>(i) * n, 1, hweights + static_cast<ptrdiff_t>(i) * n, 1, n,
                           lam, c);
        for (int j = 0; j < n; ++j)
            solveLineExact(image + j, n, vweights + j, n, m, lam, c);
        lam = nanrules::div(lam, attenuation);
    }
    free(c);
    return true;
}
