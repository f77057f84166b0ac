/* The toolbox's compiled helper, private to its functions (matlab/private):
 *   x = lantrelops('unit', I, threads)           I scaled to [0, 1]
 *   y = lantrelops('luma', I, threads)           Rec. 709 luma (or the grey plane)
 *   w = lantrelops('weights', I, sigma, threads) edge weights
 *   d = lantrelops('directions', I, turn, threads)
 *   t = lantrelops('table')                      80 x 722 straight paths
 *   s = lantrelops('noise', I, threads)
 *   J = lantrelops('smooth', WHO, I, W, pilotSigma, pilotLambda, sigma, lambda, iterations, attenuation, threads)
 *   [NC, TV] = lantrelops('variation', WHO, I, turn, D, T, halfLength, threads)
 * 'smooth' and 'variation' run lantrelSmooth's and ostraveVariation's
 * whole road (W, D, T: [] for the computed ones); WHO names the function
 * in the errors a long call may end with (out of memory, Ctrl-C).
 * I of class double, single, uint8, uint16, int16 or logical, read where it
 * lies. The .m helpers check their arguments and name them in their own
 * errors; the checks here only keep a direct call from reading out of
 * bounds. Errors are raised from mexFunction's frame with nothing held. */
#include "imagemaths.h"
#include "pipelines.h"

#include "opsapi.h"
#include "../host/hostargs.h"
#include "../host/interrupt.h"
#include "../common/split.h"
#include "../pathvariation/pathwalk.h"
#include "../smoothing/schedule.h"
#include "../pathvariation/table.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

/* More threads than this are never asked for. */
const double THREAD_LIMIT = 1 << 20;

bool sampleTypeOf(const mxArray *a, SampleType *type)
{
    if (mxIsComplex(a) || mxIsSparse(a))
        return false;
    switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: *type = SAMPLE_DOUBLE; return true;
    case mxSINGLE_CLASS: *type = SAMPLE_SINGLE; return true;
    case mxUINT8_CLASS: *type = SAMPLE_UINT8; return true;
    case mxUINT16_CLASS: *type = SAMPLE_UINT16; return true;
    case mxINT16_CLASS: *type = SAMPLE_INT16; return true;
    case mxLOGICAL_CLASS: *type = SAMPLE_LOGICAL; return sizeof(mxLogical) == 1;
    default: return false;
    }
}

/* The image argument as a view: rows, columns and every further dimension
 * as planes. */
bool imageArg(const mxArray *a, ImageView *view)
{
    SampleType type;
    if (!sampleTypeOf(a, &type))
        return false;
    const mwSize nd = mxGetNumberOfDimensions(a);
    const mwSize *dims = mxGetDimensions(a);
    ptrdiff_t planes = 1;
    for (mwSize k = 2; k < nd; ++k)
        planes *= static_cast<ptrdiff_t>(dims[k]);
    *view = unitView(mxGetData(a), type, static_cast<ptrdiff_t>(dims[0]), static_cast<ptrdiff_t>(dims[1]), planes);
    return true;
}

bool scalarArg(const mxArray *a, double *v)
{
    if (!mxIsDouble(a) || mxIsComplex(a) || mxGetNumberOfElements(a) != 1)
        return false;
    *v = mxGetScalar(a);
    return true;
}

/* A thread count from a scalar: whole and >= 0 (the helpers check it);
 * anything else picks the default. */
int threadsArg(int nrhs, const mxArray *prhs[], int k)
{
    double t;
    if (nrhs <= k || !scalarArg(prhs[k], &t) || !(t >= 0) || t > THREAD_LIMIT)
        return 0;
    return static_cast<int>(t);
}

/* The straight-path table, made once while the module stays loaded: its
 * 722 correctly rounded sines and cosines take longer than a small image's
 * whole walk. */
const double *straightTable()
{
    static double table[TABLE_SIZE];
    static bool made = false;
    if (!made) {
        straightPathTable(table);
        made = true;
    }
    return table;
}

/* A double matrix of rows x cols, or empty: *data null. */
bool optionalMatrix(const mxArray *a, mwSize rows, mwSize cols, const double **data)
{
    *data = nullptr;
    if (mxGetNumberOfElements(a) == 0)
        return true;
    if (!mxIsDouble(a) || mxIsComplex(a) || mxIsSparse(a) || mxGetNumberOfDimensions(a) != 2 ||
        mxGetDimensions(a)[0] != rows || mxGetDimensions(a)[1] != cols)
        return false;
    *data = mxGetPr(a);
    return true;
}

/* The errors a long call ends with, raised by mexFunction under the
 * caller's name once everything is released. */
struct LongCallError {
    char id[64];
    const char *text;
};

bool finish(KernelStatus status, const char *who, LongCallError *err)
{
    if (status == KERNEL_DONE)
        return true;
    const bool stopped = status == KERNEL_STOPPED;
    std::snprintf(err->id, sizeof err->id, "%s:%s", who, stopped ? "interrupted" : "outOfMemory");
    err->text = stopped ? "Interrupted (Ctrl-C); nothing was returned." : "Out of memory.";
    return false;
}

/* lantrelops('smooth', ...) */
const char *smoothOp(mxArray *plhs[], int nrhs, const mxArray *prhs[], const char *who, LongCallError *err)
{
    ImageView in;
    if (nrhs < 11 || !imageArg(prhs[2], &in))
        return "smooth needs the caller, an image and eight arguments";
    SmoothImageParams params;
    double v[6];
    for (int k = 0; k < 6; ++k)
        if (!scalarArg(prhs[4 + k], &v[k]))
            return "smooth needs scalar parameters";
    params.pilotSigma = v[0];
    params.pilotLambda = v[1];
    params.sigma = v[2];
    params.lambda = v[3];
    params.iterations = truncToInt(v[4]);
    params.attenuation = v[5];
    if (!optionalMatrix(prhs[3], static_cast<mwSize>(in.rows), static_cast<mwSize>(in.cols), &params.weights))
        return "the weights must be empty or a double matrix of the image's size";
    if (params.iterations < 0 || static_cast<long long>(in.rows) * in.cols > INT_MAX)
        return "smooth needs iterations >= 0 and at most 2^31 - 1 pixels per plane";
    static const mxClassID classes[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxUINT8_CLASS,
                                        mxUINT16_CLASS, mxINT16_CLASS,  mxLOGICAL_CLASS};
    plhs[0] = mxCreateNumericArray(mxGetNumberOfDimensions(prhs[2]), mxGetDimensions(prhs[2]),
                                   classes[smoothedType(in.type)], mxREAL);
    const long long pixels = static_cast<long long>(in.rows) * in.cols;
    HostInterrupt interrupt;
    Team team;
    teamStart(&team, teamSize(threadsArg(nrhs, prhs, 10), pixels, MIN_PIXELS_PER_THREAD));
    const KernelStatus status =
        smoothImage(in, params, mxGetData(plhs[0]), KernelRun{&team, KERNEL_PATH_AUTO, hostStopQuery(&interrupt)});
    teamStop(&team);
    if (!finish(status, who, err)) {
        mxDestroyArray(plhs[0]);
        plhs[0] = nullptr;
    }
    return nullptr;
}

/* lantrelops('variation', ...) */
const char *variationOp(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[], const char *who,
                        LongCallError *err)
{
    ImageView in;
    double turn, halfLength;
    if (nrhs < 7 || !imageArg(prhs[2], &in) || (in.planes != 1 && in.planes != 3))
        return "variation needs the caller, an image of 1 or 3 planes and four or five arguments";
    if (!scalarArg(prhs[3], &turn) || !std::isfinite(turn) || !scalarArg(prhs[6], &halfLength) ||
        !(halfLength >= 0 && halfLength <= MAX_HALF_LENGTH && halfLength == std::floor(halfLength)))
        return "variation needs a finite turn and a half-length from 0 to 79";
    const mwSize rows = static_cast<mwSize>(in.rows), cols = static_cast<mwSize>(in.cols);
    const double *directions, *given;
    if (!optionalMatrix(prhs[4], rows, cols, &directions) || !optionalMatrix(prhs[5], TABLE_STEPS, TABLE_COLUMNS, &given))
        return "the directions and the table must be empty or double matrices of their sizes";
    if (static_cast<long long>(in.rows) * in.cols > INT_MAX)
        return "variation takes at most 2^31 - 1 pixels";
    const size_t pixels = static_cast<size_t>(in.rows) * static_cast<size_t>(in.cols);
    for (size_t k = 0; directions && k < pixels; ++k)
        if (!(directions[k] >= 0 && directions[k] <= 360 && directions[k] == std::floor(directions[k])))
            return "the directions must be whole numbers from 0 to 360";
    /* The table as the module converts it. */
    int table[TABLE_SIZE];
    if (!given)
        given = straightTable();
    for (int p = 0; p < TABLE_STEPS; ++p)
        for (int q = 0; q < TABLE_COLUMNS; ++q)
            table[p * TABLE_COLUMNS + q] = truncToInt(given[p + TABLE_STEPS * q]);
    /* The host fills each output with zeros, which takes long on a large
     * image: asked after each. */
    const int outputs = nlhs > 1 ? 2 : 1;
    HostInterrupt interrupt;
    const StopQuery stop = hostStopQuery(&interrupt);
    if (outputs > 1)
        plhs[1] = nullptr;
    plhs[0] = mxCreateDoubleMatrix(rows, cols, mxREAL);
    KernelStatus status = stopAsked(stop) ? KERNEL_STOPPED : KERNEL_DONE;
    if (outputs > 1 && status == KERNEL_DONE) {
        plhs[1] = mxCreateDoubleMatrix(rows, cols, mxREAL);
        status = stopAsked(stop) ? KERNEL_STOPPED : KERNEL_DONE;
    }
    if (status == KERNEL_DONE) {
        Team team;
        teamStart(&team, teamSize(threadsArg(nrhs, prhs, 7), static_cast<long long>(pixels), MIN_WALK_PIXELS_PER_THREAD));
        status = imageVariation(in, turn, directions, table, static_cast<int>(halfLength), mxGetPr(plhs[0]),
                                outputs > 1 ? mxGetPr(plhs[1]) : nullptr, KernelRun{&team, KERNEL_PATH_AUTO, stop});
        teamStop(&team);
    }
    if (!finish(status, who, err)) {
        for (int k = 0; k < outputs; ++k)
            if (plhs[k]) {
                mxDestroyArray(plhs[k]);
                plhs[k] = nullptr;
            }
    }
    return nullptr;
}

} // namespace

/* What went wrong, for the one mexErrMsgIdAndTxt at the end. */
static const char *run(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[], LongCallError *err)
{
    char op[16] = "";
    if (nrhs < 1 || !mxIsChar(prhs[0]) || mxGetString(prhs[0], op, sizeof op) != 0)
        return "the first argument must name an operation";
    if (std::strcmp(op, "smooth") == 0 || std::strcmp(op, "variation") == 0) {
        char who[32] = "";
        if (nrhs < 2 || !mxIsChar(prhs[1]) || mxGetString(prhs[1], who, sizeof who) != 0)
            return "the second argument must name the caller";
        return op[0] == 's' ? smoothOp(plhs, nrhs, prhs, who, err) : variationOp(nlhs, plhs, nrhs, prhs, who, err);
    }
    if (std::strcmp(op, "table") == 0) {
        plhs[0] = mxCreateDoubleMatrix(PATH_TABLE_STEPS, 2 * PATH_TABLE_DIRECTIONS, mxREAL);
        std::memcpy(mxGetPr(plhs[0]), straightTable(), sizeof(double) * TABLE_SIZE);
        return nullptr;
    }
    ImageView in;
    if (nrhs < 2 || !imageArg(prhs[1], &in))
        return "the image must be a real, full array of class double, single, uint8, uint16, int16 or logical";
    const mwSize rows = static_cast<mwSize>(in.rows), cols = static_cast<mwSize>(in.cols);
    if (std::strcmp(op, "unit") == 0) {
        plhs[0] = mxCreateNumericArray(mxGetNumberOfDimensions(prhs[1]), mxGetDimensions(prhs[1]), mxDOUBLE_CLASS,
                                       mxREAL);
        toUnit(in, mxGetPr(plhs[0]), threadsArg(nrhs, prhs, 2));
    } else if (std::strcmp(op, "luma") == 0) {
        if (in.planes != 1 && in.planes != 3)
            return "luma needs 1 or 3 planes";
        plhs[0] = mxCreateDoubleMatrix(rows, cols, mxREAL);
        lumaOf(in, mxGetPr(plhs[0]), threadsArg(nrhs, prhs, 2));
    } else if (std::strcmp(op, "weights") == 0) {
        double sigma;
        if (nrhs < 3 || !scalarArg(prhs[2], &sigma))
            return "the weights need a scalar sigma";
        plhs[0] = mxCreateDoubleMatrix(rows, cols, mxREAL);
        edgeWeights(in, sigma, mxGetPr(plhs[0]), threadsArg(nrhs, prhs, 3));
    } else if (std::strcmp(op, "directions") == 0) {
        double turn;
        if (nrhs < 3 || !scalarArg(prhs[2], &turn) || !std::isfinite(turn))
            return "the directions need a finite scalar turn";
        if (in.planes != 1 && in.planes != 3)
            return "directions need 1 or 3 planes";
        plhs[0] = mxCreateDoubleMatrix(rows, cols, mxREAL);
        if (!gradientDirections(in, turn, mxGetPr(plhs[0]), threadsArg(nrhs, prhs, 3))) {
            mxDestroyArray(plhs[0]);
            plhs[0] = nullptr;
            return "out of memory";
        }
    } else if (std::strcmp(op, "noise") == 0) {
        double s;
        if (!noiseEstimate(in, &s, threadsArg(nrhs, prhs, 2)))
            return "out of memory";
        plhs[0] = mxCreateDoubleScalar(s);
    } else {
        return "unknown operation";
    }
    return nullptr;
}

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    LongCallError err;
    err.text = nullptr;
    const char *problem = run(nlhs, plhs, nrhs, prhs, &err);
    if (problem)
        mexErrMsgIdAndTxt("lantrelops:badArgument", "%s.", problem);
    if (err.text)
        mexErrMsgIdAndTxt(err.id, "%s", err.text);
}
