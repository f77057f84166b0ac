#include "imagemaths.h"
#include "exactmath.h"

#include "../common/split.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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

void edgeWeights(const ImageView &in, double sigma, double *out, int threads)
{
    const ptrdiff_t m = in.rows, n = in.cols;
    withReader(in, [&](const auto &r) {
        byColumns(m, n, threads, [&](ptrdiff_t j0, ptrdiff_t j1) {
            for (ptrdiff_t j = j0; j < j1; ++j)
                for (ptrdiff_t i = 0; i < m; ++i) {
                    double g = 0.0;
                    for (ptrdiff_t p = 0; p < in.planes; ++p) {
                        const double f = r.at(i, j, p);
                        const double dx = j + 1 < n ? r.at(i, j + 1, p) - f : 0.0;
                        const double dy = i + 1 < m ? r.at(i + 1, j, p) - f : 0.0;
                        /* std::max keeps g when the hypot is NaN */
                        g = std::max(g, exactHypot(dx, dy));
                    }
                    out[i + m * j] = exactExp(-g / sigma);
                }
        });
    });
}

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
    const double degrees = 180.0 / 3.14159265358979323846;
    byColumns(m, n, threads, [&](ptrdiff_t j0, ptrdiff_t j1) {
        for (ptrdiff_t j = j0; j < j1; ++j) {
            const double *l = f + m * std::max<ptrdiff_t>(j - 1, 0);
            const double *c = f + m * j;
            const double *r = f + m * std::min<ptrdiff_t>(j + 1, n - 1);
            for (ptrdiff_t i = 0; i < m; ++i) {
                const ptrdiff_t u = i > 0 ? i - 1 : 0, d = i + 1 < m ? i + 1 : m - 1;
                const double gx = (r[u] + 2 * r[i] + r[d]) - (l[u] + 2 * l[i] + l[d]);
                const double gy = (l[d] + 2 * c[d] + r[d]) - (l[u] + 2 * c[u] + r[u]);
                /* The angle of a flat (or NaN) gradient is rounding noise. */
                long k = 0;
                if (gx * gx + gy * gy >= FLAT_GRADIENT_SQUARED) {
                    k = exactLround(exactAtan2(gy, gx) * degrees + turn) % 360;
                    k = k < 0 ? k + 360 : k;
                }
                out[i + m * j] = static_cast<double>(k);
            }
        }
    });
    return true;
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

bool noiseEstimate(const ImageView &in, double *sigma)
{
    const ptrdiff_t m = in.rows, n = in.cols;
    *sigma = 0.0;
    if (m < 3 || n < 3)
        return true;
    std::vector<double> est;
    /* One buffer, reused: the gradients for their median, then the mask's
     * responses of the pixels at or below it (recomputed, which costs less
     * than holding both lists of a large image). */
    std::vector<double> kept;
    try {
        kept.reserve(static_cast<size_t>(m - 2) * (n - 2));
        est.reserve(static_cast<size_t>(in.planes));
        withReader(in, [&](const auto &px) {
            for (ptrdiff_t p = 0; p < in.planes; ++p) {
                /* Both masks are separable: Immerkaer's is [1 -2 1]' * [1 -2 1],
                 * the Sobel pair [1 2 1]' * [1 0 -1] and [1 0 -1]' * [1 2 1];
                 * down the columns first, then across. */
                auto lap = [&](ptrdiff_t i, ptrdiff_t j) {
                    return (px.at(i, j, p) - 2 * px.at(i + 1, j, p)) + px.at(i + 2, j, p);
                };
                auto smooth = [&](ptrdiff_t i, ptrdiff_t j) {
                    return (px.at(i, j, p) + 2 * px.at(i + 1, j, p)) + px.at(i + 2, j, p);
                };
                auto diff = [&](ptrdiff_t i, ptrdiff_t j) { return px.at(i, j, p) - px.at(i + 2, j, p); };
                /* fn(response, gradient) for every pixel where both are finite */
                auto each = [&](const auto &fn) {
                    for (ptrdiff_t j = 0; j + 2 < n; ++j)
                        for (ptrdiff_t i = 0; i + 2 < m; ++i) {
                            const double rv = std::fabs((lap(i, j) - 2 * lap(i, j + 1)) + lap(i, j + 2));
                            double gv = std::fabs(smooth(i, j) - smooth(i, j + 2));
                            gv = gv + std::fabs((diff(i, j) + 2 * diff(i, j + 1)) + diff(i, j + 2));
                            if (std::isfinite(rv) && std::isfinite(gv))
                                fn(rv, gv);
                        }
                };
                kept.clear();
                each([&](double, double gv) { kept.push_back(gv); });
                if (kept.empty()) {
                    est.push_back(NAN);
                    continue;
                }
                const double limit = medianOf(kept);
                kept.clear();
                each([&](double rv, double gv) {
                    if (gv <= limit)
                        kept.push_back(rv);
                });
                est.push_back(medianOf(kept) / (0.6745 * 6));
            }
        });
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (est.empty())
        return true;
    for (double e : est)
        if (std::isnan(e)) {
            *sigma = NAN;
            return true;
        }
    *sigma = medianOf(est);
    return true;
}
