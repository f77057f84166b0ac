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

/* The result's NaNs (sign and payload) are x86's on every build (see
 * smoothing/lanes.h): on x86 by themselves, on aarch64 the lines of a part
 * that raised the invalid flag are solved again with x86's rules spelt out,
 * elsewhere every line that holds a NaN. A caller may force either check
 * (both keep the result) and learn how many lines were solved again. */
enum SmoothNanCheck { SMOOTH_NAN_NATIVE, SMOOTH_NAN_INVALID_FLAG, SMOOTH_NAN_EVERY_LINE };
struct SmoothNanAudit {
    SmoothNanCheck check; /* in */
    long long linesRedone; /* out: rows and columns, over all iterations */
};

/* Smooths `image` in place. Each of `iterations` rounds solves every row,
 * then every column, exactly: (I + s*A) u = f with A the line's weighted
 * second-difference matrix, s = lambda/2 in the first round and divided by
 * `attenuation` after each. h couples (i, j) with (i, j+1) in the row pass,
 * v (i, j) with (i+1, j) in the column pass. The run's team shares the work
 * (the result never depends on its size or on the path); member 0 asks its
 * stop query before every row block and strip it takes. audit: null, or the
 * NaN check to use and the count of lines it solved again. KERNEL_NO_MEMORY,
 * with the image untouched, if the scratch cannot be allocated;
 * KERNEL_STOPPED, with the image part-way, once the stop query has said so. */
KernelStatus smoothPlane(PlaneView image, WeightView h, WeightView v, SmoothParams params, const KernelRun &run,
                         SmoothNanAudit *audit = nullptr);

/* The scratch smoothPlane allocates for a team of `team` under the build's
 * own NaN check, in doubles: SMOOTH_SCRATCH_PER_THREAD x team x (rows +
 * cols) at most. Off x86 a strip keeps a copy of its input for the check. */
size_t smoothScratchDoubles(int rows, int cols, int team);
#if defined(__x86_64__) || defined(__i386__)
enum { SMOOTH_SCRATCH_PER_THREAD = 64 };
#else
enum { SMOOTH_SCRATCH_PER_THREAD = 128 };
#endif

#endif
