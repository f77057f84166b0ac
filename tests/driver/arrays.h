/* The test arrays: host arrays built from values, their values back, the
 * two layouts, and values drawn deterministically on every platform. Plain
 * C++ over the stand-in API, for the GoogleTest suites and the driver alike. */
#ifndef DRIVER_ARRAYS_H
#define DRIVER_ARRAYS_H

#include "standin.h"

#include <cstdint>
#include <random>
#include <vector>

/* n values uniform in [lo, hi) from a 64-bit seed: integer arithmetic and
 * one exact scaling, so every platform gets the same bits. */
std::vector<double> uniformValues(uint64_t seed, size_t n, double lo, double hi);

/* n values uniform in [lo, hi) from a running generator (one platform's bits). */
std::vector<double> randomValues(std::mt19937_64 &rng, size_t n, double lo, double hi);

/* The double with these bits: NaNs of a chosen sign and payload. */
double fromBits(uint64_t bits);

/* A host array of the given class and dimensions holding v (zero-padded),
 * each value converted to the class as MATLAB converts it. */
mxArray *arrayOf(const std::vector<int> &dims, const std::vector<double> &v, int cls = STANDIN_DOUBLE,
                 int flags = 0);

/* An m x n double matrix, every element v. */
mxArray *filledArray(int m, int n, double v);

/* Its real elements as doubles. */
std::vector<double> hostValues(const mxArray *a);

std::vector<double> toRowMajor(const std::vector<double> &colMajor, int M, int N);
std::vector<double> toColMajor(const std::vector<double> &rowMajor, int M, int N);

#endif
