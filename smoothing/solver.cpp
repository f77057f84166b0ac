#include "solver.h"

#include "store.h"

KernelRun solverRun = {nullptr, KERNEL_PATH_AUTO, {nullptr, nullptr}};

static PlaneView storePlane(double ***store)
{
    return PlaneView{store[0][0], rows, cols, cols};
}

KernelStatus smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                             int iterations, double attenuation)
{
    return smoothPlane(storePlane(store), WeightView{hweights, cols}, WeightView{vweights, cols},
                       SmoothParams{lambda, iterations, attenuation}, solverRun);
}
