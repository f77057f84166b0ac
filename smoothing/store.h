/* The smoothing module's working image store and its per-call dimensions. */
#ifndef STORE_H
#define STORE_H

#include "../common/run.h"

/* Set by the entry point at the start of every call, before anything reads
 * them: rows and cols by the solver (smoothSeparable), planes by the entry
 * point's loop, which takes the planes through a one-plane store in turn.
 * Calls into the module must not overlap. */
extern int rows;
extern int cols;
extern int planes;

/* Doubles the store's block holds beyond rows*cols*planes. */
enum { STORE_SPARE = 10 };

/* One block of rows*cols*planes (+STORE_SPARE) doubles, a pixel table and a row
 * table: store[i][j] points at pixel (i, j), store[i][j][p] is its value in
 * plane p. Returns null, holding nothing, if the element count exceeds the
 * 32-bit limit, an allocation fails, or `stop` says yes while the pixel
 * table is filled (a large table takes a page fault per 512 entries, over a
 * second at 8000 x 8000 on some machines). Empty images get a valid store
 * with no pixels, which memFreeDouble releases like any other. */
double ***memAllocDouble(int rows, int cols, int planes, const StopQuery &stop = StopQuery{nullptr, nullptr});

/* Frees the block, the pixel table and the row table, in that order. */
void memFreeDouble(double ***store);

#endif
