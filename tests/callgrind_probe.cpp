/* Smooths a 256 x 256 scene on one thread, for valgrind's instruction count:
 *   callgrind_probe <iterations> [sse2]
 * "sse2" forces the baseline path. Prints the path taken, so that the count
 * can be judged against it. */
#include "solver.h"
#include "store.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    const int M = 256, N = 256;
    const int iterations = argc > 1 ? atoi(argv[1]) : 4;
    rows = M;
    cols = N;
    planes = 1;
    double ***store = memAllocDouble(M, N, 1);
    std::vector<double> w(static_cast<size_t>(M) * N);
    if (!store)
        return 1;
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j) {
            store[i][j][0] = (j > N / 3 ? 1.0 : 0.0) + 0.1 * std::sin(0.37 * (i * N + j));
            w[static_cast<size_t>(i) * N + j] = 0.2 + 0.1 * std::cos(0.11 * (i * N + j));
        }
    solverThreads = 1;
    const bool baseline = argc > 2 && std::string(argv[2]) == "sse2";
    solverPath = baseline ? SOLVER_PATH_SSE2 : SOLVER_PATH_AUTO;
    bool ok = smoothSeparable(store, w.data(), w.data(), 20.0, iterations, 2.0);
    printf("path %s, checksum %.17g\n", !baseline && solverAvx2Available() ? "AVX2" : "SSE2", store[M / 2][N / 2][0]);
    memFreeDouble(store);
    return ok ? 0 : 1;
}
