/* Column-major (host) <-> row-major (working) copies, walked in square
 * tiles so that both sides are read and written a cache line at a time, and
 * split by rows across `team` threads (the copies are bound by memory and
 * by first-touch page faults, both of which spread over cores). A copy goes
 * in bands of about LAYOUT_BAND_DOUBLES and asks the caller's stop query
 * before each: a large image's copy takes seconds where page faults are
 * slow. */
#ifndef LAYOUT_H
#define LAYOUT_H

#include "../common/run.h"
#include "../common/split.h"

#include <cstddef>

enum { LAYOUT_TILE = 32, LAYOUT_BAND_DOUBLES = 1 << 21 };

/* Rows [i0, i1) of an m x n matrix: dst[i*n + j] = convert(src[i + m*j]). */
template <class T, class Convert>
void copyRowsToRowMajor(T *dst, const double *src, int m, int n, int i0, int i1, Convert convert)
{
    for (int b0 = i0; b0 < i1; b0 += LAYOUT_TILE) {
        const int b1 = b0 + LAYOUT_TILE < i1 ? b0 + LAYOUT_TILE : i1;
        for (int j0 = 0; j0 < n; j0 += LAYOUT_TILE) {
            const int j1 = j0 + LAYOUT_TILE < n ? j0 + LAYOUT_TILE : n;
            for (int i = b0; i < b1; ++i)
                for (int j = j0; j < j1; ++j)
                    dst[static_cast<size_t>(i) * n + j] = convert(src[i + static_cast<size_t>(m) * j]);
        }
    }
}

/* Rows [i0, i1): dst[i + m*j] = convert(src[i*n + j]). */
template <class T, class Convert>
void copyRowsToColMajor(T *dst, const double *src, int m, int n, int i0, int i1, Convert convert)
{
    for (int j0 = 0; j0 < n; j0 += LAYOUT_TILE) {
        const int j1 = j0 + LAYOUT_TILE < n ? j0 + LAYOUT_TILE : n;
        for (int b0 = i0; b0 < i1; b0 += LAYOUT_TILE) {
            const int b1 = b0 + LAYOUT_TILE < i1 ? b0 + LAYOUT_TILE : i1;
            for (int j = j0; j < j1; ++j)
                for (int i = b0; i < b1; ++i)
                    dst[i + static_cast<size_t>(m) * j] = convert(src[static_cast<size_t>(i) * n + j]);
        }
    }
}

inline void copyRowsToColMajor(double *dst, const double *src, int m, int n, int i0, int i1)
{
    copyRowsToColMajor(dst, src, m, n, i0, i1, [](double v) { return v; });
}

/* Row range of share t: whole tiles, so that no two threads write one line. */
inline void layoutShare(int m, int t, int team, int *i0, int *i1)
{
    long long first, last, tiles = (m + LAYOUT_TILE - 1) / LAYOUT_TILE;
    shareOf(tiles, t, team, &first, &last);
    *i0 = static_cast<int>(first * LAYOUT_TILE < m ? first * LAYOUT_TILE : m);
    *i1 = static_cast<int>(last * LAYOUT_TILE < m ? last * LAYOUT_TILE : m);
}

/* Rows per band: whole tiles, at least one. */
inline int layoutBandRows(int n)
{
    const int tiles = n > 0 ? LAYOUT_BAND_DOUBLES / LAYOUT_TILE / n : 1;
    return LAYOUT_TILE * (tiles > 1 ? tiles : 1);
}

/* fn(first, last) over bands of rows, each band shared out over the team;
 * false, part-way, once `stop` said yes (asked before every band). */
template <class Fn> bool copyInBands(Team *team, int m, int n, const StopQuery &stop, const Fn &fn)
{
    const int band = layoutBandRows(n);
    for (int b0 = 0; b0 < m; b0 += band) {
        if (stopAsked(stop))
            return false;
        const int rows = band < m - b0 ? band : m - b0;
        runSplit(team, [&](int t, int size) {
            int i0, i1;
            layoutShare(rows, t, size, &i0, &i1);
            fn(b0 + i0, b0 + i1);
        });
    }
    return true;
}

/* dst = convert(src) row-major; false, part-way, once `stop` said yes. */
template <class T, class Convert>
bool copyToRowMajor(Team *team, T *dst, const double *src, int m, int n, Convert convert, const StopQuery &stop)
{
    return copyInBands(team, m, n, stop,
                       [&](int i0, int i1) { copyRowsToRowMajor(dst, src, m, n, i0, i1, convert); });
}

inline bool copyToRowMajor(Team *team, double *dst, const double *src, int m, int n, const StopQuery &stop)
{
    return copyToRowMajor(team, dst, src, m, n, [](double v) { return v; }, stop);
}

/* dst = src column-major; false, part-way, once `stop` said yes. */
inline bool copyToColMajor(Team *team, double *dst, const double *src, int m, int n, const StopQuery &stop)
{
    return copyInBands(team, m, n, stop, [&](int i0, int i1) { copyRowsToColMajor(dst, src, m, n, i0, i1); });
}

#endif
