/* The smoother's per-path kernels: each solves part of one pass (see
 * lanesolve.h); the scheduler (schedule.cpp) hands the parts out. */
#ifndef KERNELS_H
#define KERNELS_H

#include "lanesolve.h"

struct Kernels {
    /* Rows [r0, r1) of the row pass; scratch: rowScratchDoubles(). */
    void (*rows)(const Pass &, int r0, int r1, double lam, double *scratch);
    /* Columns [i0, i1) of the column pass, over the whole height; scratch:
     * stripScratchDoubles(). */
    void (*strip)(const Pass &, int i0, int i1, double lam, double *scratch);
};

/* The kernels of the path a call asked for (common/dispatch.h). */
const Kernels *kernelsFor(int path);

/* Scratch of one member's row solve: a block's lane-order copy (of the rows
 * there are, for images of fewer than BLOCK_ROWS rows). */
inline size_t rowScratchDoubles(int rows, int cols)
{
    return 3 * static_cast<size_t>(cols) * static_cast<size_t>(rows < BLOCK_ROWS ? rows : BLOCK_ROWS);
}

/* Scratch of one strip of columns: its coefficients. */
inline size_t stripScratchDoubles(int rows, int width)
{
    return static_cast<size_t>(rows) * static_cast<size_t>(width);
}

/* One line as solveLanes solves each of its lanes, every operation with
 * x86's NaN rules; c holds L doubles. */
void solveLineExact(double *d, ptrdiff_t ds, const double *w, ptrdiff_t ws, int L, double lam, double *c);

#endif
