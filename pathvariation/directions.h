/* The path-variation module's named components: its per-call state and
 * walkDirections, which hands that state to the kernel (pathwalk.h). */
#ifndef DIRECTIONS_H
#define DIRECTIONS_H

#include "pathwalk.h"

/* Set by the caller before every walk; calls must not overlap.
 * pathRows * pathCols must fit a 32-bit int. */
extern int pathRows;
extern int pathCols;
/* Row-major: step p, column q at p * TABLE_COLUMNS + q (see walkPaths). */
extern int directionTable[TABLE_SIZE];
/* Row-major pathRows x pathCols outputs, every element written by a walk. */
extern double *netChange;
extern double *totalVariation;

/* How the next walks run: the call's team, the code path and the host's
 * stop query, set by the entry point for its call. */
extern KernelRun pathRun;

/* Walks every pixel of the row-major pathRows x pathCols image with
 * directionTable, into netChange and totalVariation, run as pathRun says
 * (see walkPaths for the statuses). */
KernelStatus walkDirections(const double *image, const int *directionMap, int halfLength);

#endif
