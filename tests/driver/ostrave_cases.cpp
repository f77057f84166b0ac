/* [net, tv] = Ostrave(image, directions, table, halfLength): the kinds of
 * calls the Octave tests make, two outputs and one. */
#include "cases.h"

#include <cmath>

namespace {

enum { STEPS = 80, COLUMNS = 722, DIRECTIONS = 361 };

/* An 80 x 722 table: steps 0..a of every direction drawn from [-(a+1), a+1]
 * (so interior walks stay inside the image), the rest zero. */
std::vector<double> randomTable(uint64_t seed, int a)
{
    std::vector<double> t(static_cast<size_t>(STEPS) * COLUMNS, 0.0);
    std::vector<double> u = uniformValues(seed, t.size(), 0.0, 1.0);
    for (int q = 0; q < COLUMNS; ++q)
        for (int p = 0; p <= a; ++p) {
            size_t k = static_cast<size_t>(p) + static_cast<size_t>(STEPS) * q;
            t[k] = std::floor(u[k] * (2 * a + 3)) - (a + 1);
        }
    return t;
}

/* A table whose direction `d` walks the given column and row offsets. */
std::vector<double> tableFor(int d, const std::vector<double> &columnOffsets, const std::vector<double> &rowOffsets)
{
    std::vector<double> t(static_cast<size_t>(STEPS) * COLUMNS, 0.0);
    for (size_t p = 0; p < columnOffsets.size(); ++p)
        t[p + static_cast<size_t>(STEPS) * d] = columnOffsets[p];
    for (size_t p = 0; p < rowOffsets.size(); ++p)
        t[p + static_cast<size_t>(STEPS) * (DIRECTIONS + d)] = rowOffsets[p];
    return t;
}

std::vector<mxArray *> call(mxArray *image, mxArray *directions, const std::vector<double> &table, double a)
{
    return {image, directions, arrayOf({STEPS, COLUMNS}, table), standinCreateScalar(a)};
}

std::vector<mxArray *> randomCall(int m, int n, int a, uint64_t seed, double lo)
{
    size_t pixels = static_cast<size_t>(m) * static_cast<size_t>(n);
    std::vector<double> directions = uniformValues(seed + 1, pixels, 0.0, 361.0);
    return call(arrayOf({m, n}, uniformValues(seed, pixels, lo, 1.0)), arrayOf({m, n}, directions),
                randomTable(seed + 2, a), a);
}

/* One row of pixels, all walking direction 0 along the row. */
std::vector<mxArray *> rowCall(const std::vector<double> &row, const std::vector<double> &columnOffsets)
{
    const int n = static_cast<int>(row.size());
    return call(arrayOf({1, n}, row), arrayOf({1, n}, {}), tableFor(0, columnOffsets, {}),
                static_cast<double>(columnOffsets.size()) - 1);
}

} // namespace

void ostraveCases(std::vector<DriverCase> &cases)
{
    cases.push_back(okCase("row 9 5 3 4 8 1 2, offsets -1 0 1 2",
                           [] { return rowCall({9, 5, 3, 4, 8, 1, 2}, {1, 2}); }, 2));
    cases.push_back(okCase("leading negative samples", [] {
        return call(arrayOf({5, 5}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -2, -1, 3, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                    arrayOf({5, 5}, {}), tableFor(0, {0, 0}, {1, 2}), 1);
    }, 2));
    cases.push_back(okCase("a = 2 with a zero first step", [] {
        std::vector<double> img(7 * 7, 1.0);
        const double row[] = {16, 25, 36, 49};
        for (int j = 0; j < 4; ++j)
            img[3 + 7 * (2 + j)] = row[j];
        return call(arrayOf({7, 7}, img), arrayOf({7, 7}, {}), tableFor(0, {0, 1, 2}, {}), 2);
    }, 2));

    const struct {
        int m, n, a;
        double lo;
    } shapes[] = {{1, 1, 0, 0.0},   {1, 7, 1, 0.0},   {7, 1, 1, 0.0},   {6, 6, 2, 0.0}, {20, 30, 0, -0.5},
                  {20, 30, 1, 0.0}, {33, 17, 2, -1.0}, {64, 48, 5, 0.0}, {40, 60, 79, 0.0}};
    uint64_t seed = 500;
    for (const auto &s : shapes) {
        const int m = s.m, n = s.n, a = s.a;
        const double lo = s.lo;
        cases.push_back(okCase("random " + std::to_string(m) + "x" + std::to_string(n) + " a=" + std::to_string(a),
                               [=] { return randomCall(m, n, a, seed, lo); }, 2));
        seed += 3;
    }
    cases.push_back(okCase("one output", [] { return randomCall(12, 9, 2, 600, 0.0); }, 1));
    cases.push_back(okCase("no output requested", [] { return randomCall(5, 4, 1, 610, 0.0); }, 0));
    cases.push_back(okCase("fractional directions", [] {
        std::vector<mxArray *> in = randomCall(9, 8, 1, 620, 0.0);
        for (size_t k = 0; k < 72; ++k)
            mxGetPr(in[1])[k] = (k % 2) ? 12.9 : 0.5;
        return in;
    }, 2));
    cases.push_back(okCase("non-finite and signed-zero pixels", [] {
        std::vector<mxArray *> in = randomCall(8, 9, 1, 630, 0.0);
        double *img = mxGetPr(in[0]);
        img[0] = NAN;
        img[10] = -0.0;
        img[40] = INFINITY;
        img[41] = -INFINITY;
        return in;
    }, 2));
    /* NaNs of both signs, other payloads and signaling ones: a difference
     * or a sum meeting two of them returns one by the operand order alone;
     * Inf - Inf makes a new NaN. */
    for (int threads : {0, 3})
        cases.push_back(okCase("NaN and infinite pixels, " + std::to_string(threads) + " threads", [=] {
            std::vector<mxArray *> in = randomCall(30, 40, 3, 635, 0.0);
            const double nans[] = {fromBits(0x7ff8000000000123ull), fromBits(0xfff8000000000456ull), -NAN,
                                   fromBits(0x7ff0000000000789ull), INFINITY, -INFINITY};
            double *img = mxGetPr(in[0]);
            for (size_t k = 0; k < 1200; k += 4)
                img[k] = nans[(k / 4) % 6];
            in.push_back(standinCreateScalar(threads));
            return in;
        }, 2));
    /* Results never depend on the thread count. */
    for (int threads : {1, 2, 3, 8})
        cases.push_back(okCase("random 64x48 a=5, " + std::to_string(threads) + " threads", [=] {
            std::vector<mxArray *> in = randomCall(64, 48, 5, 645, 0.0);
            in.push_back(standinCreateScalar(threads));
            return in;
        }, 2));
    cases.push_back(okCase("constant image", [] {
        std::vector<mxArray *> in = randomCall(10, 11, 2, 640, 0.0);
        for (size_t k = 0; k < 110; ++k)
            mxGetPr(in[0])[k] = 0.25;
        return in;
    }, 2));
    cases.push_back(okCase("3-D image", [] {
        std::vector<mxArray *> in = randomCall(6, 7, 1, 650, 0.0);
        standinDestroy(in[0]);
        in[0] = arrayOf({6, 7, 3}, uniformValues(651, 126, 0.0, 1.0));
        return in;
    }, 2));
    cases.push_back(okCase("longer direction map", [] {
        std::vector<mxArray *> in = randomCall(5, 6, 1, 660, 0.0);
        standinDestroy(in[1]);
        std::vector<double> d = uniformValues(661, 30, 0.0, 361.0);
        d.resize(50, 1e9);
        in[1] = arrayOf({1, 50}, d);
        return in;
    }, 2));
    for (auto dims : std::vector<std::vector<int>>{{0, 0}, {0, 5}, {4, 0}})
        cases.push_back(okCase("empty " + std::to_string(dims[0]) + "x" + std::to_string(dims[1]), [=] {
            return call(arrayOf(dims, {}), standinCreateMatrix(0, 0), randomTable(670, 1), 1);
        }, 2));

    /* Bad arguments; the texts carry numbers, so the C runtimes' formatting
     * is compared too. */
    for (size_t count : {0, 3})
        cases.push_back(errorCase(std::to_string(count) + " inputs", [=] {
            std::vector<mxArray *> in = randomCall(4, 4, 1, 700, 0.0);
            for (size_t k = count; k < in.size(); ++k)
                standinDestroy(in[k]);
            in.resize(count);
            return in;
        }, "Ostrave:nargin", 0, 2));
    const struct {
        const char *name;
        size_t arg;
        int cls, flags;
    } badClasses[] = {{"single image", 0, STANDIN_SINGLE, 0},
                      {"uint8 image", 0, STANDIN_UINT8, 0},
                      {"complex direction map", 1, STANDIN_DOUBLE, STANDIN_COMPLEX},
                      {"logical direction map", 1, STANDIN_LOGICAL, 0},
                      {"sparse table", 2, STANDIN_DOUBLE, STANDIN_SPARSE},
                      {"int32 table", 2, STANDIN_INT32, 0}};
    for (const auto &b : badClasses)
        cases.push_back(errorCase(b.name, [=] {
            std::vector<mxArray *> in = randomCall(4, 4, 1, 710, 0.0);
            mxArray *bad = standinCreateArray(b.cls, mxGetNumberOfDimensions(in[b.arg]), mxGetDimensions(in[b.arg]),
                                              b.flags);
            standinDestroy(in[b.arg]);
            in[b.arg] = bad;
            return in;
        }, "Ostrave:badClass", 0, 2));
    const struct {
        const char *name;
        size_t arg;
        std::vector<int> dims;
        const char *id;
    } badSizes[] = {{"empty half-length", 3, {0, 0}, "Ostrave:badScalar"},
                    {"1x2 half-length", 3, {1, 2}, "Ostrave:badScalar"},
                    {"short direction map", 1, {4, 3}, "Ostrave:mapSize"},
                    {"80x721 table", 2, {80, 721}, "Ostrave:tableSize"}};
    for (const auto &b : badSizes)
        cases.push_back(errorCase(b.name, [=] {
            std::vector<mxArray *> in = randomCall(4, 4, 1, 720, 0.0);
            standinDestroy(in[b.arg]);
            in[b.arg] = arrayOf(b.dims, {});
            return in;
        }, b.id, 0, 2));
    /* Out-of-range values: the half-length, and one entry of the direction
     * map (with a single output requested). */
    const struct {
        const char *name;
        size_t arg, at;
        double value;
        int nlhs;
        const char *id;
    } badValues[] = {{"half-length -1", 3, 0, -1, 2, "Ostrave:halfLength"},
                     {"half-length 80", 3, 0, 80, 2, "Ostrave:halfLength"},
                     {"half-length NaN", 3, 0, NAN, 2, "Ostrave:halfLength"},
                     {"half-length Inf", 3, 0, INFINITY, 2, "Ostrave:halfLength"},
                     {"half-length 1e20", 3, 0, 1e20, 2, "Ostrave:halfLength"},
                     {"half-length 2^31", 3, 0, 2147483648.0, 2, "Ostrave:halfLength"},
                     {"direction 361", 1, 9, 361, 1, "Ostrave:badDirection"},
                     {"direction -1", 1, 9, -1, 1, "Ostrave:badDirection"},
                     {"direction NaN", 1, 9, NAN, 1, "Ostrave:badDirection"},
                     {"direction 1e300", 1, 9, 1e300, 1, "Ostrave:badDirection"},
                     {"direction 2^31", 1, 9, 2147483648.0, 1, "Ostrave:badDirection"}};
    for (const auto &b : badValues)
        cases.push_back(errorCase(b.name, [=] {
            std::vector<mxArray *> in = randomCall(4, 4, 1, 730, 0.0);
            mxGetPr(in[b.arg])[b.at] = b.value;
            return in;
        }, b.id, 0, b.nlhs));

    /* The host abandons the call from inside its own allocator. */
    for (long k : {1, 2, 3, 4})
        cases.push_back(errorCase("host allocation " + std::to_string(k) + " fails",
                                  [] { return randomCall(6, 5, 1, 680, 0.0); }, "standin:outOfMemory", k, 2));
}
