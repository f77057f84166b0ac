/* The path-variation kernel, called with everything it works on. No host
 * calls and no module-level state: walkDirections (walk.h) is the adapter
 * that hands it what the module's variables hold. */
#ifndef PATHWALK_H
#define PATHWALK_H

#include <cstddef>

struct Team;

enum {
    TABLE_STEPS = 80,     /* rows of the direction table: steps 0..79 */
    DIRECTIONS = 361,     /* direction indices 0..360 */
    TABLE_COLUMNS = 722,  /* column offsets of every direction, then row offsets */
    TABLE_SIZE = TABLE_STEPS * TABLE_COLUMNS,
    MAX_HALF_LENGTH = TABLE_STEPS - 1
};

enum { MIN_WALK_PIXELS_PER_THREAD = 32768, BANDS_PER_MEMBER = 16 };

/* A row-major image and its direction map (0..360), both rows x cols:
 * image element (i, j) at i * imageStride + j, map element at
 * i * mapStride + j; a stride of 0 means cols (rows adjacent). rows *
 * cols and rows * imageStride must fit a 32-bit int. */
struct PathView {
    const double *image;
    const int *directionMap;
    int rows;
    int cols;
    int imageStride;
    int mapStride;
};

/* For every pixel, walks the path of its direction over table steps
 * 0..halfLength (0..79) and writes the net change and the total variation
 * of the samples taken to net and total (row-major, rows x cols, rows
 * adjacent). table:
 * step p, column q at p * TABLE_COLUMNS + q; column d holds the column
 * offset of direction d, column DIRECTIONS + d its row offset; offsets of
 * any value are safe, nothing outside the image is ever read. threads: 0
 * picks one per core (fewer for small images), n > 0 at most n; path: a
 * KernelPath (common/dispatch.h). Results never depend on either. team: a
 * team started by the caller to work on, or null for one of its own.
 * Returns false, holding nothing, if its working memory cannot be had. */
bool walkPaths(PathView view, const int *table, int halfLength, double *net, double *total, int threads, int path,
               Team *team = nullptr);

/* The team walkPaths takes for `pixels` when asked for `threads`. */
int walkTeam(int threads, long long pixels);

#endif
