/* Smooths a 256 x 256 scene on one thread, for valgrind's instruction count:
 *   callgrind_probe <iterations> [sse2]
 * "sse2" forces the baseline path (SSE2 on x86). Prints the path taken, so that the count
 * can be judged against it. */
#include "schedule.h"
#include "../common/dispatch.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    const int M = 256, N = 256;
    const int iterations = argc > 1 ? atoi(argv[1]) : 4;
    std::vector<double> image(static_cast<size_t>(M) * N), w(image.size());
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j) {
            image[static_cast<size_t>(i) * N + j] = (j > N / 3 ? 1.0 : 0.0) + 0.1 * std::sin(0.37 * (i * N + j));
            w[static_cast<size_t>(i) * N + j] = 0.2 + 0.1 * std::cos(0.11 * (i * N + j));
        }
    const bool baseline = argc > 2 && std::string(argv[2]) == "sse2";
    const KernelPath path = baseline ? KERNEL_PATH_BASELINE : KERNEL_PATH_AUTO;
    const WeightView weights{w.data(), N};
    bool ok = smoothPlane(PlaneView{image.data(), M, N, N}, weights, weights, SmoothParams{20.0, iterations, 2.0},
                          KernelRun{nullptr, path, {nullptr, nullptr}}) == KERNEL_DONE;
    printf("path %s, checksum %.17g\n", takesAvx2(path) ? "AVX2" : "SSE2",
           image[static_cast<size_t>(M / 2) * N + N / 2]);
    return ok ? 0 : 1;
}
