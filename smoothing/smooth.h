/* The smoother's kernel, called with everything it works on. No host calls
 * and no module-level state: smoothSeparable (solver.h) is the adapter that
 * hands it what the module's variables hold. */
#ifndef SMOOTH_H
#define SMOOTH_H

#include <cstddef>

struct Team;

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
 * v (i, j) with (i+1, j) in the column pass. threads: 0 picks one per core
 * (fewer for small images), n > 0 at most n; path: a KernelPath
 * (common/dispatch.h). The result never depends on either. team: a team
 * started by the caller (common/split.h) to work on, or null for one of
 * `threads` of its own. audit: null, or the check to use and the count it
 * gets back. Returns false, with the image untouched, only if its scratch
 * cannot be allocated. */
bool smoothPlane(PlaneView image, WeightView h, WeightView v, SmoothParams params, int threads, int path,
                 Team *team = nullptr, SmoothNanAudit *audit = nullptr);

/* The scratch smoothPlane allocates for a team of `team` under the build's
 * own NaN check, in doubles: SMOOTH_SCRATCH_PER_THREAD x team x (rows +
 * cols) at most. Off x86 a strip keeps a copy of its input for the check. */
size_t smoothScratchDoubles(int rows, int cols, int team);
#if defined(__x86_64__) || defined(__i386__)
enum { SMOOTH_SCRATCH_PER_THREAD = 64 };
#else
enum { SMOOTH_SCRATCH_PER_THREAD = 128 };
#endif

/* The team smoothPlane takes for a plane of `pixels` when asked for `threads`. */
int smoothTeam(int threads, long long pixels);

#endif
