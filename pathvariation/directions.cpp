#include "directions.h"

int pathRows = 0;
int pathCols = 0;
int directionTable[TABLE_SIZE];
double *netChange = nullptr;
double *totalVariation = nullptr;
KernelRun pathRun = {nullptr, KERNEL_PATH_AUTO, {nullptr, nullptr}};

KernelStatus walkDirections(const double *image, const int *directionMap, int halfLength)
{
    return walkPaths(PathView{image, pathCols, directionMap, pathCols, pathRows, pathCols}, directionTable, halfLength,
                     PathOutputs{netChange, totalVariation, pathCols}, pathRun);
}
