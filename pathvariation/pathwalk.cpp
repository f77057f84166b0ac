#include "pathwalk.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "../common/dispatch.h"
#include "../common/nanrules.h"
#include "../common/split.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define WALK_SSE2_GROUP 1
#endif
#ifdef HAVE_AVX2_PATH
#include <immintrin.h>
#define WALK_AVX2_GROUP 1
#endif

/* One call's walk, shared by the threads that split its rows. */
struct WalkCall {
    const double *image;
    const int *map;
    int M, N;
    int S, mapS;         /* row strides of the image and of the map */
    double *net, *total;
    ptrdiff_t outS;      /* row stride of net and total */
    const int *offsets;  /* the offset rows */
    const int *rowSteps; /* per direction: the row offsets divided by N */
    const int *linear;   /* per direction: column + row offset, or null without interior */
    int length;          /* n */
    long long rowMargin, colMargin;
};

/* Tables may hold any int (NaN and huge values arrive as INT_MIN). Two
 * rules keep every read inside the image and every index within 32 bits:
 * - an offset of magnitude >= the image's extent in its axis never lands
 *   inside from any pixel, so it is clamped to +-extent: no walk changes,
 *   and a row offset times the row stride stays within M * stride;
 * - the interior margin in each axis is the largest offset magnitude held
 *   by steps 0..a (never less than a + 1), so pixels that a larger offset
 *   could take outside are walked with bounds tests.
 * Tables whose offsets stay within a + 1 see neither rule. */
static int clampOffset(int v, int extent)
{
    return v > extent ? extent : v < -extent ? -extent : v;
}

/* 722 rows of n = 2a + 2 entries: -T[a-1] .. -T[0], 0, T[0] .. T[a], the
 * order of the walk. Row offsets are premultiplied by the image's row
 * stride S. Also reports the largest column and row offset magnitudes held. */
static int *buildOffsetRows(const int *table, int M, int N, int S, int a, int *colReach, int *rowReach)
{
    const int n = 2 * a + 2;
    int *offsets = static_cast<int *>(malloc(static_cast<size_t>(TABLE_COLUMNS) * n * sizeof(int)));
    if (!offsets)
        return nullptr;
    memset(offsets, 0, static_cast<size_t>(TABLE_COLUMNS) * n * sizeof(int));
    *colReach = 0;
    *rowReach = 0;
    for (int q = 0; q < TABLE_COLUMNS; ++q) {
        int *row = offsets + static_cast<size_t>(q) * n;
        const bool isRow = q >= DIRECTIONS;
        for (int p = 0; p <= a; ++p) {
            int v = clampOffset(table[p * TABLE_COLUMNS + q], isRow ? M : N);
            int magnitude = v < 0 ? -v : v;
            int *reach = isRow ? rowReach : colReach;
            if (magnitude > *reach)
                *reach = magnitude;
            row[a + 1 + p] = isRow ? v * S : v;
        }
        for (int j = 0; j < a; ++j)
            row[j] = -row[2 * a - j];
    }
    return offsets;
}

/* Until a sample not below 0 has been taken (start is -1 before the first),
 * each sample replaces the start; after it, each adds its step to the sum.
 * Exact: with the NaN rules of x86 spelt out (common/nanrules.h). */
template <bool Exact> static inline void takeSample(double v, double *start, double *prev, double *sum)
{
    if (*start < 0) {
        *start = v;
        *prev = v;
    } else {
        if (Exact)
            *sum = nanrules::add(*sum, nanrules::abs(nanrules::sub(v, *prev)));
        else
            *sum = *sum + std::fabs(v - *prev);
        *prev = v;
    }
}

/* The interior walk with the start search hoisted out of the sum loop: the
 * same samples in the same order, the same additions. Each sample is one
 * load at a premultiplied linear offset. */
template <bool Exact = false>
static inline void walkInterior(const double *at, const int *offset, int n, double *net, double *total)
{
    double start = at[offset[0]];
    int e = 1;
    while (start < 0 && e < n)
        start = at[offset[e++]];
    double prev = start;
    double sum = 0.0;
    for (; e < n; ++e) {
        double v = at[offset[e]];
        if (Exact)
            sum = nanrules::add(sum, nanrules::abs(nanrules::sub(v, prev)));
        else
            sum = sum + std::fabs(v - prev);
        prev = v;
    }
    *net = Exact ? nanrules::abs(nanrules::sub(prev, start)) : std::fabs(prev - start);
    *total = sum;
}

#ifdef WALK_SSE2_GROUP
/* GROUP neighbouring interior pixels walked side by side, two to a
 * register, so that their chains of additions and their loads overlap.
 * Each keeps its own order of additions. The start search is done with
 * masks rather than branches: images with values near 0 would otherwise
 * mispredict. While a pixel has no start (its start is below 0) its sum is
 * still +0, so clearing the new sum keeps it there, and the sample becomes
 * the start; NaN compares as not below 0, as a start should. */
enum { GROUP = 8 };

static inline void walkInteriorGroup(const double *at, const int *const *offset, int n, double *net, double *total)
{
    enum { PAIRS = GROUP / 2 };
    const __m128d zero = _mm_setzero_pd();
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d start[PAIRS], prev[PAIRS], sum[PAIRS];
    for (int h = 0; h < PAIRS; ++h) {
        const int g = 2 * h;
        start[h] = _mm_loadh_pd(_mm_load_sd(at + g + offset[g][0]), at + g + 1 + offset[g + 1][0]);
        prev[h] = start[h];
        sum[h] = zero;
    }
    for (int e = 1; e < n; ++e)
        for (int h = 0; h < PAIRS; ++h) {
            const int g = 2 * h;
            const __m128d v = _mm_loadh_pd(_mm_load_sd(at + g + offset[g][e]), at + g + 1 + offset[g + 1][e]);
            const __m128d waiting = _mm_cmplt_pd(start[h], zero);
            const __m128d step = _mm_add_pd(sum[h], _mm_andnot_pd(sign, _mm_sub_pd(v, prev[h])));
            sum[h] = _mm_andnot_pd(waiting, step);
            start[h] = _mm_xor_pd(start[h], _mm_and_pd(waiting, _mm_xor_pd(start[h], v)));
            prev[h] = v;
        }
    for (int h = 0; h < PAIRS; ++h) {
        _mm_storeu_pd(net + 2 * h, _mm_andnot_pd(sign, _mm_sub_pd(prev[h], start[h])));
        _mm_storeu_pd(total + 2 * h, sum[h]);
    }
}
#else
/* GROUP neighbouring interior pixels walked side by side, so that their
 * chains of additions and their loads overlap. Each keeps its own order; a
 * group whose first samples are not all a valid start takes the one-pixel
 * walk. */
enum { GROUP = 4 };

static inline void walkInteriorGroup(const double *at, const int *const *offset, int n, double *net, double *total)
{
    double start[GROUP], prev[GROUP], sum[GROUP];
    bool plain = true;
    for (int g = 0; g < GROUP; ++g) {
        start[g] = at[g + offset[g][0]];
        plain = plain && !(start[g] < 0);
        prev[g] = start[g];
        sum[g] = 0.0;
    }
    if (!plain) {
        for (int g = 0; g < GROUP; ++g)
            walkInterior(at + g, offset[g], n, net + g, total + g);
        return;
    }
    for (int e = 1; e < n; ++e)
        for (int g = 0; g < GROUP; ++g) {
            const double v = at[g + offset[g][e]];
            sum[g] = sum[g] + std::fabs(v - prev[g]);
            prev[g] = v;
        }
    for (int g = 0; g < GROUP; ++g) {
        net[g] = std::fabs(prev[g] - start[g]);
        total[g] = sum[g];
    }
}
#endif

#ifdef WALK_AVX2_GROUP
/* The same walk four pixels to a register, for processors with AVX2,
 * chosen at run time. */
enum { AVX2_GROUP = 8 };

__attribute__((target("avx2"))) static inline __m256d loadQuad(const double *at, const int *const *offset, int e)
{
    const __m128d lo = _mm_loadh_pd(_mm_load_sd(at + offset[0][e]), at + 1 + offset[1][e]);
    const __m128d hi = _mm_loadh_pd(_mm_load_sd(at + 2 + offset[2][e]), at + 3 + offset[3][e]);
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(lo), hi, 1);
}

__attribute__((target("avx2"))) static inline void walkInteriorGroupAvx2(const double *at, const int *const *offset,
                                                                         int n, double *net, double *total)
{
    enum { QUADS = AVX2_GROUP / 4 };
    const __m256d zero = _mm256_setzero_pd();
    const __m256d sign = _mm256_set1_pd(-0.0);
    __m256d start[QUADS], prev[QUADS], sum[QUADS];
    for (int h = 0; h < QUADS; ++h) {
        start[h] = loadQuad(at + 4 * h, offset + 4 * h, 0);
        prev[h] = start[h];
        sum[h] = zero;
    }
    for (int e = 1; e < n; ++e)
        for (int h = 0; h < QUADS; ++h) {
            const __m256d v = loadQuad(at + 4 * h, offset + 4 * h, e);
            const __m256d waiting = _mm256_cmp_pd(start[h], zero, _CMP_LT_OQ);
            const __m256d step = _mm256_add_pd(sum[h], _mm256_andnot_pd(sign, _mm256_sub_pd(v, prev[h])));
            sum[h] = _mm256_andnot_pd(waiting, step);
            start[h] = _mm256_blendv_pd(start[h], v, waiting);
            prev[h] = v;
        }
    for (int h = 0; h < QUADS; ++h) {
        _mm256_storeu_pd(net + 4 * h, _mm256_andnot_pd(sign, _mm256_sub_pd(prev[h], start[h])));
        _mm256_storeu_pd(total + 4 * h, sum[h]);
    }
}
#endif

/* X, Y: the direction's offset rows; R: its row offsets before scaling by
 * the stride S (Y / S, computed once per call rather than per sample). */
template <bool Exact>
static void walkBorder(const double *image, int M, int N, int S, const int *X, const int *Y, const int *R, int n,
                       int r, int c, double *net, double *total)
{
    const int k = r * S + c;
    double start = -1.0;
    double sum = 0.0;
    double prev = 0.0;
    for (int e = 0; e < n; ++e) {
        const int dx = X[e];
        const int dy = Y[e];
        /* Written so that neither side can overflow. */
        if (dx < -c || dx > N - 1 - c)
            continue;
        const int dr = R[e];
        if (dr < -r || dr > M - 1 - r)
            continue;
        /* Inside the image, so k + dy is too. */
        takeSample<Exact>(image[k + dy + dx], &start, &prev, &sum);
    }
    if (Exact)
        *net = start >= 0 ? nanrules::abs(nanrules::sub(prev, start)) : 0.0;
    else
        *net = start >= 0 ? std::fabs(prev - start) : 0.0;
    *total = sum;
}

/* Width: pixels per group; Group: walks them. */
template <int Width, void (*Group)(const double *, const int *const *, int, double *, double *)>
static inline void walkRowsWith(const WalkCall &w, int r0, int r1)
{
    const int M = w.M;
    const int N = w.N;
    const int n = w.length;
    /* Interior columns [c0, c1) of interior rows. */
    const int c0 = static_cast<int>(w.colMargin < N ? w.colMargin : N);
    const int c1 = N - w.colMargin > c0 ? static_cast<int>(N - w.colMargin) : c0;
    for (int r = r0; r < r1; ++r) {
        const bool interiorRow = w.linear && r >= w.rowMargin && r <= M - w.rowMargin - 1;
        const int b0 = interiorRow ? c0 : N;
        double *nets = w.net + static_cast<ptrdiff_t>(r) * w.outS;
        double *totals = w.total + static_cast<ptrdiff_t>(r) * w.outS;
        const double *image = w.image + static_cast<size_t>(r) * w.S;
        const int *map = w.map + static_cast<size_t>(r) * w.mapS;
        for (int c = 0; c < N; ++c) {
            if (c == b0) {
                for (; c + Width <= c1; c += Width) {
                    const int *offset[Width];
                    for (int g = 0; g < Width; ++g)
                        offset[g] = w.linear + static_cast<size_t>(map[c + g]) * n;
                    Group(image + c, offset, n, &nets[c], &totals[c]);
                }
                for (; c < c1; ++c)
                    walkInterior(image + c, w.linear + static_cast<size_t>(map[c]) * n, n, &nets[c], &totals[c]);
                if (c == N)
                    break;
            }
            const int d = map[c];
            walkBorder<false>(w.image, M, N, w.S, w.offsets + static_cast<size_t>(d) * n,
                              w.offsets + static_cast<size_t>(DIRECTIONS + d) * n,
                              w.rowSteps + static_cast<size_t>(d) * n, n, r, c, &nets[c], &totals[c]);
        }
    }
}

/* Whether a row of total variations may hold a NaN: x - x is 0 unless x is
 * NaN or infinite, so their sum is 0 for a row without either. Four at a time
 * and without branches, a small cost beside even the shortest walk. A net
 * change is NaN beside a number only when its walk starts at its last
 * sample, a NaN, which then comes out whatever the order. */
static bool rowMayHoldNan(const double *v, int count)
{
    typedef double v2d __attribute__((vector_size(16)));
    v2d sum0 = {0.0, 0.0}, sum1 = sum0;
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        v2d x0, x1;
        memcpy(&x0, v + k, sizeof x0);
        memcpy(&x1, v + k + 2, sizeof x1);
        sum0 = sum0 + (x0 - x0);
        sum1 = sum1 + (x1 - x1);
    }
    double rest = (sum0[0] + sum0[1]) + (sum1[0] + sum1[1]);
    for (; k < count; ++k)
        rest = rest + (v[k] - v[k]);
    return rest != 0.0;
}

/* Two NaNs of different sign or payload meeting in a sum: which one comes
 * out is the compiler's choice in the walks above (it may swap the operands
 * of +, and of the vector adds behind the intrinsics). Every pixel with a
 * NaN result is walked once more, the same walk with the order written and
 * x86's rules. */
static void redoNanPixels(const WalkCall &w, int r0, int r1)
{
    const int M = w.M;
    const int N = w.N;
    const int n = w.length;
    for (int r = r0; r < r1; ++r) {
        double *nets = w.net + static_cast<ptrdiff_t>(r) * w.outS;
        double *totals = w.total + static_cast<ptrdiff_t>(r) * w.outS;
        if (!rowMayHoldNan(totals, N))
            continue;
        const bool interiorRow = w.linear && r >= w.rowMargin && r <= M - w.rowMargin - 1;
        for (int c = 0; c < N; ++c) {
            if (!std::isnan(totals[c]))
                continue;
            const int d = w.map[static_cast<size_t>(r) * w.mapS + c];
            if (interiorRow && c >= w.colMargin && c <= N - w.colMargin - 1)
                walkInterior<true>(w.image + static_cast<size_t>(r) * w.S + c, w.linear + static_cast<size_t>(d) * n,
                                   n, &nets[c], &totals[c]);
            else
                walkBorder<true>(w.image, M, N, w.S, w.offsets + static_cast<size_t>(d) * n,
                                 w.offsets + static_cast<size_t>(DIRECTIONS + d) * n,
                                 w.rowSteps + static_cast<size_t>(d) * n, n, r, c, &nets[c],
                                 &totals[c]);
        }
    }
}

static void walkRowsPlain(const WalkCall &w, int r0, int r1)
{
    walkRowsWith<GROUP, walkInteriorGroup>(w, r0, r1);
}

#ifdef WALK_AVX2_GROUP
__attribute__((target("avx2"))) static void walkRowsAvx2(const WalkCall &w, int r0, int r1)
{
    walkRowsWith<AVX2_GROUP, walkInteriorGroupAvx2>(w, r0, r1);
}
#endif

KernelStatus walkPaths(PathView view, const int *table, int halfLength, PathOutputs out, const KernelRun &run)
{
    const int a = halfLength;
    const int n = 2 * a + 2;
    const int M = view.rows;
    const int N = view.cols;
    const int S = static_cast<int>(view.imageStride);
    WalkCall w;
    int colReach, rowReach;
    int *offsets = buildOffsetRows(table, M, N, S, a, &colReach, &rowReach);
    if (!offsets)
        return KERNEL_NO_MEMORY;

    /* Interior pixels are those every offset of the table keeps inside: a+1
     * from each edge for tables whose offsets stay within a+1, further for
     * tables that reach further. */
    w.rowMargin = rowReach > a + 1 ? rowReach : a + 1;
    w.colMargin = colReach > a + 1 ? colReach : a + 1;

    /* Per direction, the unscaled row offsets (the border test's rows), and
     * the linear offsets, these only where some pixel is interior: then
     * every sum lands inside the image and fits an int. */
    const size_t entries = static_cast<size_t>(DIRECTIONS) * n;
    int *derived = static_cast<int *>(malloc(2 * entries * sizeof(int)));
    if (!derived) {
        free(offsets);
        return KERNEL_NO_MEMORY;
    }
    int *rowSteps = derived;
    int *linear = nullptr;
    for (size_t i = 0; i < entries; ++i)
        rowSteps[i] = offsets[entries + i] / S;
    if (M - 2 * w.rowMargin > 0 && N - 2 * w.colMargin > 0) {
        linear = derived + entries;
        for (size_t i = 0; i < entries; ++i)
            linear[i] = offsets[i] + offsets[entries + i];
    }
    w.image = view.image;
    w.map = view.directionMap;
    w.M = M;
    w.N = N;
    w.S = S;
    w.mapS = static_cast<int>(view.mapStride);
    w.net = out.net;
    w.total = out.total;
    w.outS = out.rowStride;
    w.offsets = offsets;
    w.rowSteps = rowSteps;
    w.linear = linear;
    w.length = n;

    const int members = run.team ? run.team->size : 1;
    /* Rows go out in bands, BANDS_PER_MEMBER per member, to whichever member
     * asks next, so that a member on a busier core takes fewer of them; a
     * band holds at most BAND_PIXELS, so that member 0 asks the stop query
     * often enough. */
    int band = M / (members * BANDS_PER_MEMBER) > 1 ? M / (members * BANDS_PER_MEMBER) : 1;
    if (static_cast<long long>(band) * N > BAND_PIXELS)
        band = N < BAND_PIXELS ? static_cast<int>(BAND_PIXELS / N) : 1;
    void (*walkRows)(const WalkCall &, int, int) = walkRowsPlain;
#ifdef WALK_AVX2_GROUP
    if (takesAvx2(run.path))
        walkRows = walkRowsAvx2;
#endif
    std::atomic<long long> nextRow(0);
    std::atomic<bool> stop(false);
    const StopQuery query = run.stop;
    runTeam(run.team, [&w, M, band, walkRows, &nextRow, &stop, &query](int t, int, TeamBarrier *) {
        for (;;) {
            /* Member 0 asks before each band it takes. */
            if (t == 0 && stopAsked(query))
                stop.store(true, std::memory_order_relaxed);
            long long r0;
            if (stop.load(std::memory_order_relaxed) || (r0 = nextRow.fetch_add(band, std::memory_order_relaxed)) >= M)
                break;
            const int r1 = static_cast<int>(r0 + band < M ? r0 + band : M);
            walkRows(w, static_cast<int>(r0), r1);
            redoNanPixels(w, static_cast<int>(r0), r1);
        }
    });
    free(derived);
    free(offsets);
    return stop.load(std::memory_order_relaxed) ? KERNEL_STOPPED : KERNEL_DONE;
}
