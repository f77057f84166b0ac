#include "store.h"

#include "../common/pages.h"

#include <climits>
#include <cstddef>
#include <cstdlib>

int rows = 0;
int cols = 0;
int planes = 0;

double ***memAllocDouble(int m, int n, int c, const StopQuery &stop)
{
    if (m < 0 || n < 0 || c < 0)
        return nullptr;
    long long count = static_cast<long long>(m) * n * c + STORE_SPARE;
    if (count > INT_MAX)
        return nullptr;
    size_t pixels = static_cast<size_t>(m) * static_cast<size_t>(n);

    double *block = static_cast<double *>(malloc(static_cast<size_t>(count) * sizeof(double)));
    if (!block)
        return nullptr;
    adviseHugePages(block, static_cast<size_t>(count) * sizeof(double));
    /* The tables always have an entry 0, so store[0][0] reaches the block
     * even when the image is empty. */
    double **pixelTable = static_cast<double **>(malloc((pixels ? pixels : 1) * sizeof(double *)));
    double ***rowTable = static_cast<double ***>(malloc((m ? static_cast<size_t>(m) : 1) * sizeof(double **)));
    if (!pixelTable || !rowTable) {
        free(block);
        free(pixelTable);
        free(rowTable);
        return nullptr;
    }
    adviseHugePages(pixelTable, pixels * sizeof(double *));
    pixelTable[0] = block;
    rowTable[0] = pixelTable;
    /* Asked about every 2^20 entries (8 MB of table). */
    const int rowsPerAsk = n > 0 && n < (1 << 20) ? (1 << 20) / n : 1;
    for (int i = 0; i < m; ++i) {
        if (i % rowsPerAsk == 0 && i > 0 && stopAsked(stop)) {
            free(block);
            free(pixelTable);
            free(rowTable);
            return nullptr;
        }
        for (int j = 0; j < n; ++j) {
            size_t k = static_cast<size_t>(i) * n + j;
            pixelTable[k] = block + k * static_cast<size_t>(c);
        }
    }
    for (int i = 0; i < m; ++i)
        rowTable[i] = pixelTable + static_cast<size_t>(i) * n;
    return rowTable;
}

void memFreeDouble(double ***store)
{
    if (!store)
        return;
    free(store[0][0]);
    free(store[0]);
    free(store);
}
