/* The path-variation kernel and its per-call state. */
#ifndef WALK_H
#define WALK_H

enum {
    TABLE_STEPS = 80,     /* rows of the direction table: steps 0..79 */
    DIRECTIONS = 361,     /* direction indices 0..360 */
    TABLE_COLUMNS = 722,  /* column offsets of every direction, then row offsets */
    TABLE_SIZE = TABLE_STEPS * TABLE_COLUMNS,
    MAX_HALF_LENGTH = TABLE_STEPS - 1
};

/* Set by the caller before every walk; calls must not overlap.
 * pathRows * pathCols must fit a 32-bit int. */
extern int pathRows;
extern int pathCols;
/* Row-major: step p, column q at p * TABLE_COLUMNS + q. Column d holds the
 * column offset of direction d, column DIRECTIONS + d its row offset. */
extern int directionTable[TABLE_SIZE];
/* Row-major pathRows x pathCols outputs, every element written by a walk. */
extern double *netChange;
extern double *totalVariation;

/* Threads for the next walks: 0 = one per core (fewer for small images),
 * n > 0 exactly n (at most MAX_WALK_THREADS). Results never depend on it. */
extern int pathThreads;
enum { MAX_WALK_THREADS = 64, MIN_WALK_PIXELS_PER_THREAD = 32768 };

/* Which interior walk the next walks take: WALK_PATH_AUTO the widest the
 * processor offers, WALK_PATH_SSE2 the baseline. Results never depend on it. */
enum { WALK_PATH_AUTO = 0, WALK_PATH_SSE2 = 1 };
extern int walkPath;
bool walkAvx2Available();

/* For every pixel of the row-major image, walks the path of its direction
 * (directionMap, 0..360) over table steps 0..halfLength (0..79) and writes
 * the net change and the total variation of the samples taken. Table
 * offsets of any value are safe: nothing outside the image is ever read.
 * Returns false, holding nothing, if its working memory cannot be had. */
bool walkDirections(const double *image, const int *directionMap, int halfLength);

#endif
