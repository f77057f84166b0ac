/* The host calls of the private helper: those of the modules (host/mexapi.h)
 * and the few more that reading images of every class takes. Against GNU
 * Octave this is its own mex.h; otherwise the MATLAB array API with 32-bit
 * dimensions, as host/mexapi.h declares it, with the names listed in
 * imageops/libmx_ops.def. */
#ifndef OPSAPI_H
#define OPSAPI_H

#include "../host/mexapi.h"

#ifndef MEXAPI_OCTAVE
extern "C" {

typedef enum {
    mxUNKNOWN_CLASS = 0, mxCELL_CLASS, mxSTRUCT_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS, mxVOID_CLASS,
    mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS, mxUINT8_CLASS, mxINT16_CLASS, mxUINT16_CLASS,
    mxINT32_CLASS, mxUINT32_CLASS, mxINT64_CLASS, mxUINT64_CLASS, mxFUNCTION_CLASS
} mxClassID;
typedef bool mxLogical;

#define mxCreateNumericArray mxCreateNumericArray_700
#define mxGetString mxGetString_700

mxClassID mxGetClassID(const mxArray *a);
void *mxGetData(const mxArray *a);
bool mxIsChar(const mxArray *a);
int mxGetString(const mxArray *a, char *buf, mwSize length);
mxArray *mxCreateNumericArray(mwSize ndim, const mwSize *dims, mxClassID cls, mxComplexity flag);
mxArray *mxCreateDoubleScalar(double v);
}
#endif

#endif
