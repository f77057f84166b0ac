/* Entry point of the smoothing module:
 *   out = Lantrel(image, ~, weights, ~, lambda, iterations, attenuation [, threads])
 * Every check runs before anything is allocated, and an error is raised only
 * from mexFunction's own frame once everything has been released, so a host
 * that abandons the call by longjmp loses nothing. */
#include "../host/hostargs.h"
#include "solver.h"
#include "store.h"

#include <cstddef>
#include <cstdlib>

static const char nargText[] = "Corvane must be called with 5 arguments. Please see Pemble for more details.";
static const char memoryText[] = "memAllocDouble: Memory is too huge.\n";

/* Column-major <-> row-major in square tiles, so that both sides are walked
 * a cache line at a time. */
enum { CONVERT_TILE = 32 };

static void copyPlaneIn(double *dst, const double *src, int m, int n)
{
    for (int i0 = 0; i0 < m; i0 += CONVERT_TILE) {
        int i1 = i0 + CONVERT_TILE < m ? i0 + CONVERT_TILE : m;
        for (int j0 = 0; j0 < n; j0 += CONVERT_TILE) {
            int j1 = j0 + CONVERT_TILE < n ? j0 + CONVERT_TILE : n;
            for (int i = i0; i < i1; ++i)
                for (int j = j0; j < j1; ++j)
                    dst[static_cast<size_t>(i) * n + j] = src[i + static_cast<size_t>(m) * j];
        }
    }
}

static void copyPlaneOut(double *dst, double ***store, int m, int n)
{
    const double *block = store[0][0]; /* single plane: pixel (i, j) at i*n + j */
    for (int j0 = 0; j0 < n; j0 += CONVERT_TILE) {
        int j1 = j0 + CONVERT_TILE < n ? j0 + CONVERT_TILE : n;
        for (int i0 = 0; i0 < m; i0 += CONVERT_TILE) {
            int i1 = i0 + CONVERT_TILE < m ? i0 + CONVERT_TILE : m;
            for (int j = j0; j < j1; ++j)
                for (int i = i0; i < i1; ++i)
                    dst[i + static_cast<size_t>(m) * j] = block[static_cast<size_t>(i) * n + j];
        }
    }
}

static bool checkArgs(int nrhs, const mxArray *prhs[], HostError *err)
{
    if (nrhs < 7) {
        setError(err, "Lantrel:nargin", "%s", nargText);
        return false;
    }
    const char *badArray = !isRealDouble(prhs[0])   ? "image (argument 1)"
                           : !isRealDouble(prhs[2]) ? "weight map (argument 3)"
                                                    : nullptr;
    if (badArray) {
        setError(err, "Lantrel:badClass", "The %s must be a real, full double array.", badArray);
        return false;
    }
    static const char *const scalars[3] = {"strength lambda (argument 5)", "iteration count (argument 6)",
                                           "attenuation (argument 7)"};
    for (int k = 0; k < 3; ++k) {
        if (!isRealScalar(prhs[4 + k])) {
            setError(err, "Lantrel:badScalar", "The %s must be a real numeric scalar.", scalars[k]);
            return false;
        }
    }
    if (nrhs >= 8) {
        double t = isRealScalar(prhs[7]) ? mxGetScalar(prhs[7]) : -1.0;
        if (!(t >= 0.0)) {
            setError(err, "Lantrel:badThreads",
                     "The thread count (argument 8) must be a real numeric scalar >= 0 (0 = one per core).");
            return false;
        }
    }
    return true;
}

/* Input 8, if given: 0 = one per core, otherwise that many (truncated, at
 * most MAX_THREADS). */
static int threadCount(int nrhs, const mxArray *prhs[])
{
    if (nrhs < 8)
        return 0;
    double t = mxGetScalar(prhs[7]);
    return t >= MAX_THREADS ? MAX_THREADS : static_cast<int>(t);
}

static void runLantrel(mxArray *plhs[], int nrhs, const mxArray *prhs[], HostError *err)
{
    if (!checkArgs(nrhs, prhs, err))
        return;
    const mxArray *image = prhs[0];
    const mxArray *weightMap = prhs[2];
    int m, n, c;
    if (!readDims(image, &m, &n, &c) || static_cast<long long>(m) * n * c + 10 > 2147483647LL) {
        setError(err, "Lantrel:outOfMemory", "%s", memoryText);
        return;
    }
    const size_t pixels = static_cast<size_t>(m) * static_cast<size_t>(n);
    /* An image with no planes has no pixels to weigh. */
    if (c > 0 && mxGetNumberOfElements(weightMap) < pixels) {
        setError(err, "Lantrel:weightSize",
                 "The weight map (argument 3) has %lu elements; the %d x %d image needs at least %lu.",
                 static_cast<unsigned long>(mxGetNumberOfElements(weightMap)), m, n,
                 static_cast<unsigned long>(pixels));
        return;
    }
    const double lambda = mxGetScalar(prhs[4]);
    const int iterations = truncToInt(mxGetScalar(prhs[5]));
    const double attenuation = mxGetScalar(prhs[6]);
    rows = m;
    cols = n;
    planes = c;
    solverThreads = threadCount(nrhs, prhs);

    /* The host's allocation comes first: if it fails the host abandons the
     * call while we hold nothing. */
    mxArray *out = mxDuplicateArray(image);
    if (pixels == 0 || c == 0) {
        plhs[0] = out;
        return;
    }

    /* One plane at a time through a single-plane store, all planes sharing
     * the weight map. */
    double ***store = memAllocDouble(m, n, 1);
    double *weights = static_cast<double *>(malloc(pixels * sizeof(double)));
    bool ok = store && weights;
    if (ok) {
        copyPlaneIn(weights, mxGetPr(weightMap), m, n);
        const double *in = mxGetPr(image);
        double *result = mxGetPr(out);
        for (int p = 0; ok && p < c; ++p) {
            copyPlaneIn(store[0][0], in + p * pixels, m, n);
            ok = smoothSeparable(store, weights, weights, lambda, iterations, attenuation);
            copyPlaneOut(result + p * pixels, store, m, n);
        }
    }
    memFreeDouble(store);
    free(weights);
    if (!ok) {
        mxDestroyArray(out);
        setError(err, "Lantrel:outOfMemory", "%s", memoryText);
        return;
    }
    plhs[0] = out;
}

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    HostError err;
    err.id = nullptr;
    runLantrel(plhs, nrhs, prhs, &err);
    if (err.id)
        mexErrMsgIdAndTxt(err.id, "%s", err.text);
}
