/* The smoother's per-path kernels: each solves part of one pass (see
 * lanesolve.h); the scheduler (schedule.cpp) hands the parts out. */
#ifndef KERNELS_H
#define KERNELS_H

#include "lanesolve.h"

#include "../common/dispatch.h"

/* Both return the lines they solved again to keep x86's NaN bits under
 * their check (lanes.h). */
struct Kernels {
    /* Rows [r0, r1) of the row pass; scratch: rowScratchDoubles(). */
    int (*rows)(const Pass &, int r0, int r1, double lam, double *scratch);
    /* Columns [i0, i1) of the column pass (at most STRIP_MAX_COLUMNS), over
     * the whole height; scratch: stripScratchDoubles(). */
    int (*strip)(const Pass &, int i0, int i1, double lam, double *scratch);
};

/* The kernels of the path a call asked for (common/dispatch.h) under a
 * NaN check. */
const Kernels *kernelsFor(KernelPath path, NanCheck check);

/* Scratch of one member's row solve: a block's lane-order copy (of the rows
 * there are, for images of fewer than BLOCK_ROWS rows). */
inline size_t rowScratchDoubles(int rows, int cols)
{
    return 3 * static_cast<size_t>(cols) * static_cast<size_t>(rows < BLOCK_ROWS ? rows : BLOCK_ROWS);
}

/* Scratch of one strip of columns: its coefficients, and under a check a
 * copy of its input. */
inline size_t stripScratchDoubles(int rows, int width, NanCheck check)
{
    return static_cast<size_t>(rows) * static_cast<size_t>(width) * (check == NAN_CHECK_NONE ? 1 : 2);
}

#endif
