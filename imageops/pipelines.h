/* The toolbox's two default roads in one call each: what lantrelSmooth and
 * ostraveVariation would get from the image operations and the modules'
 * kernels called one after another, bit for bit, without handing the host
 * an array at every step (the host copies each array a module returns,
 * which costs more than the smoothing's own copies). No host calls; the
 * caller's team shares the work and its stop query is asked between the
 * steps and inside the kernels. */
#ifndef PIPELINES_H
#define PIPELINES_H

#include "imagemaths.h"

#include "../common/run.h"

/* The smoothing's weights and passes. weights: a given map, column-major
 * rows x cols (finite, >= 0), or null. Without it, pilotSigma > 0 asks for
 * a pilot: the image smoothed with pilotLambda under the weights of the
 * image at pilotSigma, whose own weights at sigma then serve; pilotSigma 0
 * takes the weights of the image at sigma. */
struct SmoothImageParams {
    const double *weights;
    double pilotSigma, pilotLambda;
    double sigma, lambda;
    int iterations;
    double attenuation;
};

/* The class a smoothed image comes back in: that of the image, but double
 * for logical ones. */
SampleType smoothedType(SampleType in);

/* out: rows x cols x planes of smoothedType(in.type), column-major, the
 * smoothed image converted as the host converts [0, 1] values to the class
 * (uint8(v * 255) and so on: rounded half away from zero, saturated, NaN to
 * 0). KERNEL_NO_MEMORY with nothing written; KERNEL_STOPPED with out part-way. */
KernelStatus smoothImage(const ImageView &in, const SmoothImageParams &params, void *out, const KernelRun &run);

/* The path variation of the image's luma: directions of the luma's gradient
 * turned by `turn` degrees, or `directions` (column-major, whole numbers
 * 0..360) where given; table: the 80 x 722 table as int offsets (step p,
 * column q at p * 722 + q). net and total (total may be null): rows x cols,
 * column-major. in has 1 or 3 planes. */
KernelStatus imageVariation(const ImageView &in, double turn, const double *directions, const int *table,
                            int halfLength, double *net, double *total, const KernelRun &run);

#endif
