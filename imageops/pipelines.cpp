#include "pipelines.h"

#include "exactmath.h"

#include "../common/pages.h"
#include "../common/split.h"
#include "../host/layout.h"
#include "../pathvariation/pathwalk.h"
#include "../smoothing/schedule.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

/* Working planes: fresh pages a call touches once, so huge ones where the
 * system gives them. */
double *planeBuffer(size_t count)
{
    double *p = static_cast<double *>(std::malloc(count * sizeof(double)));
    adviseHugePages(p, count * sizeof(double));
    return p;
}

/* The view's plane p, element (i, j) to dst[i * n + j], read as imagemaths
 * reads it (the same (x + offset) / scale). */
struct PlaneReader {
    const ImageView *in;
    ptrdiff_t p;
    template <class T> void rows(double *dst, int i0, int i1) const
    {
        const T *src = static_cast<const T *>(in->data) + p * in->planeStride;
        const int n = static_cast<int>(in->cols);
        const bool shift = in->offset != 0.0, divide = in->scale != 1.0;
        for (int b0 = i0; b0 < i1; b0 += LAYOUT_TILE) {
            const int b1 = b0 + LAYOUT_TILE < i1 ? b0 + LAYOUT_TILE : i1;
            for (int j0 = 0; j0 < n; j0 += LAYOUT_TILE) {
                const int j1 = j0 + LAYOUT_TILE < n ? j0 + LAYOUT_TILE : n;
                for (int j = j0; j < j1; ++j)
                    for (int i = b0; i < b1; ++i) {
                        double v = static_cast<double>(src[i * in->rowStride + j * in->colStride]);
                        if (shift)
                            v = v + in->offset;
                        if (divide)
                            v = v / in->scale;
                        dst[static_cast<size_t>(i) * n + j] = v;
                    }
            }
        }
    }
};

bool readPlane(Team *team, const ImageView &in, ptrdiff_t p, double *dst, const StopQuery &stop)
{
    const PlaneReader r{&in, p};
    const int m = static_cast<int>(in.rows), n = static_cast<int>(in.cols);
    return copyInBands(team, m, n, stop, [&](int i0, int i1) {
        switch (in.type) {
        case SAMPLE_DOUBLE: r.rows<double>(dst, i0, i1); break;
        case SAMPLE_SINGLE: r.rows<float>(dst, i0, i1); break;
        case SAMPLE_UINT8: r.rows<uint8_t>(dst, i0, i1); break;
        case SAMPLE_UINT16: r.rows<uint16_t>(dst, i0, i1); break;
        case SAMPLE_INT16: r.rows<int16_t>(dst, i0, i1); break;
        case SAMPLE_LOGICAL: r.rows<uint8_t>(dst, i0, i1); break;
        }
    });
}

/* What the host's integer conversion gives: rounded half away from zero
 * (by our own rounding: not every C library rounds 0.49999999999999994 to
 * 0), saturated, NaN to 0. */
template <class T> T saturated(double v, double lo, double hi)
{
    if (std::isnan(v))
        return T(0);
    if (v <= lo)
        return static_cast<T>(lo);
    if (v >= hi)
        return static_cast<T>(hi);
    return static_cast<T>(exactLround(v));
}

struct ToUint8 {
    uint8_t operator()(double v) const { return saturated<uint8_t>(v * 255, 0, 255); }
};
struct ToUint16 {
    uint16_t operator()(double v) const { return saturated<uint16_t>(v * 65535, 0, 65535); }
};
struct ToInt16 {
    int16_t operator()(double v) const { return saturated<int16_t>(v * 65535 - 32768, -32768, 32767); }
};
struct ToSingle {
    float operator()(double v) const { return static_cast<float>(v); }
};
struct ToDouble {
    double operator()(double v) const { return v; }
};

/* The row-major plane src into plane p of the column-major m x n x planes
 * output, converted. */
template <class T, class Convert>
bool writePlane(Team *team, const double *src, void *out, ptrdiff_t p, int m, int n, Convert convert,
                const StopQuery &stop)
{
    T *dst = static_cast<T *>(out) + p * static_cast<ptrdiff_t>(m) * n;
    return copyInBands(team, m, n, stop,
                       [&](int i0, int i1) { copyRowsToColMajor(dst, src, m, n, i0, i1, convert); });
}

bool writeOut(Team *team, SampleType type, const double *src, void *out, ptrdiff_t p, int m, int n,
              const StopQuery &stop)
{
    switch (type) {
    case SAMPLE_UINT8: return writePlane<uint8_t>(team, src, out, p, m, n, ToUint8(), stop);
    case SAMPLE_UINT16: return writePlane<uint16_t>(team, src, out, p, m, n, ToUint16(), stop);
    case SAMPLE_INT16: return writePlane<int16_t>(team, src, out, p, m, n, ToInt16(), stop);
    case SAMPLE_SINGLE: return writePlane<float>(team, src, out, p, m, n, ToSingle(), stop);
    default: return writePlane<double>(team, src, out, p, m, n, ToDouble(), stop);
    }
}

/* A row-major double plane as a view. */
ImageView rowMajorView(const double *base, ptrdiff_t m, ptrdiff_t n)
{
    return ImageView{base, SAMPLE_DOUBLE, m, n, 1, n, 1, m * n, 0.0, 1.0};
}

/* Plane p of the image into `plane` (row-major), smoothed with `lambda`
 * under the row-major `weights`. */
KernelStatus smoothedPlane(const ImageView &in, ptrdiff_t p, double *plane, const double *weights, double lambda,
                           const SmoothImageParams &params, const KernelRun &run)
{
    const int m = static_cast<int>(in.rows), n = static_cast<int>(in.cols);
    if (!readPlane(run.team, in, p, plane, run.stop))
        return KERNEL_STOPPED;
    return smoothPlane(PlaneView{plane, m, n, n}, WeightView{weights, n}, WeightView{weights, n},
                       SmoothParams{lambda, params.iterations, params.attenuation}, run);
}

int teamCount(const KernelRun &run)
{
    return run.team ? run.team->size : 1;
}

} // namespace

SampleType smoothedType(SampleType in)
{
    return in == SAMPLE_LOGICAL ? SAMPLE_DOUBLE : in;
}

KernelStatus smoothImage(const ImageView &in, const SmoothImageParams &params, void *out, const KernelRun &run)
{
    const int m = static_cast<int>(in.rows), n = static_cast<int>(in.cols);
    const size_t pixels = static_cast<size_t>(m) * n;
    if (pixels == 0)
        return KERNEL_DONE;
    const int threads = teamCount(run);
    const bool pilot = !params.weights && params.pilotSigma > 0;
    /* plane: the plane being smoothed; weights: the final pass's (row-major);
     * spare: the pilot's weights, then the steps of its result. */
    double *plane = planeBuffer(pixels), *weights = planeBuffer(pixels), *spare = pilot ? planeBuffer(pixels) : nullptr;
    KernelStatus status = !plane || !weights || (pilot && !spare) ? KERNEL_NO_MEMORY : KERNEL_DONE;
    const StopQuery &stop = run.stop;
    if (status == KERNEL_DONE && params.weights) {
        if (!copyToRowMajor(run.team, weights, params.weights, m, n, stop))
            status = KERNEL_STOPPED;
    } else if (status == KERNEL_DONE && pilot) {
        /* The image's weights column-major first (its samples lie so), then
         * row-major for the solver. */
        edgeWeights(in, params.pilotSigma, weights, threads);
        if (!copyToRowMajor(run.team, spare, weights, m, n, stop))
            status = KERNEL_STOPPED;
        for (ptrdiff_t p = 0; status == KERNEL_DONE && p < in.planes; ++p) {
            status = smoothedPlane(in, p, plane, spare, params.pilotLambda, params, run);
            if (status == KERNEL_DONE)
                edgeGradients(rowMajorView(plane, m, n), weights, n, 1, p > 0, threads);
        }
        if (status == KERNEL_DONE)
            weightsOfGradients(weights, static_cast<ptrdiff_t>(pixels), params.sigma, threads);
    } else if (status == KERNEL_DONE) {
        edgeGradients(in, weights, n, 1, false, threads);
        weightsOfGradients(weights, static_cast<ptrdiff_t>(pixels), params.sigma, threads);
    }
    std::free(spare);
    const SampleType type = smoothedType(in.type);
    for (ptrdiff_t p = 0; status == KERNEL_DONE && p < in.planes; ++p) {
        status = smoothedPlane(in, p, plane, weights, params.lambda, params, run);
        if (status == KERNEL_DONE && !writeOut(run.team, type, plane, out, p, m, n, stop))
            status = KERNEL_STOPPED;
    }
    std::free(plane);
    std::free(weights);
    return status;
}

KernelStatus imageVariation(const ImageView &in, double turn, const double *directions, const int *table,
                            int halfLength, double *net, double *total, const KernelRun &run)
{
    const int m = static_cast<int>(in.rows), n = static_cast<int>(in.cols);
    const size_t pixels = static_cast<size_t>(m) * n;
    if (pixels == 0)
        return KERNEL_DONE;
    const int threads = teamCount(run);
    const StopQuery &stop = run.stop;
    /* The luma and the directions straight into the walk's row-major
     * layout. */
    double *image = planeBuffer(pixels), *netRows = planeBuffer(pixels), *totalRows = planeBuffer(pixels);
    int *map = static_cast<int *>(std::malloc(pixels * sizeof(int)));
    adviseHugePages(map, pixels * sizeof(int));
    KernelStatus status = !image || !netRows || !totalRows || !map ? KERNEL_NO_MEMORY : KERNEL_DONE;
    /* In bands of rows, asking the stop query before each. */
    const int band = layoutBandRows(n);
    for (int i0 = 0; status == KERNEL_DONE && i0 < m; i0 += band) {
        const int i1 = i0 + band < m ? i0 + band : m;
        ImageView rows = in;
        rows.data = static_cast<const char *>(in.data) + i0 * in.rowStride * sampleBytes(in.type);
        rows.rows = i1 - i0;
        if (stopAsked(stop))
            status = KERNEL_STOPPED;
        else
            lumaRows(rows, image + static_cast<size_t>(i0) * n, threads);
    }
    for (int i0 = 0; status == KERNEL_DONE && !directions && i0 < m; i0 += band) {
        if (stopAsked(stop))
            status = KERNEL_STOPPED;
        else
            gradientDirectionRows(image, m, n, turn, i0, i0 + band < m ? i0 + band : m, map, threads);
    }
    if (status == KERNEL_DONE && directions) {
        /* Whole numbers 0..360: the cast is exact. */
        if (!copyToRowMajor(run.team, map, directions, m, n, [](double v) { return static_cast<int>(v); }, stop))
            status = KERNEL_STOPPED;
    }
    if (status == KERNEL_DONE && stopAsked(stop))
        status = KERNEL_STOPPED;
    if (status == KERNEL_DONE)
        status = walkPaths(PathView{image, n, map, n, m, n}, table, halfLength, PathOutputs{netRows, totalRows, n}, run);
    if (status == KERNEL_DONE && (!copyToColMajor(run.team, net, netRows, m, n, stop) ||
                                  (total && !copyToColMajor(run.team, total, totalRows, m, n, stop))))
        status = KERNEL_STOPPED;
    std::free(image);
    std::free(map);
    std::free(netRows);
    std::free(totalRows);
    return status;
}
