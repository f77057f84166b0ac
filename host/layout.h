/* Column-major (host) <-> row-major (working) copies, walked in square
 * tiles so that both sides are read and written a cache line at a time. */
#ifndef LAYOUT_H
#define LAYOUT_H

#include <cstddef>

enum { LAYOUT_TILE = 32 };

/* dst[i*n + j] = convert(src[i + m*j]) for an m x n matrix. */
template <class T, class Convert>
void copyToRowMajor(T *dst, const double *src, int m, int n, Convert convert)
{
    for (int i0 = 0; i0 < m; i0 += LAYOUT_TILE) {
        const int i1 = i0 + LAYOUT_TILE < m ? i0 + LAYOUT_TILE : m;
        for (int j0 = 0; j0 < n; j0 += LAYOUT_TILE) {
            const int j1 = j0 + LAYOUT_TILE < n ? j0 + LAYOUT_TILE : n;
            for (int i = i0; i < i1; ++i)
                for (int j = j0; j < j1; ++j)
                    dst[static_cast<size_t>(i) * n + j] = convert(src[i + static_cast<size_t>(m) * j]);
        }
    }
}

inline void copyToRowMajor(double *dst, const double *src, int m, int n)
{
    copyToRowMajor(dst, src, m, n, [](double v) { return v; });
}

/* dst[i + m*j] = src[i*n + j]. */
inline void copyToColMajor(double *dst, const double *src, int m, int n)
{
    for (int j0 = 0; j0 < n; j0 += LAYOUT_TILE) {
        const int j1 = j0 + LAYOUT_TILE < n ? j0 + LAYOUT_TILE : n;
        for (int i0 = 0; i0 < m; i0 += LAYOUT_TILE) {
            const int i1 = i0 + LAYOUT_TILE < m ? i0 + LAYOUT_TILE : m;
            for (int j = j0; j < j1; ++j)
                for (int i = i0; i < i1; ++i)
                    dst[i + static_cast<size_t>(m) * j] = src[static_cast<size_t>(i) * n + j];
        }
    }
}

#endif
