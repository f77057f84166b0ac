/* The smoother's named components: smoothSeparable works on the working
 * image store with the module-level dimensions, as the entry point calls
 * it, and hands them to the kernel (schedule.h). */
#ifndef SOLVER_H
#define SOLVER_H

#include "schedule.h"

/* Smooths the single-plane image in `store` (rows x cols, the module-level
 * dimensions) in place, run as solverRun says; hweights and vweights are
 * row-major rows*cols. See smoothPlane for the rounds and the statuses. */
KernelStatus smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                             int iterations, double attenuation);

/* How the next smoothSeparable calls run: the call's team, the code path
 * and the host's stop query, set by the entry point for its call. */
extern KernelRun solverRun;

#endif
