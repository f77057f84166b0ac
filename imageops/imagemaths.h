/* The image operations that turn pictures into the modules' inputs: scaling
 * to [0, 1] as im2double does, Rec. 709 luma, the edge weight map, gradient
 * directions and the straight-path table, and the noise estimate. One
 * definition for the command-line tools and for the toolbox's compiled
 * helper (matlab/private/lantrelops): no host calls here, every argument
 * explicit. Outputs are column-major planes of doubles (element (i, j) of
 * plane p at i + rows*j + rows*cols*p), the layout the modules take.
 *
 * Every value is computed in the order of operations of the toolbox's
 * former .m code, with exp, hypot, atan2, cos, sin and lround of
 * exactmath.h rather than the C library's, so every platform gives the same
 * bits. exp, hypot, cos and sin are correctly rounded: on Linux the results
 * are the former ones except where glibc's exp or hypot is not (up to 0.7%
 * of the weights of a photo, by up to about 120 ulps). */
#ifndef IMAGEMATHS_H
#define IMAGEMATHS_H

#include <cstddef>

enum SampleType { SAMPLE_DOUBLE, SAMPLE_SINGLE, SAMPLE_UINT8, SAMPLE_UINT16, SAMPLE_INT16, SAMPLE_LOGICAL };

/* Samples of any layout; strides in elements. A sample x reads as the value
 * (x + offset) / scale, an offset of 0 and a scale of 1 being skipped (so
 * doubles pass unchanged, -0 included). */
struct ImageView {
    const void *data;
    SampleType type;
    ptrdiff_t rows, cols, planes;
    ptrdiff_t rowStride, colStride, planeStride;
    double offset, scale;
};

/* A column-major array of `type` read as im2double reads it: uint8 / 255,
 * uint16 / 65535, (int16 + 32768) / 65535, single, double and logical as
 * they are. */
ImageView unitView(const void *data, SampleType type, ptrdiff_t rows, ptrdiff_t cols, ptrdiff_t planes);

/* Bytes of one sample. */
size_t sampleBytes(SampleType type);

/* Threads: `threads` > 0 is an upper bound, capped by the work and the
 * machine; 0 picks one per core as the modules do. */

/* out[rows*cols*planes]: the view's values. */
void toUnit(const ImageView &in, double *out, int threads);

/* out[rows*cols]: one plane as it is, three as 0.2126 R + 0.7152 G + 0.0722 B
 * of the stored values (no gamma undone). The view has 1 or 3 planes. */
void lumaOf(const ImageView &in, double *out, int threads);

/* out[rows*cols]: w(i,j) = exp(-g(i,j) / sigma), with g the largest, over
 * the planes, of hypot(I(i,j+1) - I(i,j), I(i+1,j) - I(i,j)) (a difference
 * past the last row or column counts 0; a NaN one never wins). Across an
 * edge g is large and w near 0, so the smoother keeps the edge. */
void edgeWeights(const ImageView &in, double sigma, double *out, int threads);

/* The two halves of edgeWeights. g(i, j) at g[i * gRowStride + j *
 * gColStride] becomes the largest step over the view's planes (and, with
 * `accumulate`, over its own value); then weightsOfGradients turns each of
 * count values g into exp(-g / sigma). */
void edgeGradients(const ImageView &in, double *g, ptrdiff_t gRowStride, ptrdiff_t gColStride, bool accumulate,
                   int threads);
void weightsOfGradients(double *g, ptrdiff_t count, double sigma, int threads);

/* Below this squared Sobel magnitude gx^2 + gy^2 (a magnitude of 1e-9 on
 * intensities in [0, 1]: far below a 16-bit image's smallest step, far
 * above rounding noise) a pixel's direction is 0. */
const double FLAT_GRADIENT_SQUARED = 1e-18;

/* out[rows*cols]: direction indices 0..359 in degrees of the luma's Sobel
 * gradient, atan2(gy, gx) with x along a row and y down the image, plus
 * `turn` degrees (90 follows the edge), rounded and taken modulo 360; 0
 * where gx^2 + gy^2 is below FLAT_GRADIENT_SQUARED or NaN, whatever `turn`
 * is. The border repeats its nearest pixels. Returns false when memory for
 * the luma runs out. */
bool gradientDirections(const ImageView &in, double turn, double *out, int threads);

/* The same two in the solvers' row-major layout (element (i, j) at
 * i * cols + j): the luma of a view, and the direction indices of rows
 * [first, last) of a luma plane f. */
void lumaRows(const ImageView &in, double *out, int threads);
void gradientDirectionRows(const double *f, ptrdiff_t rows, ptrdiff_t cols, double turn, ptrdiff_t first,
                           ptrdiff_t last, int *out, int threads);

/* The 80 x 722 table, column-major: for direction d (degrees, 0..360) and
 * step p = 0..79, column d holds round((p+1) cos d), the column offset, and
 * column 361 + d round((p+1) sin d), the row offset (rows grow downward). */
enum { PATH_TABLE_STEPS = 80, PATH_TABLE_DIRECTIONS = 361 };
void straightPathTable(double *out);

/* Standard deviation of an image's additive noise on [0, 1]: per plane,
 * the median of |Immerkaer's mask| over the interior pixels whose Sobel
 * |gx| + |gy| is at most its median, divided by 0.6745 * 6 (NaN where no
 * pixel is finite); the median over the planes. 0 below 3 x 3. Returns
 * false when memory runs out. */
bool noiseEstimate(const ImageView &in, double *sigma, int threads);

#endif
