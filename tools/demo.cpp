/* The main job until the full demo exists: a synthetic noisy scene smoothed
 * by the Lantrel module, loaded through the stand-in host, with a summary. */
#include "loader.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : DEMO_LANTREL_MODULE;
    char why[512];
    MexFunction lantrel = standinLoadModule(path, why, sizeof why);
    if (!lantrel) {
        fprintf(stderr, "demo: %s\n", why);
        return 1;
    }
    const int M = 256, N = 256;
    std::mt19937_64 rng(2026);
    std::normal_distribution<double> noise(0.0, 0.08);
    mxArray *image = standinCreateMatrix(M, N);
    mxArray *weights = standinCreateMatrix(M, N);
    double *f = mxGetPr(image);
    double *w = mxGetPr(weights);
    double flatNoise = 0.0;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M; ++i) {
            double clean = (j < N / 2 ? 0.2 : 0.8) + (i > M / 2 && j > N / 4 ? 0.3 : 0.0);
            f[i + M * j] = clean + noise(rng);
        }
    /* Weights fall off with the local gradient: edges stay sharp. */
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M; ++i) {
            double gx = j + 1 < N ? f[i + M * (j + 1)] - f[i + M * j] : 0.0;
            double gy = i + 1 < M ? f[i + 1 + M * j] - f[i + M * j] : 0.0;
            w[i + M * j] = std::exp(-std::hypot(gx, gy) / 0.15);
        }
    mxArray *lambda = standinCreateScalar(20.0), *iterations = standinCreateScalar(4.0),
            *attenuation = standinCreateScalar(2.0), *unused = standinCreateMatrix(0, 0);
    const mxArray *prhs[7] = {image, unused, weights, unused, lambda, iterations, attenuation};
    mxArray *plhs[1] = {nullptr};
    StandinReport report;
    auto t0 = std::chrono::steady_clock::now();
    standinCall(lantrel, 1, plhs, 7, prhs, &report);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (report.raised) {
        fprintf(stderr, "demo: Lantrel raised %s: %s\n", report.id, report.text);
        return 1;
    }
    /* Noise before and after in a flat patch far from every edge. */
    const double *u = mxGetPr(plhs[0]);
    auto patchStd = [&](const double *v) {
        double s = 0, s2 = 0;
        int n = 0;
        for (int j = 10; j < 50; ++j)
            for (int i = 10; i < 50; ++i, ++n) {
                s += v[i + M * j];
                s2 += v[i + M * j] * v[i + M * j];
            }
        return std::sqrt(s2 / n - (s / n) * (s / n));
    };
    flatNoise = patchStd(f);
    printf("Lantrel: %dx%d image, lambda 20, 4 iterations, attenuation 2: %.2f ms\n", M, N, ms);
    printf("noise (std) in a flat patch: %.4f before, %.4f after\n", flatNoise, patchStd(u));
    printf("step across the edge at column %d: %.3f before, %.3f after\n", N / 2,
           f[20 + M * (N / 2)] - f[20 + M * (N / 2 - 1)], u[20 + M * (N / 2)] - u[20 + M * (N / 2 - 1)]);
    standinDestroy(plhs[0]);
    for (mxArray *a : {image, weights, lambda, iterations, attenuation, unused})
        standinDestroy(a);
    return 0;
}
