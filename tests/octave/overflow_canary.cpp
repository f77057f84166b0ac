/* Writes one element past the end of its output on purpose. Loaded into
 * octave-cli with the sanitizer runtimes preloaded, the call must be
 * reported: proof that the sanitized Octave run would see such a fault in
 * the real modules. */
#include "mexapi.h"

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    (void)nrhs;
    (void)prhs;
    plhs[0] = mxCreateDoubleMatrix(2, 3, mxREAL);
    double *volatile out = mxGetPr(plhs[0]);
    out[6] = 1.0;
}
