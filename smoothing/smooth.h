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

/* Smooths `image` in place. Each of `iterations` rounds solves every row,
 * then every column, exactly: (I + s*A) u = f with A the line's weighted
 * second-difference matrix, s = lambda/2 in the first round and divided by
 * `attenuation` after each. h couples (i, j) with (i, j+1) in the row pass,
 * v (i, j) with (i+1, j) in the column pass. threads: 0 picks one per core
 * (fewer for small images), n > 0 at most n; path: a KernelPath
 * (common/dispatch.h). The result never depends on either. team: a team
 * started by the caller (common/split.h) to work on, or null for one of
 * `threads` of its own. Returns false, with the image untouched, only if
 * its scratch cannot be allocated. */
bool smoothPlane(PlaneView image, WeightView h, WeightView v, SmoothParams params, int threads, int path,
                 Team *team = nullptr);

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

/* The team smoothPlane takes for a plane of `pixels` when asked for `threads`. */
int smoothTeam(int threads, long long pixels);

#endif
