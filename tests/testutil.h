/* Small helpers shared by the C++ tests. */
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include "standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

inline uint64_t bitsOf(double v)
{
    uint64_t u;
    memcpy(&u, &v, sizeof u);
    return u;
}

/* Equal to the last bit (NaN payloads and the sign of zero included). */
inline ::testing::AssertionResult sameBits(const std::vector<double> &got, const std::vector<double> &want)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.size() << " vs " << want.size();
    for (size_t k = 0; k < got.size(); ++k)
        if (bitsOf(got[k]) != bitsOf(want[k]))
            return ::testing::AssertionFailure()
                   << "element " << k << ": " << got[k] << " vs " << want[k] << " (bits differ)";
    return ::testing::AssertionSuccess();
}

inline std::vector<double> randomValues(std::mt19937_64 &rng, size_t n, double lo, double hi)
{
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(n);
    for (auto &x : v)
        x = u(rng);
    return v;
}

/* Column-major host array of the given dims holding `values` (zero-padded). */
inline mxArray *hostArray(const std::vector<int> &dims, const std::vector<double> &values, int classId = STANDIN_DOUBLE,
                          int flags = 0)
{
    mxArray *a = standinCreateArray(classId, static_cast<int>(dims.size()), dims.data(), flags);
    size_t n = mxGetNumberOfElements(a);
    for (size_t k = 0; k < n && k < values.size(); ++k)
        mxGetPr(a)[k] = values[k];
    return a;
}

inline std::vector<double> hostValues(const mxArray *a)
{
    return std::vector<double>(mxGetPr(a), mxGetPr(a) + mxGetNumberOfElements(a));
}

inline std::vector<double> toRowMajor(const std::vector<double> &colMajor, int M, int N)
{
    std::vector<double> r(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            r[static_cast<size_t>(i) * N + j] = colMajor[i + static_cast<size_t>(M) * j];
    return r;
}

inline std::vector<double> toColMajor(const std::vector<double> &rowMajor, int M, int N)
{
    std::vector<double> c(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            c[i + static_cast<size_t>(M) * j] = rowMajor[static_cast<size_t>(i) * N + j];
    return c;
}

#endif
