/* Entry point of the path-variation module:
 *   [netChange, totalVariation] = Ostrave(image, directionMap, directionTable, halfLength [, threads])
 * Every check runs before anything is allocated, and an error is raised only
 * from mexFunction's own frame once everything has been released, so a host
 * that abandons the call by longjmp loses nothing. */
#include "../common/pages.h"
#include "../host/hostargs.h"
#include "../host/interrupt.h"
#include "../host/layout.h"
#include "ostrave_errors.h"
#include "directions.h"

#include <climits>
#include <cstddef>
#include <cstdlib>

static bool checkArgs(int nlhs, int nrhs, const mxArray *prhs[], HostError *err)
{
    if (nlhs > OSTRAVE_OUTPUTS) {
        ostraveNargout(err, nlhs);
        return false;
    }
    if (nrhs < OSTRAVE_INPUTS) {
        ostraveNargin(err, nrhs);
        return false;
    }
    const char *badArray = !isRealDouble(prhs[0])   ? "image (argument 1)"
                           : !isRealDouble(prhs[1]) ? "direction map (argument 2)"
                           : !isRealDouble(prhs[2]) ? "direction table (argument 3)"
                                                    : nullptr;
    if (badArray) {
        ostraveBadClass(err, badArray);
        return false;
    }
    if (!isRealScalar(prhs[3])) {
        ostraveBadScalar(err);
        return false;
    }
    if (nrhs >= OSTRAVE_THREADS_ARG && !isThreadCount(prhs[OSTRAVE_THREADS_ARG - 1])) {
        ostraveBadThreads(err);
        return false;
    }
    return true;
}

/* Image size, element counts and value ranges; M and N on success, and
 * the outputs' dimensions (those of an empty image may exceed an int). */
static bool checkInputs(const mxArray *prhs[], int *m, int *n, mwSize *outM, mwSize *outN, int *halfLength,
                        HostError *err)
{
    int c;
    if (emptyImage(prhs[0], outM, outN)) {
        *m = 0;
        *n = 0;
    } else if (!readDims(prhs[0], m, n, &c) || static_cast<long long>(*m) * *n > INT_MAX) {
        ostraveTooLarge(err);
        return false;
    } else {
        *outM = *m;
        *outN = *n;
    }
    const size_t pixels = static_cast<size_t>(*m) * static_cast<size_t>(*n);
    /* M x N x 0 holds no values although M*N is not zero. */
    if (mxGetNumberOfElements(prhs[0]) < pixels) {
        ostraveImageSize(err, mxGetNumberOfElements(prhs[0]), *m, *n, pixels);
        return false;
    }
    if (mxGetNumberOfElements(prhs[1]) < pixels) {
        ostraveMapSize(err, mxGetNumberOfElements(prhs[1]), *m, *n, pixels);
        return false;
    }
    if (mxGetNumberOfElements(prhs[2]) < static_cast<size_t>(TABLE_SIZE)) {
        ostraveTableSize(err, mxGetNumberOfElements(prhs[2]));
        return false;
    }
    const double a = mxGetScalar(prhs[3]);
    *halfLength = truncToInt(a);
    if (*halfLength < 0 || *halfLength > MAX_HALF_LENGTH) {
        ostraveHalfLength(err, a);
        return false;
    }
    /* Host order, so that the first bad index reported is the first one a
     * user would find. */
    const double *map = mxGetPr(prhs[1]);
    for (size_t k = 0; k < pixels; ++k) {
        const int d = truncToInt(map[k]);
        if (d < 0 || d >= DIRECTIONS) {
            ostraveBadDirection(err, map[k], k % *m + 1, k / *m + 1);
            return false;
        }
    }
    return true;
}

static void convertTable(const double *table)
{
    for (int p = 0; p < TABLE_STEPS; ++p)
        for (int q = 0; q < TABLE_COLUMNS; ++q)
            directionTable[p * TABLE_COLUMNS + q] = truncToInt(table[p + TABLE_STEPS * q]);
}

static void runOstrave(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[], HostError *err)
{
    int m, n, a;
    mwSize outM, outN;
    if (!checkArgs(nlhs, nrhs, prhs, err) || !checkInputs(prhs, &m, &n, &outM, &outN, &a, err))
        return;
    const bool both = nlhs >= 2;

    /* The host's allocations come first: if one fails the host abandons the
     * call while we hold nothing. */
    mxArray *netOut = mxCreateDoubleMatrix(outM, outN, mxREAL);
    const size_t pixels = static_cast<size_t>(m) * static_cast<size_t>(n);
    if (pixels == 0) {
        plhs[0] = netOut;
        if (both)
            plhs[1] = mxCreateDoubleMatrix(outM, outN, mxREAL);
        return;
    }
    /* Asked after each output the host fills (its zeros take long on a
     * large image) and before each copy band and each band of the walk. */
    HostInterrupt interrupt;
    const StopQuery stop = hostStopQuery(&interrupt);
    KernelStatus status = stopAsked(stop) ? KERNEL_STOPPED : KERNEL_DONE;
    mxArray *totalOut = both && status == KERNEL_DONE ? mxCreateDoubleMatrix(outM, outN, mxREAL) : nullptr;

    double *image = nullptr;
    int *directionMap = nullptr;
    if (status == KERNEL_DONE) {
        image = static_cast<double *>(malloc(pixels * sizeof(double)));
        directionMap = static_cast<int *>(malloc(pixels * sizeof(int)));
        netChange = static_cast<double *>(malloc(pixels * sizeof(double)));
        totalVariation = static_cast<double *>(malloc(pixels * sizeof(double)));
        adviseHugePages(image, pixels * sizeof(double));
        adviseHugePages(directionMap, pixels * sizeof(int));
        adviseHugePages(netChange, pixels * sizeof(double));
        adviseHugePages(totalVariation, pixels * sizeof(double));
        status = !(image && directionMap && netChange && totalVariation) ? KERNEL_NO_MEMORY
                 : stopAsked(stop)                                         ? KERNEL_STOPPED
                                                                           : KERNEL_DONE;
    }
    if (status == KERNEL_DONE) {
        const double *in = mxGetPr(prhs[0]);
        const double *map = mxGetPr(prhs[1]);
        const int threads = nrhs < OSTRAVE_THREADS_ARG ? 0 : threadCountOf(prhs[OSTRAVE_THREADS_ARG - 1], TEAM_MAX);
        /* One team for the copies and the walk. */
        Team team;
        teamStart(&team, teamSize(threads, static_cast<long long>(pixels), MIN_WALK_PIXELS_PER_THREAD));
        pathRun = KernelRun{&team, KERNEL_PATH_AUTO, stop};
        if (!copyToRowMajor(&team, image, in, m, n, stop) ||
            !copyToRowMajor(&team, directionMap, map, m, n, truncToInt, stop))
            status = KERNEL_STOPPED;
        if (status == KERNEL_DONE) {
            convertTable(mxGetPr(prhs[2]));
            pathRows = m;
            pathCols = n;
            status = walkDirections(image, directionMap, a);
        }
        if (status == KERNEL_DONE && (!copyToColMajor(&team, mxGetPr(netOut), netChange, m, n, stop) ||
                                      (both && !copyToColMajor(&team, mxGetPr(totalOut), totalVariation, m, n, stop))))
            status = KERNEL_STOPPED;
        pathRun = KernelRun{nullptr, KERNEL_PATH_AUTO, {nullptr, nullptr}};
        teamStop(&team);
    }
    free(image);
    free(directionMap);
    free(netChange);
    free(totalVariation);
    netChange = nullptr;
    totalVariation = nullptr;
    if (status != KERNEL_DONE) {
        mxDestroyArray(netOut);
        if (totalOut)
            mxDestroyArray(totalOut);
        if (status == KERNEL_STOPPED)
            ostraveInterrupted(err);
        else
            ostraveOutOfMemory(err, m, n);
        return;
    }
    plhs[0] = netOut;
    if (both)
        plhs[1] = totalOut;
}

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    HostError err;
    err.id = nullptr;
    runOstrave(nlhs, plhs, nrhs, prhs, &err);
    if (err.id)
        mexErrMsgIdAndTxt(err.id, "%s", err.text);
}
