/* The stand-in host: the array API of host/mexapi.h, and the further calls
 * of the toolbox's private helper (imageops/opsapi.h), over a plain array
 * type (int32 dimensions, column-major elements of the class's own type, as
 * MATLAB stores them), plus what a caller needs to make arrays, call a
 * module's mexFunction and see what happened.
 *
 * An error raised by a module abandons the call by longjmp, as a host that
 * runs no destructors in the module would; standinCall then reports it.
 * Every array is counted, so tests can see that nothing leaks. */
#ifndef STANDIN_H
#define STANDIN_H

#include "../host/mexapi.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(STANDIN_BUILD_MX)
#define STANDIN_MX_API __declspec(dllexport)
#elif defined(_WIN32) && defined(STANDIN_DLL)
#define STANDIN_MX_API __declspec(dllimport)
#else
#define STANDIN_MX_API
#endif
#if defined(_WIN32) && defined(STANDIN_BUILD_MEX)
#define STANDIN_MEX_API __declspec(dllexport)
#elif defined(_WIN32) && defined(STANDIN_DLL)
#define STANDIN_MEX_API __declspec(dllimport)
#else
#define STANDIN_MEX_API
#endif

enum StandinClass {
    STANDIN_DOUBLE,
    STANDIN_SINGLE,
    STANDIN_INT32,
    STANDIN_UINT8,
    STANDIN_LOGICAL,
    STANDIN_CHAR, /* 16-bit code units */
    STANDIN_CELL, /* no elements a module may read */
    STANDIN_INT8,
    STANDIN_UINT16,
    STANDIN_INT16,
    STANDIN_UINT32,
    STANDIN_INT64,
    STANDIN_UINT64,
    STANDIN_CLASSES
};

/* STANDIN_NODATA: declared dimensions and no data (mxGetPr gives null), for
 * images too large to allocate that a module must reject unread. */
enum { STANDIN_COMPLEX = 1, STANDIN_SPARSE = 2, STANDIN_NODATA = 4 };
enum { STANDIN_MAX_DIMS = 8 };

typedef void (*MexFunction)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

/* libmx side: arrays and accounting. */
STANDIN_MX_API mxArray *standinCreateArray(int classId, int ndim, const int *dims, int flags);
STANDIN_MX_API mxArray *standinCreateMatrix(int m, int n); /* real double, zero-filled */
STANDIN_MX_API mxArray *standinCreateScalar(double v);
STANDIN_MX_API void standinDestroy(mxArray *a);
/* Bytes per element of a class (0 for an unknown one). */
STANDIN_MX_API size_t standinElementSize(int classId);
/* The real (part 0) or imaginary (part 1) elements as stored; null if the
 * array has no such part. */
STANDIN_MX_API void *standinData(const mxArray *a, int part);
/* Element k of a part as a double, and set from one as MATLAB converts a
 * double to the class: integers rounded (halves away from zero) and
 * saturated, NaN to 0; logical true for nonzero. Cells hold nothing. */
STANDIN_MX_API double standinValue(const mxArray *a, int part, size_t k);
STANDIN_MX_API void standinSetValue(mxArray *a, int part, size_t k, double v);
STANDIN_MX_API int standinClass(const mxArray *a);
STANDIN_MX_API long standinLiveArrays(void);
STANDIN_MX_API long long standinLiveBytes(void);
/* Fail the k-th host allocation from now on (1 = the next); 0 turns it off. */
STANDIN_MX_API void standinFailAllocation(long k);

/* libut side: the host's interrupt query, as MATLAB's libut has it (C
 * linkage, looked up by the modules at run time), and a way to make it say
 * yes: at the k-th query from now on (1 = the next) and every one after,
 * until it is turned off with 0. standinInterruptQueries counts every
 * query since the process started. */
STANDIN_MEX_API bool utIsInterruptPending(void);
STANDIN_MEX_API void standinInterruptAfter(long k);
STANDIN_MEX_API long standinInterruptQueries(void);

/* libmex side: calling a module. */
typedef struct StandinReport {
    int raised;          /* the module raised an error */
    char id[64];         /* its identifier ("" for mexErrMsgTxt) */
    char text[1024];     /* its text */
    int strayArrays;     /* arrays the module made and neither returned nor destroyed */
    int slotsOverrun;    /* the module wrote past the output slots it was given */
    int foreignOutput;   /* an output slot holds an array the call did not make */
} StandinReport;

/* Calls fn with max(nlhs, 1) output slots, which it clears first. On return
 * plhs holds the outputs (caller owns them); after an error every array the
 * call made has been destroyed and plhs is all null. Returns report->raised. */
STANDIN_MEX_API int standinCall(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs,
                                const mxArray *prhs[], StandinReport *report);

#ifdef __cplusplus
}
#endif

#endif
