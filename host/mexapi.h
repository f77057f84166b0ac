/* The host calls the modules make, and nothing more.
 *
 * Built for GNU Octave (MEXAPI_OCTAVE defined) this is Octave's own mex.h,
 * whose dimensions are 64-bit. Otherwise it declares the MATLAB array API
 * with 32-bit dimensions: three of its library symbols carry the suffix _700,
 * and the stand-in host in standin/ implements exactly these names. */
#ifndef MEXAPI_H
#define MEXAPI_H

#ifdef MEXAPI_OCTAVE
#include <mex.h>
#else

#include <stddef.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef int mwSize;
typedef int mwIndex;
typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

#define mxGetDimensions mxGetDimensions_700
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_700
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_700

/* libmx */
const mwSize *mxGetDimensions(const mxArray *a);
mwSize mxGetNumberOfDimensions(const mxArray *a);
double mxGetScalar(const mxArray *a);
double *mxGetPr(const mxArray *a);
mxArray *mxDuplicateArray(const mxArray *a);
mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
void mxDestroyArray(mxArray *a);
bool mxIsDouble(const mxArray *a);
bool mxIsNumeric(const mxArray *a);
bool mxIsComplex(const mxArray *a);
bool mxIsSparse(const mxArray *a);
size_t mxGetNumberOfElements(const mxArray *a);

/* libmex: both abandon the call and do not return */
void mexErrMsgTxt(const char *text);
void mexErrMsgIdAndTxt(const char *id, const char *fmt, ...);

#ifdef __cplusplus
}
#endif

#endif /* MEXAPI_OCTAVE */

/* Only mexFunction leaves a module. */
#if defined(_WIN32)
#define MEX_EXPORT __declspec(dllexport)
#else
#define MEX_EXPORT __attribute__((visibility("default")))
#endif

#endif /* MEXAPI_H */
