/* The solver's SIMD paths and thread teams against the literal reference:
 * every path, every thread count, shapes that leave partial lane blocks and
 * empty thread shares, and the values that make pivots and strengths blow up.
 * Also the thread-count input of the Lantrel entry point. */
#include "loader.h"
#include "reference.h"
#include "solver.h"
#include "store.h"
#include "testutil.h"

#include <algorithm>
#include <cfloat>
#include <climits>

namespace {

/* Restores the module-level solver settings whatever the test does. */
struct SolverSettings {
    SolverSettings(int path, int threads)
    {
        solverPath = path;
        solverThreads = threads;
    }
    ~SolverSettings()
    {
        solverPath = SOLVER_PATH_AUTO;
        solverThreads = 0;
    }
};

std::vector<int> availablePaths()
{
    std::vector<int> p = {SOLVER_PATH_SSE2};
    if (solverAvx2Available())
        p.push_back(SOLVER_PATH_AUTO);
    return p;
}

const char *pathName(int path)
{
    return path == SOLVER_PATH_SSE2 ? "SSE2" : "AVX2";
}

std::vector<double> solve(std::vector<double> image, int M, int N, const std::vector<double> &w, double lambda,
                          int iterations, double attenuation, int path, int threads)
{
    SolverSettings settings(path, threads);
    rows = M;
    cols = N;
    planes = 1;
    double ***store = memAllocDouble(M, N, 1);
    EXPECT_NE(store, nullptr);
    std::copy(image.begin(), image.end(), store[0][0]);
    EXPECT_TRUE(smoothSeparable(store, w.data(), w.data(), lambda, iterations, attenuation));
    std::copy(store[0][0], store[0][0] + image.size(), image.begin());
    memFreeDouble(store);
    return image;
}

struct Case {
    std::vector<double> image, weights;
    double lambda;
    int iterations;
    double attenuation;
};

/* Every path and thread count 1..5 gives the reference's bits. */
void expectAllPathsMatch(const Case &c, int M, int N, const std::string &what)
{
    std::vector<double> want = c.image;
    referenceSmooth(want, M, N, c.weights, c.lambda, c.iterations, c.attenuation);
    for (int path : availablePaths())
        for (int threads = 1; threads <= 5; ++threads)
            ASSERT_TRUE(sameBits(solve(c.image, M, N, c.weights, c.lambda, c.iterations, c.attenuation, path, threads),
                                 want))
                << what << " " << M << "x" << N << " " << pathName(path) << " threads " << threads;
}

TEST(FastSolver, EveryPathAndThreadCountMatchesTheReference)
{
    std::mt19937_64 rng(2718);
    /* Lane blocks are 8 (SSE2) or 16 (AVX2) lines and tiles 2 or 4 wide:
     * the shapes straddle both, and small ones leave threads without work. */
    const std::vector<std::pair<int, int>> shapes = {
        {1, 1}, {1, 2}, {2, 1}, {1, 37}, {37, 1}, {2, 2}, {3, 5}, {7, 9}, {8, 8}, {9, 17},
        {16, 16}, {17, 15}, {15, 33}, {33, 15}, {31, 64}, {64, 31}, {5, 100}, {100, 5}, {47, 129}};
    for (auto [M, N] : shapes) {
        size_t n = static_cast<size_t>(M) * N;
        Case c{randomValues(rng, n, -2.0, 3.0), randomValues(rng, n, 0.0, 2.0), 7.0, 3, 2.0};
        expectAllPathsMatch(c, M, N, "random");
    }
}

TEST(FastSolver, SpecialValuesGiveTheReferenceBits)
{
    std::mt19937_64 rng(31);
    const int M = 19, N = 21;
    const size_t n = static_cast<size_t>(M) * N;
    std::vector<double> image = randomValues(rng, n, -1.0, 1.0);
    std::vector<double> weights = randomValues(rng, n, 0.0, 1.0);

    std::vector<double> specialWeights = weights;
    specialWeights[3] = NAN;
    specialWeights[N + 4] = INFINITY;
    specialWeights[2 * N + 5] = -INFINITY;
    specialWeights[5 * N] = 0.0;
    specialWeights[6 * N + 7] = -0.0;
    specialWeights[7 * N + 8] = DBL_MAX;
    specialWeights[8 * N + 9] = DBL_TRUE_MIN;
    specialWeights[9 * N + 10] = -0.5; /* a vanishing pivot: 1 + 2*(-0.5) */

    std::vector<double> specialImage = image;
    specialImage[11 * N + 3] = NAN;
    specialImage[12 * N + 20] = INFINITY;
    specialImage[18 * N] = -0.0;

    const std::vector<double> zero(n, 0.0);
    const std::vector<Case> cases = {
        {image, specialWeights, 5.0, 2, 2.0},
        {specialImage, weights, 5.0, 2, 2.0},
        {specialImage, specialWeights, 5.0, 2, 2.0},
        {image, zero, 5.0, 2, 2.0},
        {specialImage, zero, 5.0, 1, 2.0},
        {image, weights, 0.0, 2, 2.0},
        {image, weights, -0.0, 2, 2.0},
        {image, weights, 1e300, 3, 2.0},
        {image, weights, INFINITY, 2, 2.0},
        {image, weights, NAN, 2, 2.0},
        {image, weights, -3.0, 2, 2.0},
        {image, weights, 4.0, 3, 0.0},
        {image, weights, 0.0, 3, 0.0},
        {image, weights, 4.0, 3, -0.0},
        {image, weights, 4.0, 3, NAN},
        {image, weights, 4.0, 4, 1e-300},
    };
    for (size_t k = 0; k < cases.size(); ++k)
        expectAllPathsMatch(cases[k], M, N, "case " + std::to_string(k));
}

TEST(FastSolver, DefaultTeamOnALargerImage)
{
    /* Large enough for the default to use every core. */
    std::mt19937_64 rng(5);
    const int M = 403, N = 389;
    size_t n = static_cast<size_t>(M) * N;
    std::vector<double> image = randomValues(rng, n, 0.0, 1.0);
    std::vector<double> weights = randomValues(rng, n, 0.0, 3.0);
    std::vector<double> want = image;
    referenceSmooth(want, M, N, weights, 12.0, 2, 3.0);
    for (int path : availablePaths())
        EXPECT_TRUE(sameBits(solve(image, M, N, weights, 12.0, 2, 3.0, path, 0), want)) << pathName(path);
}

TEST(FastSolver, NoIterationsOrNoPixelsTouchNothing)
{
    std::vector<double> image = {1.0, -0.0, NAN, 4.0, 5.0, 6.0};
    for (int it : {0, -1, INT_MIN})
        EXPECT_TRUE(sameBits(solve(image, 2, 3, image, 3.0, it, 2.0, SOLVER_PATH_AUTO, 3), image));
    for (auto d : {std::pair<int, int>{0, 4}, {4, 0}, {0, 0}})
        EXPECT_TRUE(solve({}, d.first, d.second, {}, 3.0, 2, 2.0, SOLVER_PATH_AUTO, 2).empty());
}

/* ---- The thread-count input of the entry point. */

MexFunction lantrelModule()
{
    static MexFunction fn = [] {
        char why[512];
        MexFunction f = standinLoadModule(LANTREL_MODULE, why, sizeof why);
        if (!f)
            ADD_FAILURE() << why;
        return f;
    }();
    return fn;
}

/* Calls Lantrel on a fixed 70 x 45 scene; `threads` (if any) becomes input 8.
 * Returns the column-major output, or nothing after an error (then in report). */
std::vector<double> callWithThreads(mxArray *threads, StandinReport *report)
{
    const int M = 70, N = 45;
    std::mt19937_64 rng(8);
    mxArray *in[8] = {hostArray({M, N}, randomValues(rng, M * N, 0.0, 1.0)), standinCreateMatrix(0, 0),
                      hostArray({M, N}, randomValues(rng, M * N, 0.0, 2.0)), standinCreateMatrix(0, 0),
                      standinCreateScalar(6.0), standinCreateScalar(3.0), standinCreateScalar(2.0), threads};
    mxArray *out[1] = {nullptr};
    long before = standinLiveArrays();
    standinCall(lantrelModule(), 1, out, threads ? 8 : 7, const_cast<const mxArray **>(in), report);
    std::vector<double> result = out[0] ? hostValues(out[0]) : std::vector<double>();
    EXPECT_EQ(standinLiveArrays(), before + (out[0] ? 1 : 0));
    EXPECT_EQ(report->strayArrays, 0);
    standinDestroy(out[0]);
    for (mxArray *a : in)
        standinDestroy(a);
    return result;
}

TEST(LantrelThreads, CountNeverChangesTheResult)
{
    StandinReport report{};
    std::vector<double> plain = callWithThreads(nullptr, &report);
    ASSERT_FALSE(report.raised) << report.text;
    ASSERT_EQ(plain.size(), 70u * 45u);
    for (double t : {0.0, 1.0, 2.0, 3.0, 4.0, 7.9, 1e9}) {
        StandinReport r{};
        EXPECT_TRUE(sameBits(callWithThreads(standinCreateScalar(t), &r), plain)) << t;
        EXPECT_FALSE(r.raised) << t << ": " << r.text;
    }
    StandinReport r{};
    EXPECT_TRUE(sameBits(callWithThreads(hostArray({1, 1}, {2.0}, STANDIN_INT32), &r), plain));
}

TEST(LantrelThreads, BadCountsAreRefused)
{
    const std::vector<std::pair<const char *, mxArray *>> bad = {
        {"negative", standinCreateScalar(-1.0)},
        {"NaN", standinCreateScalar(NAN)},
        {"-Inf", standinCreateScalar(-INFINITY)},
        {"empty", standinCreateMatrix(0, 0)},
        {"vector", standinCreateMatrix(1, 2)},
        {"complex", hostArray({1, 1}, {2.0}, STANDIN_DOUBLE, STANDIN_COMPLEX)},
        {"char", hostArray({1, 1}, {2.0}, STANDIN_CHAR)},
        {"cell", hostArray({1, 1}, {2.0}, STANDIN_CELL)},
    };
    for (const auto &[what, arg] : bad) {
        StandinReport r{};
        EXPECT_TRUE(callWithThreads(arg, &r).empty()) << what;
        EXPECT_TRUE(r.raised) << what;
        EXPECT_STREQ(r.id, "Lantrel:badThreads") << what;
        EXPECT_NE(std::string(r.text).find("thread count (argument 8)"), std::string::npos) << what << ": " << r.text;
    }
}

} // namespace
