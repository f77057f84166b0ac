#include "walk.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

int pathRows = 0;
int pathCols = 0;
int directionTable[TABLE_SIZE];
double *netChange = nullptr;
double *totalVariation = nullptr;

/* Tables may hold any int (NaN and huge values arrive as INT_MIN). Two
 * rules keep every read inside the image and every index within 32 bits:
 * - an offset of magnitude >= the image's extent in its axis never lands
 *   inside from any pixel, so it is clamped to +-extent: no walk changes,
 *   and a row offset times the column count stays within M*N;
 * - the interior margin in each axis is the largest offset magnitude held
 *   by steps 0..a (never less than a + 1), so pixels that a larger offset
 *   could take outside are walked with bounds tests.
 * Tables whose offsets stay within a + 1 see neither rule. */
static int clampOffset(int v, int extent)
{
    return v > extent ? extent : v < -extent ? -extent : v;
}

/* 722 rows of n = 2a + 2 entries: -T[a-1] .. -T[0], 0, T[0] .. T[a], the
 * order of the walk. Row offsets are premultiplied by the column count.
 * Also reports the largest column and row offset magnitudes held. */
static int *buildOffsetRows(int a, int *colReach, int *rowReach)
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
            int v = clampOffset(directionTable[p * TABLE_COLUMNS + q], isRow ? pathRows : pathCols);
            int magnitude = v < 0 ? -v : v;
            int *reach = isRow ? rowReach : colReach;
            if (magnitude > *reach)
                *reach = magnitude;
            row[a + 1 + p] = isRow ? v * pathCols : v;
        }
        for (int j = 0; j < a; ++j)
            row[j] = -row[2 * a - j];
    }
    return offsets;
}

/* Until a sample not below 0 has been taken (start is -1 before the first),
 * each sample replaces the start; after it, each adds its step to the sum. */
static inline void takeSample(double v, double *start, double *prev, double *sum)
{
    if (*start < 0) {
        *start = v;
        *prev = v;
    } else {
        *sum = *sum + std::fabs(v - *prev);
        *prev = v;
    }
}

bool walkDirections(const double *image, const int *directionMap, int halfLength)
{
    const int a = halfLength;
    const int n = 2 * a + 2;
    const int M = pathRows;
    const int N = pathCols;
    int colReach, rowReach;
    int *offsets = buildOffsetRows(a, &colReach, &rowReach);
    if (!offsets)
        return false;

    /* Interior pixels are those every offset of the table keeps inside: a+1
     * from each edge for tables whose offsets stay within a+1, further for
     * tables that reach further. */
    const long long rowMargin = rowReach > a + 1 ? rowReach : a + 1;
    const long long colMargin = colReach > a + 1 ? colReach : a + 1;

    for (int r = 0; r < M; ++r) {
        const bool interiorRow = r >= rowMargin && r <= M - rowMargin - 1;
        for (int c = 0; c < N; ++c) {
            const int k = r * N + c;
            const int d = directionMap[k];
            const int *X = offsets + static_cast<size_t>(d) * n;
            const int *Y = offsets + static_cast<size_t>(DIRECTIONS + d) * n;
            double start = -1.0;
            double sum = 0.0;
            double prev = 0.0;
            if (interiorRow && c >= colMargin && c <= N - colMargin - 1) {
                for (int e = 0; e < n; ++e) {
                    takeSample(image[k + Y[e] + X[e]], &start, &prev, &sum);
                }
                netChange[k] = std::fabs(prev - start);
            } else {
                for (int e = 0; e < n; ++e) {
                    const int dx = X[e];
                    const int dy = Y[e];
                    /* Written so that neither side can overflow. */
                    if (dx < -c || dx > N - 1 - c)
                        continue;
                    const int dr = dy / N;
                    if (dr < -r || dr > M - 1 - r)
                        continue;
                    /* Inside the image, so k + dy is too. */
                    takeSample(image[k + dy + dx], &start, &prev, &sum);
                }
                netChange[k] = start >= 0 ? std::fabs(prev - start) : 0.0;
            }
            totalVariation[k] = sum;
        }
    }
    free(offsets);
    return true;
}
