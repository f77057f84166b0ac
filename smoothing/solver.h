/* The separable weighted least-squares smoother. No host calls: it works on
 * the working image store alone. */
#ifndef SOLVER_H
#define SOLVER_H

/* Smooths the single-plane image in `store` (rows x cols, the module-level
 * dimensions) in place. Each of `iterations` rounds solves every row, then
 * every column, exactly: (I + s*A) u = f with A the line's weighted
 * second-difference matrix, s = lambda/2 in the first round and divided by
 * `attenuation` after each. hweights couples (i, j) with (i, j+1) in the row
 * pass, vweights (i, j) with (i+1, j) in the column pass; both are row-major
 * rows*cols. Returns false, with the image untouched, only if its scratch
 * memory cannot be allocated. */
bool smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                     int iterations, double attenuation);


/* Worker threads for the next smoothSeparable calls: 0 picks one per core
 * (fewer for small images), n > 0 exactly n (at most MAX_THREADS). A thread
 * that cannot be started leaves its share to the others. The result never
 * depends on the count. */
extern int solverThreads;

/* Which code path solves: AUTO takes AVX2 where the CPU has it, SSE2 forces
 * the baseline. Both give the same bits. */
enum { SOLVER_PATH_AUTO = 0, SOLVER_PATH_SSE2 = 1 };
extern int solverPath;

enum { MAX_THREADS = 64, MAX_DEFAULT_THREADS = 16, MIN_PIXELS_PER_THREAD = 65536 };

bool solverAvx2Available();

/* Only NaN results (sign and payload) can differ between builds: where the
 * kernels cannot keep x86's NaN bits (solverKeepsNanBits() false: the
 * operand order of a product is left to the compiler there), a plane whose
 * result holds a NaN is solved again by smoothSeparableExact, one line at a
 * time with x86's rules spelt out. Same arguments and result as
 * smoothSeparable; false only if its line buffer cannot be allocated. */
bool solverKeepsNanBits();
bool smoothSeparableExact(double ***store, const double *hweights, const double *vweights, double lambda,
                          int iterations, double attenuation);
int solverDefaultThreads();

#endif
