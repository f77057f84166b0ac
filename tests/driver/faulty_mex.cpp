/* A module that misbehaves on request, so the tests can see module_driver
 * notice each kind of fault. Input 1 selects the misdeed. */
#include "../../host/mexapi.h"

extern "C" MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    const int room = nlhs > 1 ? nlhs : 1;
    const int mode = nrhs > 0 ? static_cast<int>(mxGetScalar(prhs[0])) : 0;
    switch (mode) {
    case 1: /* writes into its input */
        mxGetPr(prhs[0])[0] = -1.0;
        plhs[0] = mxDuplicateArray(prhs[0]);
        break;
    case 2: /* hands its input back */
        plhs[0] = const_cast<mxArray *>(prhs[0]);
        break;
    case 3: /* returns nothing */
        break;
    case 4: /* makes an array it neither returns nor destroys */
        mxCreateDoubleMatrix(2, 2, mxREAL);
        plhs[0] = mxDuplicateArray(prhs[0]);
        break;
    case 5: /* fills one slot more than it was given */
        for (int k = 0; k <= room; ++k)
            plhs[k] = mxDuplicateArray(prhs[0]);
        break;
    case 6:
        mexErrMsgIdAndTxt("Faulty:raised", "Raised without cause.");
        break;
    default:
        plhs[0] = mxDuplicateArray(prhs[0]);
        break;
    }
}
