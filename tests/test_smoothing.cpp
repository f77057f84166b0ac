/* The smoothing kernel on its own: the store, bit-exactness against the
 * literal reference, and an independent residual check. */
#include "kernelrun.h"
#include "reference.h"
#include "solver.h"
#include "store.h"
#include "testutil.h"

#include <algorithm>
#include <climits>

namespace {

/* Edge-aware weights of the kind a user derives from the image itself. */
std::vector<double> edgeWeights(const std::vector<double> &img, int M, int N)
{
    std::vector<double> w(img.size());
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j) {
            double gx = j + 1 < N ? img[i * N + j + 1] - img[i * N + j] : 0.0;
            double gy = i + 1 < M ? img[(i + 1) * N + j] - img[i * N + j] : 0.0;
            w[i * N + j] = std::exp(-std::sqrt(gx * gx + gy * gy) / 0.2);
        }
    return w;
}

/* A piecewise-constant scene with noise: realistic for an edge-preserving smoother. */
std::vector<double> sceneImage(std::mt19937_64 &rng, int M, int N)
{
    std::normal_distribution<double> noise(0.0, 0.05);
    std::vector<double> img(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            img[i * N + j] = (j > N / 3 ? 1.0 : 0.0) + (i > M / 2 ? 0.5 : 0.0) + noise(rng);
    return img;
}

TEST(Store, LayoutAndLimits)
{
    double ***s = memAllocDouble(3, 4, 2);
    ASSERT_NE(s, nullptr);
    double *block = s[0][0];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(s[i][j], block + (i * 4 + j) * 2) << i << "," << j;
    memFreeDouble(s);

    /* The element count is a 32-bit quantity, spare ten included. */
    EXPECT_EQ(memAllocDouble(46341, 46341, 1), nullptr);
    EXPECT_EQ(memAllocDouble(1, INT_MAX - 9, 1), nullptr);
    EXPECT_EQ(memAllocDouble(65536, 2, 16384), nullptr);

    /* Empty images still give a store that frees cleanly. */
    for (auto d : {std::vector<int>{0, 5}, {5, 0}, {0, 0}}) {
        double ***e = memAllocDouble(d[0], d[1], 1);
        ASSERT_NE(e, nullptr);
        memFreeDouble(e);
    }
}

TEST(Smoother, MatchesReferenceBitForBit)
{
    std::mt19937_64 rng(12345);
    const std::vector<std::pair<int, int>> shapes = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {5, 9}, {13, 4}, {31, 17}, {40, 40}};
    const double lambdas[] = {0.0, 1e-3, 1.0, 30.0, 1e4};
    const int iterationCounts[] = {-1, 0, 1, 2, 5};
    const double attenuations[] = {0.5, 1.0, 4.0};
    int cases = 0;
    for (auto [M, N] : shapes) {
        std::vector<double> img = randomValues(rng, static_cast<size_t>(M) * N, -1.0, 2.0);
        std::vector<double> scene = sceneImage(rng, M, N);
        const std::vector<std::pair<std::vector<double>, std::vector<double>>> inputs = {
            {img, randomValues(rng, img.size(), 0.0, 2.0)},
            {scene, edgeWeights(scene, M, N)},
            {img, std::vector<double>(img.size(), 0.0)},
        };
        for (const auto &[image, w] : inputs)
            for (double lambda : lambdas)
                for (int it : iterationCounts)
                    for (double att : attenuations) {
                        std::vector<double> want = image;
                        referenceSmooth(want, M, N, w, lambda, it, att);
                        std::vector<double> got = runKernel(image, M, N, w, lambda, it, att);
                        ASSERT_TRUE(sameBits(got, want)) << M << "x" << N << " lambda " << lambda << " it " << it
                                                         << " att " << att;
                        ++cases;
                    }
    }
    EXPECT_EQ(cases, 8 * 3 * 5 * 5 * 3);
}

/* Independent of the solver's operation order: after one iteration the
 * output u satisfies, column by column, (I + s A_col) u = r, and the r so
 * recovered satisfies, row by row, (I + s A_row) r = f. */
TEST(Smoother, EachLineSolveLeavesASmallResidual)
{
    std::mt19937_64 rng(7);
    for (auto shape : std::vector<std::pair<int, int>>{{1, 50}, {50, 1}, {23, 37}, {64, 9}}) {
        const int M = shape.first, N = shape.second; /* lambdas cannot capture bindings before C++20 */
        for (double lambda : {0.1, 3.0, 200.0}) {
            std::vector<double> f = randomValues(rng, static_cast<size_t>(M) * N, 0.0, 1.0);
            std::vector<double> w = randomValues(rng, f.size(), 0.0, 1.5);
            std::vector<double> u = runKernel(f, M, N, w, lambda, 1, 2.0);
            const double s = 0.5 * lambda;
            auto apply = [&](const std::vector<double> &v, int i, int j, int di, int dj, int len, int pos) {
                /* (I + s A) v at position pos of the line through (i, j) with step (di, dj) */
                auto at = [&](int p) { return v[(i + p * di) * N + (j + p * dj)]; };
                auto wt = [&](int p) { return w[(i + p * di) * N + (j + p * dj)]; };
                double r = at(pos);
                if (pos > 0)
                    r += s * wt(pos - 1) * (at(pos) - at(pos - 1));
                if (pos + 1 < len)
                    r += s * wt(pos) * (at(pos) - at(pos + 1));
                return r;
            };
            std::vector<double> r(u.size());
            for (int j = 0; j < N; ++j)
                for (int y = 0; y < M; ++y)
                    r[y * N + j] = apply(u, 0, j, 1, 0, M, y);
            double worst = 0.0;
            for (int i = 0; i < M; ++i)
                for (int x = 0; x < N; ++x)
                    worst = std::max(worst, std::fabs(apply(r, i, 0, 0, 1, N, x) - f[i * N + x]));
            EXPECT_LT(worst, 1e-9 * (1.0 + lambda)) << M << "x" << N << " lambda " << lambda;
        }
    }
}

TEST(Smoother, WorkedExamples)
{
    /* Rows 0 3 0, unit weights, lambda 2: the operation order fixes the last bits. */
    std::vector<double> u = runKernel({0, 3, 0, 0, 3, 0}, 2, 3, std::vector<double>(6, 1.0), 2.0, 1, 4.0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(u[i * 3 + 0], 0.7500000000000001);
        EXPECT_EQ(u[i * 3 + 1], 1.5000000000000002);
        EXPECT_EQ(u[i * 3 + 2], 0.7500000000000001);
    }

    /* Zero weights: values kept; one NaN spreads to every pixel. */
    std::mt19937_64 rng(3);
    std::vector<double> img = randomValues(rng, 20, -5.0, 5.0);
    std::vector<double> zero(20, 0.0);
    EXPECT_EQ(runKernel(img, 4, 5, zero, 7.0, 3, 2.0), img);
    img[7] = NAN;
    for (double v : runKernel(img, 4, 5, zero, 7.0, 1, 2.0))
        EXPECT_TRUE(std::isnan(v));

    /* A constant stays constant to within rounding. */
    std::vector<double> w = randomValues(rng, 35, 0.0, 3.0);
    for (double v : runKernel(std::vector<double>(35, 4.25), 5, 7, w, 10.0, 4, 2.0))
        EXPECT_NEAR(v, 4.25, 1e-12);

    /* The strength is divided after each iteration: three rounds with
     * attenuation 4 equal three single rounds at lambda, lambda/4, lambda/16. */
    std::vector<double> f = randomValues(rng, 48, 0.0, 1.0);
    std::vector<double> ww = randomValues(rng, 48, 0.0, 1.0);
    std::vector<double> stepwise = f;
    for (double l : {6.0, 1.5, 0.375})
        stepwise = runKernel(stepwise, 6, 8, ww, l, 1, 123.0);
    EXPECT_TRUE(sameBits(runKernel(f, 6, 8, ww, 6.0, 3, 4.0), stepwise));
}

} // namespace
