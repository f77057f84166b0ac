/* Runs the kernels as the tests need them: on a team of exactly the
 * members asked for (0: as many as a module would take for the image). */
#ifndef KERNELRUN_H
#define KERNELRUN_H

#include "pathwalk.h"
#include "schedule.h"
#include "../common/dispatch.h"
#include "../common/split.h"

#include <gtest/gtest.h>

#include <vector>

/* fn(run) on a team of `members` (0: teamSize's default for `work` at
 * minPerThread each), started and stopped around it. */
template <class Fn>
KernelStatus onTeam(int members, long long work, long long minPerThread, KernelPath path, const Fn &fn)
{
    Team team;
    teamStart(&team, members > 0 ? members : teamSize(0, work, minPerThread));
    const KernelStatus status = fn(KernelRun{&team, path, {nullptr, nullptr}});
    teamStop(&team);
    return status;
}

inline std::vector<double> runKernel(std::vector<double> image, int M, int N, const std::vector<double> &w,
                                     double lambda, int iterations, double attenuation,
                                     KernelPath path = KERNEL_PATH_AUTO, int threads = 0,
                                     SmoothNanAudit *audit = nullptr)
{
    const PlaneView view{image.data(), M, N, N};
    const WeightView weights{w.data(), N};
    const SmoothParams params{lambda, iterations, attenuation};
    EXPECT_EQ(onTeam(threads, static_cast<long long>(M) * N, MIN_PIXELS_PER_THREAD, path,
                     [&](const KernelRun &run) { return smoothPlane(view, weights, weights, params, run, audit); }),
              KERNEL_DONE);
    return image;
}

/* walkPaths on row-major rows x cols grids, the outputs `outStride` apart. */
inline KernelStatus runWalkKernel(PathView view, const std::vector<int> &table, int a, double *net, double *total,
                                  ptrdiff_t outStride, KernelPath path = KERNEL_PATH_AUTO, int threads = 0)
{
    return onTeam(threads, static_cast<long long>(view.rows) * view.cols, MIN_WALK_PIXELS_PER_THREAD, path,
                  [&](const KernelRun &run) {
                      return walkPaths(view, table.data(), a, PathOutputs{net, total, outStride}, run);
                  });
}

#endif
