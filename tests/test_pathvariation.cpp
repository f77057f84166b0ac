/* The path-variation kernel on its own: bit-exactness against the literal
 * reference, the worked walks, and tables with offsets of any size. */
#include "kernelrun.h"
#include "pathtables.h"
#include "reference.h"
#include "testutil.h"

#include <algorithm>
#include <climits>

namespace {

struct Walk {
    std::vector<double> nc, tv;
};

Walk runWalk(const double *image, int M, int N, const std::vector<int> &dirs, const std::vector<int> &table, int a)
{
    Walk w;
    w.nc.assign(dirs.size(), 12345.0);
    w.tv.assign(dirs.size(), 12345.0);
    EXPECT_EQ(runWalkKernel(PathView{image, N, dirs.data(), N, M, N}, table, a, w.nc.data(), w.tv.data(), N),
              KERNEL_DONE);
    return w;
}

Walk runWalk(const std::vector<double> &image, int M, int N, const std::vector<int> &dirs,
             const std::vector<int> &table, int a)
{
    return runWalk(image.data(), M, N, dirs, table, a);
}

Walk reference(const std::vector<double> &image, int M, int N, const std::vector<int> &dirs,
               const std::vector<int> &table, int a, long long rowMargin = -1, long long colMargin = -1)
{
    Walk w;
    referenceWalk(image, M, N, dirs, table, a, w.nc, w.tv, rowMargin, colMargin);
    return w;
}

/* Mostly in [-1, 2], with zeros, negative zeros and a few NaN. */
std::vector<double> testImage(std::mt19937_64 &rng, int M, int N)
{
    std::vector<double> img = randomValues(rng, static_cast<size_t>(M) * N, -1.0, 2.0);
    std::uniform_int_distribution<int> pick(0, 99);
    for (double &v : img) {
        int u = pick(rng);
        v = u < 5 ? 0.0 : u < 9 ? -0.0 : u < 11 ? NAN : v;
    }
    return img;
}

std::vector<int> randomDirections(std::mt19937_64 &rng, size_t count)
{
    std::uniform_int_distribution<int> d(0, 360);
    std::vector<int> dirs(count);
    for (int &x : dirs)
        x = d(rng);
    return dirs;
}

/* One row (or column) walked with column (or row) offsets only. */
Walk lineWalk(const std::vector<double> &line, const std::vector<int> &offsets, bool asColumn = false)
{
    const int L = static_cast<int>(line.size());
    const int a = static_cast<int>(offsets.size()) - 1;
    std::vector<int> table = asColumn ? uniformTable({}, offsets) : uniformTable(offsets);
    return asColumn ? runWalk(line, L, 1, std::vector<int>(L, 0), table, a)
                    : runWalk(line, 1, L, std::vector<int>(L, 0), table, a);
}

/* Net change and total variation of an interior pixel (row and column
 * a + 1, the first interior ones) whose row holds `samples` from column 1 on
 * (the pixel's column - a); every other value is 100. */
std::pair<double, double> interiorWalk(const std::vector<double> &samples, const std::vector<int> &offsets)
{
    const int a = static_cast<int>(offsets.size()) - 1;
    const int M = 2 * a + 3, N = 2 * a + 7;
    std::vector<double> img(static_cast<size_t>(M) * N, 100.0);
    std::copy(samples.begin(), samples.end(), img.begin() + (a + 1) * N + 1);
    Walk w = runWalk(img, M, N, std::vector<int>(img.size(), 0), uniformTable(offsets), a);
    const int k = (a + 1) * N + a + 1;
    return {w.nc[k], w.tv[k]};
}

using Pair = std::pair<double, double>;

TEST(PathWalk, MatchesReferenceBitForBit)
{
    std::mt19937_64 rng(2024);
    const std::vector<int> lines = lineTable();
    int cases = 0;
    for (int a : {0, 1, 2, 8, 79}) {
        const int span = 2 * a + 3;
        /* Rows and columns without interior, with a thin one, and wide ones. */
        const std::vector<std::pair<int, int>> shapes = {
            {1, 1}, {1, 13}, {13, 1}, {span - 1, span - 1}, {span, span + 1}, {span + 1, span - 1},
            {a < 8 ? 23 : span + 4, a < 8 ? 31 : span + 7}};
        for (auto [M, N] : shapes) {
            std::vector<double> img = testImage(rng, M, N);
            std::vector<int> dirs = randomDirections(rng, img.size());
            for (const std::vector<int> &table : {lines, randomTable(rng, a)}) {
                Walk want = reference(img, M, N, dirs, table, a);
                Walk got = runWalk(img, M, N, dirs, table, a);
                ASSERT_TRUE(sameBits(got.nc, want.nc)) << "net change, a " << a << ", " << M << "x" << N;
                ASSERT_TRUE(sameBits(got.tv, want.tv)) << "total variation, a " << a << ", " << M << "x" << N;
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 5 * 7 * 2);
}

TEST(PathWalk, WalkOrderIsBackwardStepsCentreThenForwardSteps)
{
    /* Offsets -1, 0, 1, 2 on one row: every pixel is near an edge, so
     * samples outside the row are skipped. */
    Walk row = lineWalk({9, 5, 3, 4, 8, 1, 2}, {1, 2});
    EXPECT_EQ(row.nc, (std::vector<double>{6, 5, 3, 2, 2, 6, 1}));
    EXPECT_EQ(row.tv, (std::vector<double>{6, 7, 7, 12, 12, 8, 1}));

    /* The same walk down a column: row offsets are scaled to whole rows. */
    Walk column = lineWalk({9, 5, 3, 4, 8, 1, 2}, {1, 2}, true);
    EXPECT_EQ(column.nc, row.nc);
    EXPECT_EQ(column.tv, row.tv);

    /* a = 2, offsets 1, 2, 3: -2 -1 0 1 2 3, two back and three forward;
     * the leading -1 only stands in as the start. */
    EXPECT_EQ(interiorWalk({-1, 1, 4, 2, 8, 3}, {1, 2, 3}), Pair(2, 16));

    /* A zero first step samples the pixel again: 9, 9, 9, 16. */
    EXPECT_EQ(interiorWalk({0, 9, 16}, {0, 1}), Pair(7, 7));
    /* a = 2, offsets 0, 1, 2: 16, 25, 25, 25, 36, 49. */
    EXPECT_EQ(interiorWalk({100, 16, 25, 36, 49}, {0, 1, 2}), Pair(33, 33));
}

TEST(PathWalk, TheStartIsTheFirstSampleNotBelowZero)
{
    /* Walk -1, 0, 1, 2 of an interior pixel. */
    EXPECT_EQ(interiorWalk({-2, -1, 3, 5}, {1, 2}), Pair(2, 2));
    EXPECT_EQ(interiorWalk({2, -1, 5, 4}, {1, 2}), Pair(2, 10));
    /* -0.0 is a start: samples -0, 5, 2, 7. */
    EXPECT_EQ(interiorWalk({-0.0, 5, 2, 7}, {1, 2}), Pair(7, 13));

    /* A NaN start poisons the sum; its net change is NaN inside and 0 near
     * an edge. */
    Pair nanStart = interiorWalk({NAN, 1, 2, 3}, {1, 2});
    EXPECT_TRUE(std::isnan(nanStart.first));
    EXPECT_TRUE(std::isnan(nanStart.second));
    Walk nanEdge = lineWalk({NAN, 1, 2, 3}, {1, 2});
    EXPECT_EQ(bitsOf(nanEdge.nc[1]), bitsOf(0.0));
    EXPECT_TRUE(std::isnan(nanEdge.tv[1]));

    /* Constant and all-negative images: nothing changes along any walk. */
    std::mt19937_64 rng(3);
    const int M = 9, N = 11;
    std::vector<int> dirs = randomDirections(rng, M * N);
    for (double fill : {0.0, 3.5}) {
        Walk w = runWalk(std::vector<double>(M * N, fill), M, N, dirs, lineTable(), 2);
        EXPECT_TRUE(sameBits(w.nc, std::vector<double>(M * N, 0.0))) << fill;
        EXPECT_TRUE(sameBits(w.tv, std::vector<double>(M * N, 0.0))) << fill;
    }
    Walk negative = runWalk(randomValues(rng, M * N, -5.0, -0.5), M, N, dirs, lineTable(), 2);
    EXPECT_TRUE(sameBits(negative.nc, std::vector<double>(M * N, 0.0)));
    EXPECT_TRUE(sameBits(negative.tv, std::vector<double>(M * N, 0.0)));
}

TEST(PathWalk, HalfLengthZeroTakesTheCentreThenOneStep)
{
    /* One step right: the last column has nowhere to go. */
    Walk w = lineWalk({4, 1, 7}, {1});
    EXPECT_EQ(w.nc, (std::vector<double>{3, 6, 0}));
    EXPECT_EQ(w.tv, (std::vector<double>{3, 6, 0}));
}

/* Largest offset magnitude of steps 0..a, per axis, at least a + 1. */
std::pair<long long, long long> reach(const std::vector<int> &t, int a)
{
    long long rowReach = a + 1, colReach = a + 1;
    for (int p = 0; p <= a; ++p)
        for (int d = 0; d <= 360; ++d) {
            colReach = std::max(colReach, std::llabs(static_cast<long long>(t[p * 722 + d])));
            rowReach = std::max(rowReach, std::llabs(static_cast<long long>(t[p * 722 + 361 + d])));
        }
    return {rowReach, colReach};
}

TEST(PathWalk, OffsetsBeyondTheContractNeverLeaveTheImage)
{
    /* Offsets past a + 1 in a few directions, each walked from pixels that
     * are interior for a margin of a + 1: moderate ones along one axis
     * (which leave an interior) and the extreme ints along both (which
     * leave none). The result must be the reference's with the margins
     * widened to the largest offset held; the sanitizer run shows that
     * nothing outside the image is read and no index arithmetic overflows. */
    std::mt19937_64 rng(77);
    const std::vector<std::vector<int>> kinds = {
        {INT_MIN, INT_MIN + 1, -(1 << 30), -1000, 1000, 1 << 30, INT_MAX}, {-5, 5, 6}, {-6, 5, -5}};
    int withInterior = 0;
    for (int a : {0, 1, 3}) {
        for (auto [M, N] : std::vector<std::pair<int, int>>{{1, 9}, {9, 1}, {16, 17}, {40, 33}}) {
            for (size_t kind = 0; kind < kinds.size(); ++kind) {
                std::vector<int> table = randomTable(rng, a);
                std::vector<int> dirs = randomDirections(rng, static_cast<size_t>(M) * N);
                std::uniform_int_distribution<int> anyStep(0, a), anyDir(0, 360);
                int pixel = (M / 2) * N + N / 2;
                for (int x : kinds[kind]) {
                    int d = anyDir(rng);
                    if (kind != 2)
                        table[anyStep(rng) * 722 + d] = x;
                    if (kind != 1)
                        table[anyStep(rng) * 722 + 361 + d] = x;
                    dirs[pixel] = d;
                    pixel = (pixel + N + 1) % (M * N);
                }
                std::vector<double> img = testImage(rng, M, N);
                auto [rowReach, colReach] = reach(table, a);
                withInterior += M > 2 * rowReach && N > 2 * colReach;
                Walk want = reference(img, M, N, dirs, table, a, rowReach, colReach);
                Walk got = runWalk(img, M, N, dirs, table, a);
                EXPECT_TRUE(sameBits(got.nc, want.nc)) << "a " << a << ", " << M << "x" << N << ", kind " << kind;
                EXPECT_TRUE(sameBits(got.tv, want.tv)) << "a " << a << ", " << M << "x" << N << ", kind " << kind;
            }
        }
    }
    EXPECT_EQ(withInterior, 3 * 2 * 2);

    /* Offsets of exactly the image's extent. */
    std::vector<double> img = {1, 2, 3, 4, 5, 6};
    Walk extent = runWalk(img, 2, 3, {0, 1, 1, 1, 1, 2}, uniformTable({3}, {-2}), 0);
    EXPECT_EQ(extent.tv, std::vector<double>(6, 0.0));

    /* Walk -3, 0, 3, 0 (a = 1) from the pixel 2 in from the top left of a
     * 5 x 7 image (interior for a margin of a + 1) along the row, then the
     * same down the column of a 7 x 5 image: the step to -1 must be skipped,
     * not read from the guard values (50) around the image in memory. */
    for (bool down : {false, true}) {
        const int M = down ? 7 : 5, N = down ? 5 : 7;
        std::vector<double> memory(3 * 35, 50.0);
        double *img = memory.data() + 35;
        std::fill(img, img + 35, 1.0);
        const int k = 2 * N + 2;
        img[k + 3 * (down ? N : 1)] = 4.0;
        img[k - 3] = 50.0; /* row 1, column 6 for the row walk */
        std::vector<int> table = down ? uniformTable({}, {3, 0}) : uniformTable({3, 0});
        Walk far = runWalk(img, M, N, std::vector<int>(35, 0), table, 1);
        EXPECT_EQ(far.nc[k], 0.0) << "samples 1, 4, 1; down " << down;
        EXPECT_EQ(far.tv[k], 6.0) << "down " << down;
    }
}

} // namespace
