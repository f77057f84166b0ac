#include "solver.h"

#include "store.h"

#include "../common/dispatch.h"

int solverThreads = 0;
int solverPath = KERNEL_PATH_AUTO;
Team *solverTeam = nullptr;

static PlaneView storePlane(double ***store)
{
    return PlaneView{store[0][0], rows, cols, cols};
}

bool smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                     int iterations, double attenuation)
{
    return smoothPlane(storePlane(store), WeightView{hweights, cols}, WeightView{vweights, cols},
                       SmoothParams{lambda, iterations, attenuation}, solverThreads, solverPath, solverTeam);
}
