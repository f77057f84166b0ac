#include "imagemaths.h"
#include "exactmath.h"

#include "../common/pages.h"
#include "../common/split.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

/* Samples of one type read as values: (x + offset) / scale, each step only
 * where it applies, as the host's own conversion does it. */
template <class T> struct Reader {
    const T *base;
    ptrdiff_t rs, cs, ps;
    double offset, scale;
    bool shift, divide;
    double at(ptrdiff_t i, ptrdiff_t j, ptrdiff_t p) const
    {
        double v = static_cast<double>(base[i * rs + j * cs + p * ps]);
        if (shift)
            v = v + offset;
        if (divide)
            v = v / scale;
        return v;
    }
};

template <class T> Reader<T> readerOf(const ImageView &v)
{
    return Reader<T>{static_cast<const T *>(v.data), v.rowStride, v.colStride, v.planeStride,
                     v.offset, v.scale, v.offset != 0.0, v.scale != 1.0};
}

/* fn(reader) with the reader of the view's sample type. */
template <class Fn> void withReader(const ImageView &v, const Fn &fn)
{
    switch (v.type) {
    case SAMPLE_DOUBLE: fn(readerOf<double>(v)); break;
    case SAMPLE_SINGLE: fn(readerOf<float>(v)); break;
    case SAMPLE_UINT8: fn(readerOf<uint8_t>(v)); break;
    case SAMPLE_UINT16: fn(readerOf<uint16_t>(v)); break;
    case SAMPLE_INT16: fn(readerOf<int16_t>(v)); break;
    case SAMPLE_LOGICAL: fn(readerOf<uint8_t>(v)); break;
    }
}

} // namespace

size_t sampleBytes(SampleType type)
{
    switch (type) {
    case SAMPLE_DOUBLE: return sizeof(double);
    case SAMPLE_SINGLE: return sizeof(float);
    case SAMPLE_UINT16:
    case SAMPLE_INT16: return 2;
    default: return 1;
    }
}

namespace {

/* Below this many pixels a thread costs more than it saves. */
const long long PIXELS_PER_THREAD = 1 << 16;

/* fn(firstColumn, lastColumn) over the columns, split among the threads. */
template <class Fn> void byColumns(ptrdiff_t rows, ptrdiff_t cols, int threads, const Fn &fn)
{
    const long long work = static_cast<long long>(rows) * cols;
    const int members = teamSize(threads, work, PIXELS_PER_THREAD);
    if (members <= 1 || cols < 2) {
        fn(ptrdiff_t(0), cols);
        return;
    }
    Team team;
    teamStart(&team, members);
    runSplit(&team, [&](int t, int size) {
        long long first, last;
        shareOf(cols, t, size, &first, &last);
        fn(static_cast<ptrdiff_t>(first), static_cast<ptrdiff_t>(last));
    });
    teamStop(&team);
}

template <class R> double lumaAt(const R &r, ptrdiff_t i, ptrdiff_t j, bool colour)
{
    if (!colour)
        return r.at(i, j, 0);
    return 0.2126 * r.at(i, j, 0) + 0.7152 * r.at(i, j, 1) + 0.0722 * r.at(i, j, 2);
}

/* The median as the host computes it: the middle value, or the mean of the
 * two middle ones (their sum halved). Reorders v. */
double medianOf(std::vector<double> &v)
{
    const size_t n = v.size(), k = (n + 1) / 2 - 1;
    std::nth_element(v.begin(), v.begin() + k, v.end());
    const double low = v[k];
    if (n % 2 == 1)
        return low;
    const double high = *std::min_element(v.begin() + k + 1, v.end());
    return (low + high) / 2;
}

/* A buffer the call touches first: huge pages where the system has them. */
double *hugeBuffer(size_t count)
{
    double *p = static_cast<double *>(std::malloc(count * sizeof(double)));
    adviseHugePages(p, count * sizeof(double));
    return p;
}

/* Plane p of a view, as a view of its own. */
ImageView planeOf(const ImageView &in, ptrdiff_t p)
{
    ImageView v = in;
    v.data = static_cast<const char *>(in.data) + p * in.planeStride * sampleBytes(in.type);
    v.planes = 1;
    return v;
}

/* Values >= 0 order as their bit patterns: a rank is found by counting
 * them into 2^16 buckets by their top 16 bits (sign, exponent and four
 * bits of the fraction) and sorting only the bucket that holds it. */
uint64_t bitsOf(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}
enum { BUCKET_SHIFT = 48, BUCKETS = 1 << 16 };

/* The values[i] >= 0 whose key[i] <= bound (NaN never is). */
struct Selection {
    Team *team;
    const double *key, *values;
    size_t count;
    double bound;

    /* fn(t, v) for each selected value of member t's share. */
    template <class Fn> void each(const Fn &fn) const
    {
        runSplit(team, [&](int t, int size) {
            long long i0, i1;
            shareOf(static_cast<long long>(count), t, size, &i0, &i1);
            for (long long i = i0; i < i1; ++i)
                if (key[i] <= bound)
                    fn(t, values[i]);
        });
    }

    /* The median as medianOf takes it; NaN where nothing is selected. */
    double median() const
    {
        const size_t members = static_cast<size_t>(team->size);
        std::vector<std::vector<size_t>> own(members, std::vector<size_t>(BUCKETS, 0));
        each([&](int t, double v) { ++own[static_cast<size_t>(t)][bitsOf(v) >> BUCKET_SHIFT]; });
        std::vector<size_t> hist(BUCKETS, 0);
        size_t total = 0;
        for (size_t b = 0; b < BUCKETS; ++b) {
            for (size_t t = 0; t < members; ++t)
                hist[b] += own[t][b];
            total += hist[b];
        }
        if (total == 0)
            return NAN;
        /* The buckets of ranks k and k + 1 (the second only for an even count). */
        const size_t k = (total + 1) / 2 - 1, last = total % 2 == 1 ? k : k + 1;
        size_t below = 0, first = 0;
        while (below + hist[first] <= k)
            below += hist[first++];
        size_t end = first, upto = below;
        while (upto + hist[end] <= last)
            upto += hist[end++];
        /* Each member writes its share of those buckets' values at its own offset. */
        std::vector<size_t> offset(members + 1, 0);
        for (size_t t = 0; t < members; ++t) {
            offset[t + 1] = offset[t];
            for (size_t b = first; b <= end; ++b)
                offset[t + 1] += own[t][b];
        }
        std::vector<double> near(offset[members]);
        each([&](int t, double v) {
            const size_t b = bitsOf(v) >> BUCKET_SHIFT;
            if (b >= first && b <= end)
                near[offset[static_cast<size_t>(t)]++] = v;
        });
        std::vector<double>::iterator at = near.begin() + static_cast<ptrdiff_t>(k - below);
        std::nth_element(near.begin(), at, near.end());
        if (last == k)
            return *at;
        return (*at + *std::min_element(at + 1, near.end())) / 2;
    }
};

/* The median of the values[i] whose key[i] <= bound. */
double medianWhere(Team *team, const double *key, const double *values, size_t count, double bound)
{
    return Selection{team, key, values, count, bound}.median();
}

} // namespace

ImageView unitView(const void *data, SampleType type, ptrdiff_t rows, ptrdiff_t cols, ptrdiff_t planes)
{
    ImageView v{data, type, rows, cols, planes, 1, rows, rows * cols, 0.0, 1.0};
    if (type == SAMPLE_UINT8)
        v.scale = 255.0;
    else if (type == SAMPLE_UINT16)
        v.scale = 65535.0;
    else if (type == SAMPLE_INT16) {
        v.offset = 32768.0;
        v.scale = 65535.0;
    }
    return v;
}

void toUnit(const ImageView &in, double *out, int threads)
{
    const ptrdiff_t m = in.rows, pixels = in.rows * in.cols;
    withReader(in, [&](const auto &r) {
        byColumns(m, in.cols, threads, [&](ptrdiff_t j0, ptrdiff_t j1) {
            for (ptrdiff_t p = 0; p < in.planes; ++p)
                for (ptrdiff_t j = j0; j < j1; ++j)
                    for (ptrdiff_t i = 0; i < m; ++i)
                        out[i + m * j + pixels * p] = r.at(i, j, p);
        });
    });
}

void lumaOf(const ImageView &in, double *out, int threads)
{
    const ptrdiff_t m = in.rows;
    const bool colour = in.planes == 3;
    withReader(in, [&](const auto &r) {
        byColumns(m, in.cols, threads, [&](ptrdiff_t j0, ptrdiff_t j1) {
            for (ptrdiff_t j = j0; j < j1; ++j)
                for (ptrdiff_t i = 0; i < m; ++i)
                    out[i + m * j] = lumaAt(r, i, j, colour);
        });
    });
}

void edgeGradients(const ImageView &in, double *g, ptrdiff_t gRowStride, ptrdiff_t gColStride, bool accumulate,
                   int threads)
{
    const ptrdiff_t m = in.rows, n = in.cols;
    withReader(in, [&](const auto &r) {
        auto pixel = [&](ptrdiff_t i, ptrdiff_t j) {
            double &gij = g[i * gRowStride + j * gColStride];
            double s = accumulate ? gij : 0.0;
            for (ptrdiff_t p = 0; p < in.planes; ++p) {
                const double f = r.at(i, j, p);
                const double dx = j + 1 < n ? r.at(i, j + 1, p) - f : 0.0;
                const double dy = i + 1 < m ? r.at(i + 1, j, p) - f : 0.0;
                /* std::max keeps s when the hypot is NaN */
                s = std::max(s, exactHypot(dx, dy));
            }
            gij = s;
        };
        /* In the order the samples lie: down the columns, or along the
         * rows of a row-major plane. */
        if (in.colStride == 1 && in.rowStride != 1)
            byColumns(n, m, threads, [&](ptrdiff_t i0, ptrdiff_t i1) {
                for (ptrdiff_t i = i0; i < i1; ++i)
                    for (ptrdiff_t j = 0; j < n; ++j)
                        pixel(i, j);
            });
        else
            byColumns(m, n, threads, [&](ptrdiff_t j0, ptrdiff_t j1) {
                for (ptrdiff_t j = j0; j < j1; ++j)
                    for (ptrdiff_t i = 0; i < m; ++i)
                        pixel(i, j);
            });
    });
}

void weightsOfGradients(double *g, ptrdiff_t count, double sigma, int threads)
{
    byColumns(1, count, threads, [&](ptrdiff_t k0, ptrdiff_t k1) {
        for (ptrdiff_t k = k0; k < k1; ++k)
            g[k] = exactExp(-g[k] / sigma);
    });
}

void edgeWeights(const ImageView &in, double sigma, double *out, int threads)
{
    edgeGradients(in, out, 1, in.rows, false, threads);
    weightsOfGradients(out, in.rows * in.cols, sigma, threads);
}

namespace {

/* emit(i, j, k) with k the direction index of the Sobel gradient of the
 * luma at(i, j), for the pixels of rows or columns [first, last). */
template <class At, class Emit>
void directionsOf(ptrdiff_t m, ptrdiff_t n, double turn, bool byRows, ptrdiff_t first, ptrdiff_t last, const At &at,
                  const Emit &emit)
{
    const double degrees = 180.0 / 3.14159265358979323846;
    auto pixel = [&](ptrdiff_t i, ptrdiff_t j) {
        const ptrdiff_t l = j > 0 ? j - 1 : 0, r = j + 1 < n ? j + 1 : n - 1;
        const ptrdiff_t u = i > 0 ? i - 1 : 0, d = i + 1 < m ? i + 1 : m - 1;
        const double gx = (at(u, r) + 2 * at(i, r) + at(d, r)) - (at(u, l) + 2 * at(i, l) + at(d, l));
        const double gy = (at(d, l) + 2 * at(d, j) + at(d, r)) - (at(u, l) + 2 * at(u, j) + at(u, r));
        /* The angle of a flat (or NaN) gradient is rounding noise. */
        long k = 0;
        if (gx * gx + gy * gy >= FLAT_GRADIENT_SQUARED) {
            k = exactLround(exactAtan2(gy, gx) * degrees + turn) % 360;
            k = k < 0 ? k + 360 : k;
        }
        emit(i, j, k);
    };
    if (byRows)
        for (ptrdiff_t i = first; i < last; ++i)
            for (ptrdiff_t j = 0; j < n; ++j)
                pixel(i, j);
    else
        for (ptrdiff_t j = first; j < last; ++j)
            for (ptrdiff_t i = 0; i < m; ++i)
                pixel(i, j);
}

} // namespace

bool gradientDirections(const ImageView &in, double turn, double *out, int threads)
{
    const ptrdiff_t m = in.rows, n = in.cols;
    if (m == 0 || n == 0)
        return true;
    /* The Sobel masks read every luma value nine times: a plane of it first,
     * unless the view already is one. */
    std::vector<double> own;
    const double *f;
    if (in.type == SAMPLE_DOUBLE && in.planes == 1 && in.rowStride == 1 && in.colStride == m) {
        f = static_cast<const double *>(in.data);
    } else {
        try {
            own.resize(static_cast<size_t>(m) * n);
        } catch (const std::bad_alloc &) {
            return false;
        }
        lumaOf(in, own.data(), threads);
        f = own.data();
    }
    byColumns(m, n, threads, [&](ptrdiff_t j0, ptrdiff_t j1) {
        directionsOf(m, n, turn, false, j0, j1, [&](ptrdiff_t i, ptrdiff_t j) { return f[i + m * j]; },
                     [&](ptrdiff_t i, ptrdiff_t j, long k) { out[i + m * j] = static_cast<double>(k); });
    });
    return true;
}

void lumaRows(const ImageView &in, double *out, int threads)
{
    const ptrdiff_t m = in.rows, n = in.cols, tile = 32;
    const bool colour = in.planes == 3;
    withReader(in, [&](const auto &r) {
        byColumns(n, (m + tile - 1) / tile, threads, [&](ptrdiff_t t0, ptrdiff_t t1) {
            for (ptrdiff_t b0 = t0 * tile; b0 < std::min(t1 * tile, m); b0 += tile) {
                const ptrdiff_t b1 = std::min(b0 + tile, m);
                for (ptrdiff_t j = 0; j < n; ++j)
                    for (ptrdiff_t i = b0; i < b1; ++i)
                        out[i * n + j] = lumaAt(r, i, j, colour);
            }
        });
    });
}

void gradientDirectionRows(const double *f, ptrdiff_t m, ptrdiff_t n, double turn, ptrdiff_t first, ptrdiff_t last,
                           int *out, int threads)
{
    byColumns(n, last - first, threads, [&](ptrdiff_t i0, ptrdiff_t i1) {
        directionsOf(m, n, turn, true, first + i0, first + i1, [&](ptrdiff_t i, ptrdiff_t j) { return f[i * n + j]; },
                     [&](ptrdiff_t i, ptrdiff_t j, long k) { out[i * n + j] = static_cast<int>(k); });
    });
}

void straightPathTable(double *out)
{
    const double radians = 3.14159265358979323846 / 180.0;
    const int steps = PATH_TABLE_STEPS, directions = PATH_TABLE_DIRECTIONS;
    for (int d = 0; d < directions; ++d)
        for (int p = 0; p < steps; ++p) {
            out[p + steps * d] = static_cast<double>(exactLround((p + 1) * exactCos(d * radians)));
            out[p + steps * (directions + d)] = static_cast<double>(exactLround((p + 1) * exactSin(d * radians)));
        }
}

bool noiseEstimate(const ImageView &in, double *sigma, int threads)
{
    const ptrdiff_t m = in.rows, n = in.cols;
    *sigma = 0.0;
    if (m < 3 || n < 3)
        return true;
    const size_t inner = static_cast<size_t>(m - 2) * static_cast<size_t>(n - 2);
    /* One plane's values, then per interior pixel its Sobel |gx| + |gy|
     * (NaN unless both measures are finite) and |Immerkaer's mask|. */
    double *f = hugeBuffer(static_cast<size_t>(m) * static_cast<size_t>(n));
    double *grad = hugeBuffer(inner), *resp = hugeBuffer(inner);
    std::vector<double> est;
    bool ok = f && grad && resp;
    if (ok) {
        Team team;
        teamStart(&team, teamSize(threads, static_cast<long long>(inner), PIXELS_PER_THREAD));
        try {
            for (ptrdiff_t p = 0; p < in.planes; ++p) {
                toUnit(planeOf(in, p), f, threads);
                runSplit(&team, [&](int t, int size) {
                    long long j0, j1;
                    shareOf(n - 2, t, size, &j0, &j1);
                    /* Both masks are separable: Immerkaer's is [1 -2 1]' * [1 -2 1],
                     * the Sobel pair [1 2 1]' * [1 0 -1] and [1 0 -1]' * [1 2 1];
                     * down the columns first, then across. */
                    auto at = [&](ptrdiff_t i, ptrdiff_t j) { return f[i + m * j]; };
                    auto lap = [&](ptrdiff_t i, ptrdiff_t j) { return (at(i, j) - 2 * at(i + 1, j)) + at(i + 2, j); };
                    auto smooth = [&](ptrdiff_t i, ptrdiff_t j) { return (at(i, j) + 2 * at(i + 1, j)) + at(i + 2, j); };
                    auto diff = [&](ptrdiff_t i, ptrdiff_t j) { return at(i, j) - at(i + 2, j); };
                    for (ptrdiff_t j = j0; j < j1; ++j)
                        for (ptrdiff_t i = 0; i + 2 < m; ++i) {
                            const double rv = std::fabs((lap(i, j) - 2 * lap(i, j + 1)) + lap(i, j + 2));
                            double gv = std::fabs(smooth(i, j) - smooth(i, j + 2));
                            gv = gv + std::fabs((diff(i, j) + 2 * diff(i, j + 1)) + diff(i, j + 2));
                            const size_t k = static_cast<size_t>(i) + static_cast<size_t>(m - 2) * j;
                            grad[k] = std::isfinite(rv) && std::isfinite(gv) ? gv : NAN;
                            resp[k] = rv;
                        }
                });
                /* The gradients' median, then the responses' median where
                 * the gradient is at most that (NaN never is). */
                const double limit = medianWhere(&team, grad, grad, inner, INFINITY);
                est.push_back(std::isnan(limit) ? NAN : medianWhere(&team, grad, resp, inner, limit) / (0.6745 * 6));
            }
        } catch (const std::bad_alloc &) {
            ok = false;
        }
        teamStop(&team);
    }
    std::free(f);
    std::free(grad);
    std::free(resp);
    if (!ok)
        return false;
    for (double e : est)
        if (std::isnan(e)) {
            *sigma = NAN;
            return true;
        }
    *sigma = medianOf(est);
    return true;
}
