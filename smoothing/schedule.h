/* The smoother's kernel, smoothPlane, which schedule.cpp spreads over a
 * team, called with everything it works on. No host calls and no
 * module-level state: smoothSeparable (solver.h) is the adapter that hands
 * it what the module's variables hold. */
#ifndef SCHEDULE_H
#define SCHEDULE_H

#include "../common/run.h"

#include <cstddef>

/* A single-plane image: element (i, j) at base[i * rowStride + j]. */
struct PlaneView {
    double *base;
    int rows;
    int cols;
    ptrdiff_t rowStride;
};

/* Weights of the image's shape: element (i, j) at base[i * rowStride + j]. */
struct WeightView {
    const double *base;
    ptrdiff_t rowStride;
};

struct SmoothParams {
    double lambda;
    int iterations;
    double attenuation;
};

/* The fewest pixels worth a member of their own (common/split.h's teamSize). */
enum { MIN_PIXELS_PER_THREAD = 65536 };

/* Smooths `image` in place. Each of `iterations` rounds solves every row,
 * then every column, exactly: (I + s*A) u = f with A the line's weighted
 * second-difference matrix, s = lambda/2 in the first round and divided by
 * `attenuation` after each. h couples (i, j) with (i, j+1) in the row pass,
 * v (i, j) with (i+1, j) in the column pass. The run's team shares the work
 * (the result never depends on its size or on the path); member 0 asks its
 * stop query before every row block and strip it takes. KERNEL_NO_MEMORY,
 * with the image untouched, if the scratch cannot be allocated;
 * KERNEL_STOPPED, with the image part-way, once the stop query has said so. */
KernelStatus smoothPlane(PlaneView image, WeightView h, WeightView v, SmoothParams params, const KernelRun &run);

/* The scratch smoothPlane allocates for a team of `team`, in doubles:
 * SMOOTH_SCRATCH_PER_THREAD x team x (rows + cols) at most. */
size_t smoothScratchDoubles(int rows, int cols, int team);
enum { SMOOTH_SCRATCH_PER_THREAD = 64 };

/* Only NaN results (sign and payload) can differ between builds: where the
 * kernels cannot keep x86's NaN bits (smoothKeepsNanBits() false: the
 * operand order of a product is left to the compiler there), a plane whose
 * result holds a NaN is solved again by smoothPlaneExact, one line at a
 * time with x86's rules spelt out. Same arguments and result as smoothPlane
 * on one thread; false only if its line buffer cannot be allocated. */
bool smoothKeepsNanBits();
bool smoothPlaneExact(PlaneView image, WeightView h, WeightView v, SmoothParams params);

#endif
