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

#endif
