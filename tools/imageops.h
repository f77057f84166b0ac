/* The image maths of the command-line tools and the demo: turning pictures
 * into the modules' inputs (weight maps, direction maps, the direction
 * table) and their outputs back into pictures. The maths itself is that of
 * ../imageops/imagemaths.h, which the toolbox's helpers use too; here it is
 * applied to PNG samples and vectors. Images here are column-major
 * planes of doubles (element (i, j) of plane p at i + rows*j + rows*cols*p),
 * the layout the modules take. */
#ifndef IMAGEOPS_H
#define IMAGEOPS_H

#include "pngio.h"

#include <vector>

/* The colour planes of a PNG (alpha excluded) scaled to [0, 1]. */
std::vector<double> colourPlanes(const PngImage &img);

/* One grey plane in [0, 1]: grey as it is, colour as the Rec. 709 luma
 * 0.2126 R + 0.7152 G + 0.0722 B of the stored values. */
std::vector<double> lumaPlane(const PngImage &img);

/* Writes `planes` (values in [0, 1], clipped) into the colour samples of
 * `img`, rounding to its depth; its alpha channel, if any, is kept. */
void storeColourPlanes(const std::vector<double> &planes, PngImage *img);

/* A grey PNG of the given size and depth from one plane: value / fullScale
 * clipped to [0, 1]. */
PngImage greyImage(const std::vector<double> &plane, int rows, int cols, int depth, double fullScale);

/* Edge-stopping weights: w(i,j) = exp(-g(i,j) / sigma), with g the largest,
 * over the planes, of hypot(I(i,j+1) - I(i,j), I(i+1,j) - I(i,j)) (a
 * difference past the last row or column counts as 0). Across an edge g is
 * large and w near 0, so the smoother keeps the edge; in flat regions w is
 * near 1. */
std::vector<double> edgeWeights(const std::vector<double> &planes, int rows, int cols, int nplanes, double sigma);

/* Direction indices 0..359 in degrees of the grey plane's Sobel gradient,
 * turned by `turn` degrees (90 follows the edge); 0 where the gradient is
 * flat (see ../imageops/imagemaths.h). */
std::vector<double> gradientDirections(const std::vector<double> &grey, int rows, int cols, double turn);

/* The 80 x 722 direction table of straight lines, column-major as the
 * module takes it: for direction d (degrees) and step p = 0..79, column d
 * holds round((p+1) cos d), the column offset, and column 361 + d holds
 * round((p+1) sin d), the row offset (rows grow downward). Every offset of
 * step p is at most p+1 in magnitude. */
std::vector<double> straightLineTable();

/* The noise's standard deviation of column-major planes in [0, 1], as
 * lantrelSmooth reads it; 0 where a plane has no finite values. */
double planeNoise(const std::vector<double> &planes, int rows, int cols, int nplanes);

/* The largest finite value of a plane (0 if none is positive). */
double planeMax(const std::vector<double> &plane);

#endif
