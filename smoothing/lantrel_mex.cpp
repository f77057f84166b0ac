/* Entry point of the smoothing module:
 *   out = Lantrel(image, ~, weights, ~, lambda, iterations, attenuation [, threads])
 * Every check runs before anything is allocated, and an error is raised only
 * from mexFunction's own frame once everything has been released, so a host
 * that abandons the call by longjmp loses nothing. */
#include "../host/hostargs.h"
#include "../host/interrupt.h"
#include "../host/layout.h"
#include "lantrel_errors.h"
#include "solver.h"
#include "store.h"

#include <climits>
#include <cstddef>

static bool checkArgs(int nlhs, int nrhs, const mxArray *prhs[], HostError *err)
{
    if (nlhs > LANTREL_OUTPUTS) {
        lantrelNargout(err, nlhs);
        return false;
    }
    if (nrhs < LANTREL_INPUTS) {
        lantrelNargin(err);
        return false;
    }
    const char *badArray = !isRealDouble(prhs[0])   ? "image (argument 1)"
                           : !isRealDouble(prhs[2]) ? "weight map (argument 3)"
                                                    : nullptr;
    if (badArray) {
        lantrelBadClass(err, badArray);
        return false;
    }
    static const char *const scalars[3] = {"strength lambda (argument 5)", "iteration count (argument 6)",
                                           "attenuation (argument 7)"};
    for (int k = 0; k < 3; ++k) {
        if (!isRealScalar(prhs[4 + k])) {
            lantrelBadScalar(err, scalars[k]);
            return false;
        }
    }
    if (nrhs >= LANTREL_THREADS_ARG && !isThreadCount(prhs[LANTREL_THREADS_ARG - 1])) {
        lantrelBadThreads(err);
        return false;
    }
    return true;
}

static void runLantrel(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[], HostError *err)
{
    if (!checkArgs(nlhs, nrhs, prhs, err))
        return;
    const mxArray *image = prhs[0];
    const mxArray *weightMap = prhs[2];
    /* Empty images come back unchanged, whatever their dimensions. */
    if (mxGetNumberOfElements(image) == 0) {
        plhs[0] = mxDuplicateArray(image);
        return;
    }
    int m, n, c;
    if (!readDims(image, &m, &n, &c) || static_cast<long long>(m) * n * c + STORE_SPARE > INT_MAX) {
        lantrelOutOfMemory(err);
        return;
    }
    const size_t pixels = static_cast<size_t>(m) * static_cast<size_t>(n);
    if (mxGetNumberOfElements(weightMap) < pixels) {
        lantrelWeightSize(err, mxGetNumberOfElements(weightMap), m, n, pixels);
        return;
    }
    const double lambda = mxGetScalar(prhs[4]);
    const int iterations = truncToInt(mxGetScalar(prhs[5]));
    const double attenuation = mxGetScalar(prhs[6]);
    rows = m;
    cols = n;
    planes = c;
    const int threads = nrhs < LANTREL_THREADS_ARG ? 0 : threadCountOf(prhs[LANTREL_THREADS_ARG - 1], TEAM_MAX);

    /* The host's allocation comes first: if it fails the host abandons the
     * call while we hold nothing. */
    mxArray *out = mxDuplicateArray(image);
    /* Asked after each step that takes long on a large image (the
     * duplicate, the store's tables) and before each copy band and each
     * part of a solve. */
    HostInterrupt interrupt;
    const StopQuery stop = hostStopQuery(&interrupt);

    /* One plane at a time through a single-plane store, all planes sharing
     * the weight map. The row-major weights are kept in the output's last
     * plane, which is only written once its plane is solved: memory the host
     * has already touched, where a fresh buffer would cost a page fault per
     * page on every call. */
    double ***store = nullptr;
    KernelStatus status = KERNEL_STOPPED;
    if (!stopAsked(stop)) {
        store = memAllocDouble(m, n, 1, stop);
        status = stopAsked(stop) ? KERNEL_STOPPED : !store ? KERNEL_NO_MEMORY : KERNEL_DONE;
    }
    if (status == KERNEL_DONE) {
        /* One team for the copies and solves of every plane. */
        Team team;
        teamStart(&team, teamSize(threads, static_cast<long long>(pixels), MIN_PIXELS_PER_THREAD));
        solverRun = KernelRun{&team, KERNEL_PATH_AUTO, stop};
        double *result = mxGetPr(out);
        double *weights = result + static_cast<size_t>(planes - 1) * pixels;
        if (!copyToRowMajor(&team, weights, mxGetPr(weightMap), m, n, stop))
            status = KERNEL_STOPPED;
        const double *in = mxGetPr(image);
        for (int p = 0; status == KERNEL_DONE && p < planes; ++p) {
            if (!copyToRowMajor(&team, store[0][0], in + p * pixels, m, n, stop)) {
                status = KERNEL_STOPPED;
                break;
            }
            status = smoothSeparable(store, weights, weights, lambda, iterations, attenuation);
            if (status == KERNEL_DONE && !copyToColMajor(&team, result + p * pixels, store[0][0], m, n, stop))
                status = KERNEL_STOPPED;
        }
        solverRun = KernelRun{nullptr, KERNEL_PATH_AUTO, {nullptr, nullptr}};
        teamStop(&team);
    }
    memFreeDouble(store);
    if (status != KERNEL_DONE) {
        mxDestroyArray(out);
        if (status == KERNEL_STOPPED)
            lantrelInterrupted(err);
        else
            lantrelOutOfMemory(err);
        return;
    }
    plhs[0] = out;
}

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    HostError err;
    err.id = nullptr;
    runLantrel(nlhs, plhs, nrhs, prhs, &err);
    if (err.id)
        mexErrMsgIdAndTxt(err.id, "%s", err.text);
}
