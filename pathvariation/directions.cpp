#include "walk.h"

#include "../common/dispatch.h"

int pathRows = 0;
int pathCols = 0;
int directionTable[TABLE_SIZE];
double *netChange = nullptr;
double *totalVariation = nullptr;
int pathThreads = 0;
int walkPath = KERNEL_PATH_AUTO;
Team *pathTeam = nullptr;

bool walkDirections(const double *image, const int *directionMap, int halfLength)
{
    return walkPaths(PathView{image, directionMap, pathRows, pathCols, pathCols, pathCols}, directionTable, halfLength, netChange,
                     totalVariation, pathThreads, walkPath, pathTeam);
}
