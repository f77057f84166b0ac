/* Runs the smoothing kernel on a row-major image. */
#ifndef KERNELRUN_H
#define KERNELRUN_H

#include "smooth.h"
#include "../common/dispatch.h"

#include <gtest/gtest.h>

#include <vector>

inline std::vector<double> runKernel(std::vector<double> image, int M, int N, const std::vector<double> &w,
                                     double lambda, int iterations, double attenuation,
                                     int path = KERNEL_PATH_AUTO, int threads = 0, SmoothNanAudit *audit = nullptr)
{
    const PlaneView view{image.data(), M, N, N};
    const WeightView weights{w.data(), N};
    const SmoothParams params{lambda, iterations, attenuation};
    EXPECT_TRUE(smoothPlane(view, weights, weights, params, threads, path, nullptr, audit));
    return image;
}

#endif
