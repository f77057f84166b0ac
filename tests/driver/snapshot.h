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
    std::vector<unsigned char> re, im; /* the elements as stored */
};

inline Snapshot snapshot(const mxArray *a)
{
    Snapshot s;
    s.cls = standinClass(a);
    s.ndim = mxGetNumberOfDimensions(a);
    s.dims.assign(mxGetDimensions(a), mxGetDimensions(a) + s.ndim);
    const size_t bytes = mxGetNumberOfElements(a) * standinElementSize(s.cls);
    for (int part = 0; part < 2; ++part) {
        /* null for an array declared without data, or a real one's imaginary part */
        const unsigned char *p = static_cast<const unsigned char *>(standinData(a, part));
        if (p)
            (part ? s.im : s.re).assign(p, p + bytes);
    }
    return s;
}

/* Equal to the last bit (NaN payloads and the sign of zero included). */
inline bool bitIdentical(const std::vector<double> &x, const std::vector<double> &y)
{
    return x.size() == y.size() && (x.empty() || memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0);
}

inline bool sameSnapshot(const Snapshot &x, const Snapshot &y)
{
    return x.cls == y.cls && x.dims == y.dims && x.re == y.re && x.im == y.im;
}

#endif
