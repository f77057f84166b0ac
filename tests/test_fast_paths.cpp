/* The solver's SIMD paths and thread teams against the literal reference:
 * every path, every thread count, shapes that leave partial lane blocks and
 * empty thread shares, and the values that make pivots and strengths blow up.
 * The path walk's paired interior walk and thread split likewise. */
#include "kernelrun.h"
#include "loader.h"
#include "pathtables.h"
#include "reference.h"
#include "testutil.h"
#include "../common/dispatch.h"
#include "../common/split.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <system_error>

namespace {

std::vector<KernelPath> availablePaths()
{
    std::vector<KernelPath> p = {KERNEL_PATH_BASELINE};
    if (cpuHasAvx2())
        p.push_back(KERNEL_PATH_AUTO);
    return p;
}

const char *pathName(KernelPath path)
{
    return path == KERNEL_PATH_BASELINE ? "baseline" : "AVX2";
}

std::vector<double> solve(std::vector<double> image, int M, int N, const std::vector<double> &w, double lambda,
                          int iterations, double attenuation, KernelPath path, int threads)
{
    return runKernel(std::move(image), M, N, w, lambda, iterations, attenuation, path, threads);
}

struct Case {
    std::vector<double> image, weights;
    double lambda;
    int iterations;
    double attenuation;
};

/* Every path and thread count 1..5 gives the reference's bits; so do the
 * NaN checks of the other processors, which solve lines again one at a
 * time with x86's rules spelt out. */
void expectAllPathsMatch(const Case &c, int M, int N, const std::string &what)
{
    std::vector<double> want = c.image;
    referenceSmooth(want, M, N, c.weights, c.lambda, c.iterations, c.attenuation);
    for (KernelPath path : availablePaths()) {
        for (int threads = 1; threads <= 5; ++threads)
            ASSERT_TRUE(sameBits(solve(c.image, M, N, c.weights, c.lambda, c.iterations, c.attenuation, path, threads),
                                 want))
                << what << " " << M << "x" << N << " " << pathName(path) << " threads " << threads;
        for (SmoothNanCheck check : {SMOOTH_NAN_INVALID_FLAG, SMOOTH_NAN_EVERY_LINE}) {
            SmoothNanAudit audit{check, -1};
            ASSERT_TRUE(sameBits(
                runKernel(c.image, M, N, c.weights, c.lambda, c.iterations, c.attenuation, path, 2, &audit), want))
                << what << " " << M << "x" << N << " " << pathName(path) << " check " << check;
        }
    }
}

TEST(FastSolver, EveryPathAndThreadCountMatchesTheReference)
{
    std::mt19937_64 rng(2718);
    /* Rows go in blocks of 16 (lane groups of 8 or 16) through tiles 2 or 4
     * wide, a cache line of each row at a time, in another order when rows
     * are a multiple of 512 elements long; columns in vectors of 2 or 4
     * across strips of whole cache lines (one per thread at least): the
     * shapes straddle all of these, and small ones leave threads without
     * work. */
    const std::vector<std::pair<int, int>> shapes = {
        {1, 1},   {1, 2},   {2, 1},   {1, 37},   {37, 1},  {2, 2},  {3, 5},    {7, 9},   {8, 8},    {9, 17},
        {16, 16}, {17, 15}, {15, 33}, {33, 15},  {31, 64}, {64, 31}, {5, 100}, {100, 5}, {47, 129}, {35, 512},
        {18, 1024}, {16, 1031}};
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

    /* Dense NaNs of both signs: products of two NaNs, where only the order
     * of the operands decides which one comes out. */
    std::vector<double> nanWeights = weights, nanImage = image;
    for (size_t k = 0; k < n; k += 3)
        nanWeights[k] = NAN;
    const double payloadNan = [] {
        uint64_t bits = 0x7ff8000000000123ull;
        double v;
        memcpy(&v, &bits, sizeof v);
        return v;
    }();
    for (size_t k = 1; k < n; k += 5)
        nanImage[k] = k % 2 ? -NAN : payloadNan;

    /* Signalling NaNs: quieted by x86 and ARM alike, but ARM's raise the
     * invalid flag. */
    std::vector<double> signallingWeights = weights;
    const uint64_t signalling = 0x7ff0000000000456ull;
    for (size_t k = 2; k < n; k += 7)
        memcpy(&signallingWeights[k], &signalling, sizeof signalling);

    const std::vector<double> zero(n, 0.0);
    const std::vector<Case> cases = {
        {specialImage, signallingWeights, 3.0, 2, 2.0},
        {nanImage, nanWeights, 5.0, 2, 2.0},
        {nanImage, weights, NAN, 1, 2.0},
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
    /* Fewer rows than a block: narrower lane groups, the last rows alone. */
    static_assert(M * N == 7 * 57, "the same values as 7 rows");
    expectAllPathsMatch(cases[1], 7, 57, "dense NaNs, 7 rows");
    expectAllPathsMatch(cases[5], 7, 57, "special values, 7 rows");
}

/* A random image in [0, 1], weights in [0, wMax], and the reference's result. */
struct Smoothed {
    std::vector<double> image, weights, want;
};

Smoothed referenceCase(unsigned seed, int M, int N, double wMax, double lambda, int iterations, double attenuation)
{
    std::mt19937_64 rng(seed);
    size_t n = static_cast<size_t>(M) * N;
    Smoothed c{randomValues(rng, n, 0.0, 1.0), randomValues(rng, n, 0.0, wMax), {}};
    c.want = c.image;
    referenceSmooth(c.want, M, N, c.weights, lambda, iterations, attenuation);
    return c;
}

/* The checks solve again only lines that need it. One NaN pixel reaches
 * every line from the first column pass on: with operations that keep x86's
 * NaN bits nothing is solved again, and checking every line that holds a
 * NaN takes its row, then every line. Infinities of both signs in a row
 * make Inf - Inf: the lines of the parts that raise the invalid flag are
 * solved again, not all. */
TEST(FastSolver, NanChecksSolveAgainOnlyTheLinesThatNeedIt)
{
    const int M = 70, N = 90, iterations = 3;
    Smoothed c = referenceCase(12, M, N, 2.0, 6.0, iterations, 2.0);
    const long long everyLine = static_cast<long long>(M + N) * iterations;
    auto redone = [&](const std::vector<double> &image, SmoothNanCheck check, KernelPath path) {
        std::vector<double> want = image;
        referenceSmooth(want, M, N, c.weights, 6.0, iterations, 2.0);
        SmoothNanAudit audit{check, -1};
        EXPECT_TRUE(sameBits(runKernel(image, M, N, c.weights, 6.0, iterations, 2.0, path, 3, &audit), want))
            << "check " << check << " " << pathName(path);
        return audit.linesRedone;
    };
    std::vector<double> nan = c.image, inf = c.image;
    nan[40 * N + 30] = NAN;
    inf[40 * N + 30] = INFINITY;
    inf[40 * N + 50] = -INFINITY;
    for (KernelPath path : availablePaths()) {
        EXPECT_EQ(redone(nan, SMOOTH_NAN_INVALID_FLAG, path), 0);
        EXPECT_EQ(redone(nan, SMOOTH_NAN_EVERY_LINE, path), 1 + N + everyLine - (M + N));
        const long long flagged = redone(inf, SMOOTH_NAN_INVALID_FLAG, path);
        EXPECT_GT(flagged, 0);
        EXPECT_LT(flagged, everyLine / 2);
        /* The build's own check: none on x86, the invalid flag on aarch64. */
        const long long native = redone(inf, SMOOTH_NAN_NATIVE, path);
#if defined(__x86_64__) || defined(__i386__) || defined(__aarch64__)
        EXPECT_EQ(redone(nan, SMOOTH_NAN_NATIVE, path), 0);
#if defined(__aarch64__)
        EXPECT_EQ(native, flagged);
#else
        EXPECT_EQ(native, 0);
#endif
#endif
        (void)native;
    }
}

TEST(FastSolver, DefaultTeamOnALargerImage)
{
    /* Large enough for the default to use every core. */
    const int M = 403, N = 389;
    Smoothed c = referenceCase(5, M, N, 3.0, 12.0, 2, 3.0);
    for (KernelPath path : availablePaths())
        EXPECT_TRUE(sameBits(solve(c.image, M, N, c.weights, 12.0, 2, 3.0, path, 0), c.want)) << pathName(path);
}

TEST(FastSolver, PipelinedTeamsMatchTheReference)
{
    /* Each member sweeps its columns through a row block only once the
     * block's owner has published it, counting blocks across iterations:
     * owners with unequal block counts, teams larger than the row blocks or
     * the column groups (members with no rows or no columns to sweep), and
     * many rounds. */
    const std::vector<std::pair<int, int>> shapes = {{17, 40}, {9, 200}, {203, 173}, {64, 7}, {25, 1}, {1, 90}};
    for (auto [M, N] : shapes)
        for (int iterations : {1, 4}) {
            Smoothed c = referenceCase(static_cast<unsigned>(M * 1000 + N), M, N, 2.5, 9.0, iterations, 1.5);
            for (KernelPath path : availablePaths())
                for (int threads : {2, 3, 7, 16, 64})
                    ASSERT_TRUE(sameBits(solve(c.image, M, N, c.weights, 9.0, iterations, 1.5, path, threads), c.want))
                        << M << "x" << N << " " << pathName(path) << " threads " << threads << " rounds "
                        << iterations;
        }
}

/* A team start that the system refuses beyond Limit extra threads. */
template <int Limit> void refusingStart(std::thread *slot, Team *team, int t)
{
    if (t > Limit)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    startMember(slot, team, t);
}

TEST(FastSolver, ThreadsThatCannotStartLeaveTheirShareToTheOthers)
{
    const int M = 45, N = 61;
    const size_t n = static_cast<size_t>(M) * N;
    const Smoothed c = referenceCase(77, M, N, 2.0, 4.0, 3, 2.0);
    const std::vector<double> &image = c.image;
    std::vector<int> directions(n);
    for (size_t k = 0; k < n; ++k)
        directions[k] = static_cast<int>(k * 37 % 361);
    const std::vector<int> table = lineTable();
    std::vector<double> wantNet, wantTotal;
    referenceWalk(image, M, N, directions, table, 3, wantNet, wantTotal);
    const MemberStart starts[] = {refusingStart<0>, refusingStart<1>, refusingStart<2>};
    for (int limit = 0; limit < 3; ++limit) {
        Team team;
        teamStart(&team, 4, starts[limit]);
        EXPECT_EQ(team.size, limit + 1);
        for (KernelPath path : availablePaths()) {
            std::vector<double> smoothed = image;
            const WeightView w{c.weights.data(), N};
            EXPECT_EQ(smoothPlane(PlaneView{smoothed.data(), M, N, N}, w, w, SmoothParams{4.0, 3, 2.0},
                                  KernelRun{&team, path, {nullptr, nullptr}}),
                      KERNEL_DONE);
            EXPECT_TRUE(sameBits(smoothed, c.want)) << "limit " << limit;
        }
        std::vector<double> net(n), total(n);
        EXPECT_EQ(walkPaths(PathView{image.data(), N, directions.data(), N, M, N}, table.data(), 3,
                            PathOutputs{net.data(), total.data(), N}, KernelRun{&team, KERNEL_PATH_AUTO, {nullptr, nullptr}}),
                  KERNEL_DONE);
        teamStop(&team);
        EXPECT_TRUE(sameBits(net, wantNet)) << "limit " << limit;
        EXPECT_TRUE(sameBits(total, wantTotal)) << "limit " << limit;
    }
}

/* A stop query that says yes from its yesFrom-th time on, counting. */
struct CountedStop {
    long asked, yesFrom;
};

bool countedStop(void *context)
{
    CountedStop *c = static_cast<CountedStop *>(context);
    return ++c->asked >= c->yesFrom;
}

TEST(FastSolver, AStopAtAnyQueryEndsEveryMember)
{
    /* Member 0 asks before each part it takes and once more when a phase
     * has none left for it: a yes at any of those ends the call on every
     * member (none left waiting at a barrier) with KERNEL_STOPPED; a query
     * that never says yes changes no bit. Teams of 3 ask a varying number
     * of times, at least once a phase. The walk likewise, by bands. */
    const int M = 70, N = 150, iterations = 3;
    const Smoothed c = referenceCase(91, M, N, 2.0, 6.0, iterations, 2.0);
    const WeightView w{c.weights.data(), N};
    for (int members : {1, 3}) {
        Team team;
        teamStart(&team, members);
        auto run = [&](CountedStop *q, std::vector<double> &image) {
            return smoothPlane(PlaneView{image.data(), M, N, N}, w, w, SmoothParams{6.0, iterations, 2.0},
                               KernelRun{&team, KERNEL_PATH_AUTO, {countedStop, q}});
        };
        CountedStop never{0, LONG_MAX};
        std::vector<double> image = c.image;
        EXPECT_EQ(run(&never, image), KERNEL_DONE);
        EXPECT_TRUE(sameBits(image, c.want)) << members << " members";
        const long surely = team.size == 1 ? never.asked : 2 * iterations;
        EXPECT_GE(never.asked, 2 * iterations);
        for (long k = 1; k <= surely; ++k) {
            CountedStop q{0, k};
            image = c.image;
            EXPECT_EQ(run(&q, image), KERNEL_STOPPED) << members << " members, yes at query " << k;
        }
        /* The walk: member 0 asks before each band it takes, at least once. */
        std::vector<int> directions(static_cast<size_t>(M) * N, 45);
        std::vector<double> net(directions.size()), total(directions.size());
        const std::vector<int> table = lineTable();
        auto walk = [&](CountedStop *q) {
            return walkPaths(PathView{c.image.data(), N, directions.data(), N, M, N}, table.data(), 2,
                             PathOutputs{net.data(), total.data(), N}, KernelRun{&team, KERNEL_PATH_AUTO, {countedStop, q}});
        };
        CountedStop neverWalk{0, LONG_MAX};
        EXPECT_EQ(walk(&neverWalk), KERNEL_DONE);
        for (long k = 1; k <= (team.size == 1 ? neverWalk.asked : 1); ++k) {
            CountedStop q{0, k};
            EXPECT_EQ(walk(&q), KERNEL_STOPPED) << members << " members, yes at query " << k;
        }
        teamStop(&team);
    }
}

TEST(FastSolver, NoIterationsOrNoPixelsTouchNothing)
{
    std::vector<double> image = {1.0, -0.0, NAN, 4.0, 5.0, 6.0};
    for (int it : {0, -1, INT_MIN})
        EXPECT_TRUE(sameBits(solve(image, 2, 3, image, 3.0, it, 2.0, KERNEL_PATH_AUTO, 3), image));
    for (auto d : {std::pair<int, int>{0, 4}, {4, 0}, {0, 0}})
        EXPECT_TRUE(solve({}, d.first, d.second, {}, 3.0, 2, 2.0, KERNEL_PATH_AUTO, 2).empty());
}

/* ---- The path walk. */

/* Mostly in [-1, 2] with a share of zeros, negative zeros, infinities and
 * NaNs (of both signs and several payloads, so that a sum of two NaNs shows
 * which operand it returned), so that pairs of neighbours disagree about
 * where their walks start. */
std::vector<double> walkImage(std::mt19937_64 &rng, int M, int N, double low)
{
    std::vector<double> img = randomValues(rng, static_cast<size_t>(M) * N, low, 2.0);
    std::uniform_int_distribution<int> pick(0, 99);
    for (double &v : img) {
        int u = pick(rng);
        uint64_t nan = (u % 2 ? 0xfff8000000000000ull : 0x7ff8000000000000ull) | static_cast<uint64_t>(u);
        if (u >= 7 && u < 9)
            memcpy(&v, &nan, sizeof v);
        else
            v = u < 4 ? 0.0 : u < 7 ? -0.0 : u < 10 ? INFINITY : v;
    }
    return img;
}

/* One walk with the given path and team; the outputs start as -7 so that
 * an element left unwritten shows. With pad > 0 the image, the map and the
 * outputs lie in rows pad elements longer than N, the padding holding what
 * would show if it were read (1e300, and a direction the offsets have no
 * row for) or written (-7 in the outputs). */
void runWalk(const std::vector<double> &img, int M, int N, const std::vector<int> &dirs, const std::vector<int> &table,
             int a, KernelPath path, int threads, std::vector<double> &net, std::vector<double> &total, int pad = 0)
{
    const int S = N + pad;
    std::vector<double> wideNet(static_cast<size_t>(M) * S, -7.0), wideTotal(wideNet.size(), -7.0);
    std::vector<double> wideImg(static_cast<size_t>(M) * S, 1e300);
    std::vector<int> wideDirs(static_cast<size_t>(M) * S, -1000000);
    for (int r = 0; r < M; ++r)
        for (int c = 0; c < N; ++c) {
            wideImg[static_cast<size_t>(r) * S + c] = img[static_cast<size_t>(r) * N + c];
            wideDirs[static_cast<size_t>(r) * S + c] = dirs[static_cast<size_t>(r) * N + c];
        }
    ASSERT_EQ(runWalkKernel(PathView{wideImg.data(), S, wideDirs.data(), S, M, N}, table, a, wideNet.data(),
                            wideTotal.data(), S, path, threads),
              KERNEL_DONE);
    /* What lies between the rows stays as it was. */
    net.assign(img.size(), 0.0);
    total.assign(img.size(), 0.0);
    for (int r = 0; r < M; ++r)
        for (int c = 0; c < S; ++c) {
            const size_t k = static_cast<size_t>(r) * S + c;
            if (c < N) {
                net[static_cast<size_t>(r) * N + c] = wideNet[k];
                total[static_cast<size_t>(r) * N + c] = wideTotal[k];
            } else {
                EXPECT_EQ(wideNet[k], -7.0);
                EXPECT_EQ(wideTotal[k], -7.0);
            }
        }
}

TEST(FastWalk, NeighboursStartingAtDifferentSamplesKeepTheirOwnStart)
{
    /* a = 2 along the row: samples c-2 .. c+3. Runs of negative values of
     * every length up to the whole walk, so that pixels walked side by side
     * start at different entries or never; NaN and -0 may start a walk. */
    const int M = 7, N = 61, a = 2;
    std::vector<int> table(TABLE_SIZE, 0);
    for (int p = 0; p <= a; ++p)
        table[p * TABLE_COLUMNS + 5] = p + 1;
    std::vector<double> img(static_cast<size_t>(M) * N);
    for (int r = 0; r < M; ++r)
        for (int c = 0; c < N; ++c) {
            const int run = (c + r) % 9;
            double v = run < (r % 7) ? -1.5 - 0.25 * c : 0.5 * c - r;
            if (c % 13 == 5)
                v = r % 2 ? NAN : -0.0;
            img[static_cast<size_t>(r) * N + c] = v;
        }
    std::vector<int> dirs(img.size(), 5);
    std::vector<double> wantNet, wantTotal;
    referenceWalk(img, M, N, dirs, table, a, wantNet, wantTotal);
    for (KernelPath path : availablePaths()) {
        std::vector<double> net, total;
        runWalk(img, M, N, dirs, table, a, path, 1, net, total);
        EXPECT_TRUE(sameBits(net, wantNet)) << pathName(path);
        EXPECT_TRUE(sameBits(total, wantTotal)) << pathName(path);
    }
    /* All negative: every output 0 on either path. */
    for (double &v : img)
        v = -1.0 - std::fabs(v == v ? v : 1.0);
    for (KernelPath path : availablePaths()) {
        std::vector<double> net, total;
        runWalk(img, M, N, dirs, table, a, path, 1, net, total);
        EXPECT_TRUE(std::all_of(net.begin(), net.end(), [](double x) { return x == 0.0; })) << pathName(path);
        EXPECT_TRUE(std::all_of(total.begin(), total.end(), [](double x) { return x == 0.0; })) << pathName(path);
    }
}

TEST(FastWalk, EveryThreadCountMatchesTheReference)
{
    std::mt19937_64 rng(404);
    const std::vector<std::pair<int, int>> shapes = {{1, 1}, {1, 40}, {40, 1}, {5, 5}, {9, 30}, {30, 9},
                                                     {20, 21}, {23, 64}, {3, 100}};
    const std::vector<int> straight = lineTable();
    for (int a : {0, 1, 3, 8})
        for (auto [M, N] : shapes)
            for (double low : {0.0, -1.0}) {
                std::vector<double> img = walkImage(rng, M, N, low);
                std::uniform_int_distribution<int> dir(0, 360);
                std::vector<int> dirs(img.size());
                for (int &d : dirs)
                    d = dir(rng);
                for (const std::vector<int> &table : {straight, randomTable(rng, a)}) {
                    std::vector<double> wantNet, wantTotal;
                    referenceWalk(img, M, N, dirs, table, a, wantNet, wantTotal);
                    for (KernelPath path : availablePaths())
                        for (int threads = 0; threads <= 5; ++threads) {
                            std::vector<double> net, total;
                            /* Odd thread counts walk a view with longer rows. */
                            runWalk(img, M, N, dirs, table, a, path, threads, net, total, threads % 2 ? 3 : 0);
                            ASSERT_TRUE(sameBits(net, wantNet))
                                << M << "x" << N << " a " << a << " threads " << threads << " " << pathName(path);
                            ASSERT_TRUE(sameBits(total, wantTotal))
                                << M << "x" << N << " a " << a << " threads " << threads << " " << pathName(path);
                        }
                }
            }
}

} // namespace
