/* The path-variation module's named components: its per-call state and
 * walkDirections, which hands that state to the kernel (pathwalk.h). */
#ifndef WALK_H
#define WALK_H

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

/* Threads and code path for the next walks (walkPaths' threads and path). */
extern int pathThreads;
extern int walkPath;
/* The call's team, when the entry point has started one (null: each walk
 * starts its own). */
extern Team *pathTeam;

/* Walks every pixel of the row-major pathRows x pathCols image with
 * directionTable, into netChange and totalVariation (see walkPaths). */
bool walkDirections(const double *image, const int *directionMap, int halfLength);

#endif
