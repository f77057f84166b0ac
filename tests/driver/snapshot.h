/* A deep copy of a host array's class, dimensions and values, to prove
 * afterwards that a call left its inputs alone. Plain C++ over the stand-in
 * API, so the module driver (also built for Windows) and the fuzz targets
 * share it. */
#ifndef SNAPSHOT_H
#define SNAPSHOT_H

#include "standin.h"

#include <cstring>
#include <vector>

struct Snapshot {
    int cls;
    int ndim;
    std::vector<int> dims;
    std::vector<double> re, im;
};

inline Snapshot snapshot(const mxArray *a)
{
    Snapshot s;
    s.cls = standinClass(a);
    s.ndim = mxGetNumberOfDimensions(a);
    s.dims.assign(mxGetDimensions(a), mxGetDimensions(a) + s.ndim);
    size_t n = mxGetNumberOfElements(a);
    if (mxGetPr(a)) /* null for an array declared without data */
        s.re.assign(mxGetPr(a), mxGetPr(a) + n);
    if (standinImag(a))
        s.im.assign(standinImag(a), standinImag(a) + n);
    return s;
}

/* Equal to the last bit (NaN payloads and the sign of zero included). */
inline bool bitIdentical(const std::vector<double> &x, const std::vector<double> &y)
{
    return x.size() == y.size() && (x.empty() || memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0);
}

inline bool sameSnapshot(const Snapshot &x, const Snapshot &y)
{
    return x.cls == y.cls && x.dims == y.dims && bitIdentical(x.re, y.re) && bitIdentical(x.im, y.im);
}

#endif
