/* The smoother's named components: smoothSeparable works on the working
 * image store with the module-level dimensions, as the entry point calls
 * it, and hands them to the kernel (smooth.h). */
#ifndef SOLVER_H
#define SOLVER_H

#include "smooth.h"

/* Smooths the single-plane image in `store` (rows x cols, the module-level
 * dimensions) in place; hweights and vweights are row-major rows*cols. See
 * smoothPlane for the rounds. Returns false, with the image untouched, only
 * if its scratch memory cannot be allocated. */
bool smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                     int iterations, double attenuation);

/* Worker threads for the next smoothSeparable calls (smoothPlane's
 * `threads`), and the code path (a KernelPath). */
extern int solverThreads;
extern int solverPath;
/* The call's team, when the entry point has started one for all its planes
 * (null: each smoothSeparable starts its own). */
extern Team *solverTeam;

#endif
