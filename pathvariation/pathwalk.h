/* The path-variation kernel, called with everything it works on. No host
 * calls and no module-level state: walkDirections (directions.h) is the
 * adapter that hands it what the module's variables hold. */
#ifndef PATHWALK_H
#define PATHWALK_H

#include "table.h"
#include "../common/run.h"

#include <cstddef>

/* MIN_WALK_PIXELS_PER_THREAD: the fewest pixels worth a member of their own
 * (common/split.h's teamSize). Bands of rows go to the members, about
 * BANDS_PER_MEMBER each, of at most BAND_PIXELS pixels. */
enum { MIN_WALK_PIXELS_PER_THREAD = 32768, BANDS_PER_MEMBER = 16, BAND_PIXELS = 1 << 18 };

/* A row-major image and its direction map (0..360), both rows x cols:
 * image element (i, j) at i * imageStride + j, map element at
 * i * mapStride + j. rows * cols and rows * imageStride must fit a 32-bit
 * int. */
struct PathView {
    const double *image;
    ptrdiff_t imageStride;
    const int *directionMap;
    ptrdiff_t mapStride;
    int rows;
    int cols;
};

/* The walk's two results, rows x cols like the view: element (i, j) at
 * i * rowStride + j of each. */
struct PathOutputs {
    double *net;
    double *total;
    ptrdiff_t rowStride;
};

/* For every pixel, walks the path of its direction over table steps
 * 0..halfLength (0..79) and writes the net change and the total variation
 * of the samples taken to out. table: step p, column q at
 * p * TABLE_COLUMNS + q; column d holds the column offset of direction d,
 * column DIRECTIONS + d its row offset; offsets of any value are safe,
 * nothing outside the image is ever read. The run's team shares the rows
 * (results never depend on its size or on the path); member 0 asks its stop
 * query before every band it takes. KERNEL_NO_MEMORY, with nothing written, if its
 * working memory cannot be had; KERNEL_STOPPED, with the outputs part-way,
 * once the stop query has said so. */
KernelStatus walkPaths(PathView view, const int *table, int halfLength, PathOutputs out, const KernelRun &run);

#endif
