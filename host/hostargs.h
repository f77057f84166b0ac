/* Argument checks shared by the modules' entry points.
 *
 * Nothing here raises: a failed check fills a HostError, and the entry point
 * raises it from its own frame once every buffer has been released. */
#ifndef HOSTARGS_H
#define HOSTARGS_H

#include "mexapi.h"

#include <climits>
#include <cstdarg>
#include <cstdio>

struct HostError {
    const char *id; /* null while no error is pending */
    char text[320];
};

/* Only the modules' error tables (smoothing/lantrel_errors.h,
 * pathvariation/ostrave_errors.h) call this, each with a literal format
 * that the compiler checks against its arguments. */
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline void setError(HostError *err, const char *id, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    err->id = id;
    vsnprintf(err->text, sizeof err->text, fmt, ap);
    va_end(ap);
}

/* Texts both modules raise, each under its own identifier. */
#define BAD_CLASS_TEXT "The %s must be a real, full double array."
#define NARGOUT_TEXT "%s; %d were asked for."
#define INTERRUPTED_TEXT "Interrupted (Ctrl-C); nothing was returned."
#define BAD_THREADS_TEXT "The thread count (argument %d) must be a real numeric scalar >= 0 (0 = one per core)."

/* Truncation toward zero; NaN and values outside int range give INT_MIN
 * (a plain cast would be undefined behaviour for them). */
inline int truncToInt(double v)
{
    /* Both bounds are exact doubles. */
    if (!(v > static_cast<double>(INT_MIN) - 1.0 && v < static_cast<double>(INT_MAX) + 1.0))
        return INT_MIN;
    return static_cast<int>(v);
}

/* Rows, columns and the product of all further dimensions, each checked to
 * fit a 32-bit int (Octave's dimensions are 64-bit). */
inline bool readDims(const mxArray *a, int *m, int *n, int *c)
{
    const mwSize *d = mxGetDimensions(a);
    long long nd = static_cast<long long>(mxGetNumberOfDimensions(a));
    long long dm = nd > 0 ? static_cast<long long>(d[0]) : 1;
    long long dn = nd > 1 ? static_cast<long long>(d[1]) : 1;
    long long dc = 1;
    if (dm < 0 || dm > INT_MAX || dn < 0 || dn > INT_MAX)
        return false;
    for (long long k = 2; k < nd; ++k) {
        long long dk = static_cast<long long>(d[k]);
        if (dk < 0 || dk > INT_MAX)
            return false;
        if (dk != 0 && dc > INT_MAX / dk)
            return false;
        dc *= dk;
    }
    *m = static_cast<int>(dm);
    *n = static_cast<int>(dn);
    *c = static_cast<int>(dc);
    return true;
}

/* Rows and columns as the host holds them, true if either is 0: an empty
 * image is returned before any size limit applies. */
inline bool emptyImage(const mxArray *a, mwSize *m, mwSize *n)
{
    const mwSize *d = mxGetDimensions(a);
    const long long nd = static_cast<long long>(mxGetNumberOfDimensions(a));
    *m = nd > 0 ? d[0] : 1;
    *n = nd > 1 ? d[1] : 1;
    return *m == 0 || *n == 0;
}

/* A real, full double array (any shape). */
inline bool isRealDouble(const mxArray *a)
{
    return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a);
}

/* A real numeric scalar of any numeric class. */
inline bool isRealScalar(const mxArray *a)
{
    return mxIsNumeric(a) && !mxIsComplex(a) && !mxIsSparse(a) && mxGetNumberOfElements(a) == 1;
}

/* The optional thread-count input: a real numeric scalar >= 0. */
inline bool isThreadCount(const mxArray *a)
{
    return isRealScalar(a) && mxGetScalar(a) >= 0.0;
}

/* 0 = one per core; otherwise the count truncated, at most maxThreads. */
inline int threadCountOf(const mxArray *a, int maxThreads)
{
    double t = mxGetScalar(a);
    return t >= maxThreads ? maxThreads : static_cast<int>(t);
}

#endif
