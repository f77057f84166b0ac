/* The toolbox's compiled helper, private to its functions (matlab/private):
 *   x = lantrelops('unit', I, threads)           I scaled to [0, 1]
 *   y = lantrelops('luma', I, threads)           Rec. 709 luma (or the grey plane)
 *   w = lantrelops('weights', I, sigma, threads) edge weights
 *   d = lantrelops('directions', I, turn, threads)
 *   t = lantrelops('table')                      80 x 722 straight paths
 *   s = lantrelops('noise', I)
 * I of class double, single, uint8, uint16, int16 or logical, read where it
 * lies. The .m helpers check their arguments and name them in their own
 * errors; the checks here only keep a direct call from reading out of
 * bounds. Errors are raised from mexFunction's frame with nothing held. */
#include "imagemaths.h"

#include "opsapi.h"

#include <cmath>
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

} // namespace

/* What went wrong, for the one mexErrMsgIdAndTxt at the end. */
static const char *run(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    char op[16] = "";
    if (nrhs < 1 || !mxIsChar(prhs[0]) || mxGetString(prhs[0], op, sizeof op) != 0)
        return "the first argument must name an operation";
    if (std::strcmp(op, "table") == 0) {
        plhs[0] = mxCreateDoubleMatrix(PATH_TABLE_STEPS, 2 * PATH_TABLE_DIRECTIONS, mxREAL);
        straightPathTable(mxGetPr(plhs[0]));
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
        if (!noiseEstimate(in, &s))
            return "out of memory";
        plhs[0] = mxCreateDoubleScalar(s);
    } else {
        return "unknown operation";
    }
    return nullptr;
}

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    const char *problem = run(nlhs, plhs, nrhs, prhs);
    if (problem)
        mexErrMsgIdAndTxt("lantrelops:badArgument", "%s.", problem);
}
