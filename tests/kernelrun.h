/* Runs the smoothing kernel on a row-major image through a working store. */
#ifndef KERNELRUN_H
#define KERNELRUN_H

#include "solver.h"
#include "store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

inline std::vector<double> runKernel(std::vector<double> image, int M, int N, const std::vector<double> &w,
                                     double lambda, int iterations, double attenuation, bool exact = false)
{
    rows = M;
    cols = N;
    planes = 1;
    double ***store = memAllocDouble(M, N, 1);
    EXPECT_NE(store, nullptr);
    std::copy(image.begin(), image.end(), store[0][0]);
    EXPECT_TRUE((exact ? smoothSeparableExact : smoothSeparable)(store, w.data(), w.data(), lambda, iterations,
                                                                 attenuation));
    std::copy(store[0][0], store[0][0] + image.size(), image.begin());
    memFreeDouble(store);
    return image;
}

#endif
