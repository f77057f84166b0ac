/* The lane solve: several independent lines of a pass solved at once, one
 * per vector lane, rows gathered into lane order and columns swept row by
 * row across a strip. Templates over the vector type, instantiated per path
 * in smoothing/kernels.cpp. */
#ifndef LANESOLVE_H
#define LANESOLVE_H

#include "lanes.h"

/* Several independent lines are solved at once, one per SIMD lane. Every
 * lane performs exactly the scalar operations of the one-line Thomas solve,
 * in the same order, so the result is bit-identical to solving the lines one
 * after another; only the order in which lines are visited changes. Rows
 * are gathered sixteen at a time (two groups of eight on the SSE2 path)
 * into a lane-interleaved scratch buffer; columns are already side by side
 * in memory and are swept row by row. */

/* A row block is BLOCK_ROWS rows: solved as one group of sixteen lanes on
 * the AVX2 path, where four vectors in flight hide most of the division
 * chain's latency, and as two groups of eight on the SSE2 path, whose
 * registers cannot hold more chains. */
enum { SSE2_LANES = 8, AVX2_LANES = 16, BLOCK_ROWS = 16 };
static_assert(BLOCK_ROWS % SSE2_LANES == 0 && BLOCK_ROWS % AVX2_LANES == 0, "a row block is whole lane groups");

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
    ptrdiff_t weightLineStep; /* the same for the weights */
    ptrdiff_t weightStep;
};

/* A partial block of rows: lanes are filled from rows l0 .. l0+count-1,
 * unused lanes get zeros (their results are discarded). Copied a cache line
 * of each row at a time: a walk down a power-of-two stride would keep
 * evicting itself from the cache. */
enum { CACHE_LINE_DOUBLES = 64 / sizeof(double), TILE = CACHE_LINE_DOUBLES };

INLINE void gatherLines(double *dst, const double *src, ptrdiff_t lineStep, const Pass &p, int l0, int count, int B)
{
    const double *base = src + l0 * lineStep;
    for (int x0 = 0; x0 < p.length; x0 += TILE) {
        int x1 = x0 + TILE < p.length ? x0 + TILE : p.length;
        for (int j = 0; j < count; ++j) {
            const double *in = base + j * lineStep;
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

/* One line as solveLanes solves each of its lanes, every operation with
 * x86's NaN rules spelt out (common/nanrules.h); c holds L doubles.
 * Defined in kernels.cpp: only lines whose check tripped come here. */
void solveLineExact(double *d, ptrdiff_t ds, const double *w, ptrdiff_t ws, int L, double lam, double *c);

/* After a lane solve of rows l0 .. l0+count-1 whose check tripped: the
 * lanes whose result holds a NaN are solved again from their input, still
 * in the image, with the rule spelt out. c: length doubles. Returns the
 * lines solved again. */
INLINE int redoLanes(double *dT, const double *wT, int B, const Pass &p, int l0, int count, double lam, double *c)
{
    int redone = 0;
    for (int j = 0; j < count; ++j) {
        bool nan = false;
        for (int x = 0; x < p.length && !nan; ++x)
            nan = __builtin_isnan(dT[static_cast<ptrdiff_t>(x) * B + j]);
        if (!nan)
            continue;
        const double *in = p.image + (l0 + j) * p.lineStep;
        for (int x = 0; x < p.length; ++x)
            dT[static_cast<ptrdiff_t>(x) * B + j] = in[x];
        solveLineExact(dT + j, B, wT + j, B, p.length, lam, c);
        ++redone;
    }
    return redone;
}

/* Moves the W x TILE tile of rows j0.. j0+W-1, elements x0 .. x0+TILE-1, into lane
 * order (toLanes) or back: a whole cache line of each row at a time. */
template <class V, int B>
INLINE void transposeLines(double *lanes, double *src, ptrdiff_t lineStep, int x0, int j0, bool toLanes)
{
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int H = TILE / W;
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
/* Rows this many doubles (4 KB) apart start in one cache set. */
enum { SET_ALIASING_DOUBLES = 4096 / sizeof(double) };

template <class V, int K> INLINE void transposeRows(double *lanes, double *src, ptrdiff_t lineStep, int L, bool toLanes)
{
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int B = K * W;
    const int whole = L / TILE * TILE;
    if (lineStep % SET_ALIASING_DOUBLES == 0) {
        for (int j0 = 0; j0 < B; j0 += W)
            for (int x0 = 0; x0 < whole; x0 += TILE)
                transposeLines<V, B>(lanes, src, lineStep, x0, j0, toLanes);
    } else {
        for (int x0 = 0; x0 < whole; x0 += TILE)
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
 * keeps its own chain of operations. The eliminated coefficients of the
 * strip go to `c` ((rows - 1) x strip width, the last row's is never
 * stored) and the backward sweep reads them back. */

/* One vector of columns (count of them) at offset j of row y. The first and
 * the last row are told apart by the caller, so that the loops over a row
 * carry no tests. */
enum { FIRST_ROW = 1, LAST_ROW = 2 };

template <class V, int Row>
INLINE void forwardStep(const double *dy, const double *dp, double *dout, const double *wy, double *cy, ptrdiff_t wN,
                        int P, int j, int count, V lamV)
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
        V lower = negProduct(lamV, loadSome<V>(wy - wN + j, count));
        V diag = (one - lower) - up;
        V m = one / (diag - mul(loadSome<V>(cy - P + j, count), lower));
        cc = mul(up, m);
        dd = mul(loadSome<V>(dy + j, count) - mul(loadSome<V>(dp + j, count), lower), m);
    }
    if (!(Row & LAST_ROW))
        storeSome(cy + j, cc, count);
    storeSome(dout + j, dd, count);
}

template <class V, int Row>
INLINE void forwardRow(const double *dy, const double *dp, double *dout, const double *wy, double *cy, ptrdiff_t wN,
                       int S, int P, V lamV)
{
    constexpr int W = sizeof(V) / sizeof(double);
    int j = 0;
    for (; j + W <= S; j += W)
        forwardStep<V, Row>(dy, dp, dout, wy, cy, wN, P, j, W, lamV);
    /* A lone last column (and a row solved as a strip one column wide) with
     * its count known here, so that its loads are plain loads. */
    if (S - j == 1)
        forwardStep<V, Row>(dy, dp, dout, wy, cy, wN, P, j, 1, lamV);
    else if (j < S)
        forwardStep<V, Row>(dy, dp, dout, wy, cy, wN, P, j, S - j, lamV);
}

/* A strip's rows lie a whole image row apart, each on a page of its own
 * for wide images, where the processor's own prefetch does not follow:
 * the sweeps ask for the row this many ahead. */
enum { PREFETCH_ROWS = 8 };

/* Forward sweep of columns [i0, i1) over rows [y0, y1); rows above y0 are
 * already swept. */
template <class V>
INLINE void forwardColumns(const Pass &p, int i0, int i1, int y0, int y1, double lam, double *c)
{
    const int M = p.length;
    const ptrdiff_t N = p.step;
    const ptrdiff_t wN = p.weightStep;
    const int S = i1 - i0;
    const V lamV = splat<V>(lam);
    double *d0 = p.image + i0;
    const double *w0 = p.weights + i0;
    for (int y = y0; y < y1; ++y) {
        double *dy = d0 + y * N;
        const double *wy = w0 + y * wN;
        double *cy = c + static_cast<ptrdiff_t>(y) * S;
        double *dout = dy;
        const double *dp = dy - N;
        if (y + PREFETCH_ROWS < y1)
            for (int j = 0; j < S; j += CACHE_LINE_DOUBLES) {
                __builtin_prefetch(dy + PREFETCH_ROWS * N + j);
                __builtin_prefetch(wy + PREFETCH_ROWS * wN + j);
            }
        if (M == 1)
            forwardRow<V, FIRST_ROW | LAST_ROW>(dy, dp, dout, wy, cy, wN, S, S, lamV);
        else if (y == 0)
            forwardRow<V, FIRST_ROW>(dy, dp, dout, wy, cy, wN, S, S, lamV);
        else if (y == M - 1)
            forwardRow<V, LAST_ROW>(dy, dp, dout, wy, cy, wN, S, S, lamV);
        else
            forwardRow<V, 0>(dy, dp, dout, wy, cy, wN, S, S, lamV);
    }
}

template <class V> INLINE void backwardColumns(const Pass &p, int i0, int i1, const double *c)
{
    constexpr int W = sizeof(V) / sizeof(double);
    const ptrdiff_t N = p.step;
    const int S = i1 - i0;
    double *d0 = p.image + i0;
    for (int y = p.length - 2; y >= 0; --y) {
        double *dy = d0 + y * N;
        const double *cy = c + static_cast<ptrdiff_t>(y) * S;
        if (y >= PREFETCH_ROWS)
            for (int j = 0; j < S; j += CACHE_LINE_DOUBLES)
                __builtin_prefetch(dy - PREFETCH_ROWS * N + j, 1);
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
template <class V, int K, NanCheck check>
INLINE int solveFewRows(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    constexpr int W = sizeof(V) / sizeof(double);
    static_assert(K == 4, "groups of 4, 2 and 1 vectors");
    int redone = 0;
    int l = r0;
    while (r1 - l >= W) {
        const int k = (r1 - l) / W >= 4 ? 4 : (r1 - l) / W >= 2 ? 2 : 1;
        const int B = k * W;
        double *c = scratch;
        double *dT = c + static_cast<ptrdiff_t>(p.length) * B;
        double *wT = dT + static_cast<ptrdiff_t>(p.length) * B;
        gatherLines(dT, p.image, p.lineStep, p, l, B, B);
        gatherLines(wT, p.weights, p.weightLineStep, p, l, B, B);
        nanWatchStart(check);
        if (k == 4)
            solveLanes<V, 4>(dT, B, wT, B, p.length, lam, c);
        else if (k == 2)
            solveLanes<V, 2>(dT, B, wT, B, p.length, lam, c);
        else
            solveLanes<V, 1>(dT, B, wT, B, p.length, lam, c);
        if (nanWatchTripped(check))
            redone += redoLanes(dT, wT, B, p, l, B, lam, c);
        scatterLines(dT, p, l, B, B);
        l += B;
    }
    /* The input of a lone row, kept beyond its coefficients where the check
     * may solve it again. */
    double *saved = scratch + p.length;
    for (; l < r1; ++l) {
        const Pass line{p.image + l * p.lineStep, p.weights + l * p.weightLineStep, p.length, 1, 0, 1, 0, 1};
        if (check != NAN_CHECK_NONE)
            memcpy(saved, line.image, static_cast<size_t>(p.length) * sizeof(double));
        nanWatchStart(check);
        forwardColumns<V>(line, 0, 1, 0, p.length, lam, scratch);
        backwardColumns<V>(line, 0, 1, scratch);
        if (!nanWatchTripped(check))
            continue;
        bool nan = false;
        for (int x = 0; x < p.length && !nan; ++x)
            nan = __builtin_isnan(line.image[x]);
        if (nan) {
            memcpy(line.image, saved, static_cast<size_t>(p.length) * sizeof(double));
            solveLineExact(line.image, 1, line.weights, 1, p.length, lam, scratch);
            ++redone;
        }
    }
    return redone;
}

/* Rows [r0, r1) in groups of B; scratch holds 3 * length * B doubles.
 * The rows are solved in a lane-interleaved copy, so that each vector holds
 * one element of B rows and the backward sweep finds them in cache. */
template <class V, int K, NanCheck check>
INLINE int solveRowGroups(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    constexpr int B = K * static_cast<int>(sizeof(V) / sizeof(double));
    if (p.lines < BLOCK_ROWS)
        return solveFewRows<V, K, check>(p, r0, r1, lam, scratch);
    double *c = scratch;
    double *dT = c + static_cast<ptrdiff_t>(p.length) * B;
    double *wT = dT + static_cast<ptrdiff_t>(p.length) * B;
    int redone = 0;
    for (int l0 = r0; l0 < r1; l0 += B) {
        int count = r1 - l0 < B ? r1 - l0 : B;
        double *lines = p.image + l0 * p.lineStep;
        /* The rows stay in the image until the solved lanes go back: the
         * input of any line the check solves again. */
        if (count < B) {
            gatherLines(dT, p.image, p.lineStep, p, l0, count, B);
            gatherLines(wT, p.weights, p.weightLineStep, p, l0, count, B);
            nanWatchStart(check);
            solveLanes<V, K>(dT, B, wT, B, p.length, lam, c);
            if (nanWatchTripped(check))
                redone += redoLanes(dT, wT, B, p, l0, count, lam, c);
            scatterLines(dT, p, l0, count, B);
        } else {
            transposeRows<V, K>(dT, lines, p.lineStep, p.length, true);
            transposeRows<V, K>(wT, const_cast<double *>(p.weights) + l0 * p.weightLineStep, p.weightLineStep, p.length,
                                true);
            nanWatchStart(check);
            solveLanes<V, K>(dT, B, wT, B, p.length, lam, c);
            if (nanWatchTripped(check))
                redone += redoLanes(dT, wT, B, p, l0, count, lam, c);
            transposeRows<V, K>(dT, lines, p.lineStep, p.length, false);
        }
    }
    return redone;
}

/* A strip of columns [i0, i1) of the column pass, over the whole height;
 * scratch: the strip's coefficients (length x width), then, where the
 * check may solve lines again, a copy of the strip's input (as much).
 * Returns the lines solved again. At most 64 columns: the check marks
 * them in one word. */
enum { STRIP_MAX_COLUMNS = 64 };

template <class V, NanCheck check> INLINE int solveStrip(const Pass &p, int i0, int i1, double lam, double *scratch)
{
    const int M = p.length;
    const int S = i1 - i0;
    const ptrdiff_t N = p.step;
    double *saved = scratch + static_cast<ptrdiff_t>(M) * S;
    if (check != NAN_CHECK_NONE)
        for (int y = 0; y < M; ++y)
            memcpy(saved + static_cast<ptrdiff_t>(y) * S, p.image + y * N + i0, static_cast<size_t>(S) * sizeof(double));
    nanWatchStart(check);
    forwardColumns<V>(p, i0, i1, 0, M, lam, scratch);
    backwardColumns<V>(p, i0, i1, scratch);
    if (!nanWatchTripped(check))
        return 0;
    /* The columns holding a NaN, found row by row as the image lies. */
    unsigned long long nanColumns = 0;
    for (int y = 0; y < M; ++y)
        for (int j = 0; j < S; ++j)
            if (__builtin_isnan(p.image[y * N + i0 + j]))
                nanColumns |= 1ull << j;
    int redone = 0;
    for (int j = 0; j < S; ++j) {
        if (!(nanColumns >> j & 1))
            continue;
        double *column = p.image + i0 + j;
        for (int y = 0; y < M; ++y)
            column[y * N] = saved[static_cast<ptrdiff_t>(y) * S + j];
        solveLineExact(column, N, p.weights + i0 + j, p.weightStep, M, lam, scratch);
        ++redone;
    }
    return redone;
}

#endif
