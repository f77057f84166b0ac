/* [net, tv] = Ostrave(image, directions, table, halfLength[, threads]): the
 * kinds of calls users make, two outputs, one or none, special values, and
 * every kind of bad input. */
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

/* Ostrave(img, map, T, 1): img ones, map and T zeros; the base of the bad calls. */
std::vector<mxArray *> good()
{
    return call(filledArray(2, 3, 1.0), filledArray(2, 3, 0.0), std::vector<double>(STEPS * COLUMNS, 0.0), 1);
}

std::vector<mxArray *> replacedIn(std::vector<mxArray *> in, size_t k, mxArray *a)
{
    if (k < in.size())
        standinDestroy(in[k]);
    in.resize(k + 1 > in.size() ? k + 1 : in.size());
    in[k] = a;
    return in;
}

/* A table whose every direction steps one column right per step. */
std::vector<double> rightwardTable()
{
    std::vector<double> t(STEPS * COLUMNS, 0.0);
    for (int p = 0; p < STEPS; ++p)
        for (int d = 0; d < DIRECTIONS; ++d)
            t[p + static_cast<size_t>(STEPS) * d] = p + 1;
    return t;
}

std::vector<mxArray *> constantCall(std::vector<int> dims, double v, double direction, double a)
{
    size_t n = 1;
    for (int d : dims)
        n *= static_cast<size_t>(d);
    return call(arrayOf(dims, std::vector<double>(n, v)), filledArray(dims[0], dims[1], direction), rightwardTable(),
                a);
}

mxArray *declared(const std::vector<int> &dims)
{
    return standinCreateArray(STANDIN_DOUBLE, static_cast<int>(dims.size()), dims.data(), STANDIN_NODATA);
}

} // namespace

void ostraveCases(std::vector<DriverCase> &cases)
{
    for (int nlhs : {2, 1, 0}) {
        const std::string outputs = nlhs == 2 ? "" : nlhs ? ", one output" : ", no output requested";
        DriverCase c = okCase("row 9 5 3 4 8 1 2, offsets -1 0 1 2" + outputs,
                              [] { return rowCall({9, 5, 3, 4, 8, 1, 2}, {1, 2}); }, nlhs);
        std::vector<std::vector<double>> want = {{6, 5, 3, 2, 2, 6, 1}, {6, 7, 7, 12, 12, 8, 1}};
        want.resize(nlhs == 2 ? 2 : 1);
        cases.push_back(c.values(want));
    }
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
    /* 0 x 7 with more than 2^31 planes: emptiness comes before the size limit. */
    for (auto dims : std::vector<std::vector<int>>{{0, 0}, {0, 5}, {4, 0}, {5, 0}, {0, 7, 65536, 65536}})
        cases.push_back(okCase("empty " + std::to_string(dims[0]) + "x" + std::to_string(dims[1]) +
                                   (dims.size() > 2 ? "x65536x65536" : ""),
                               [=] {
                                   return call(arrayOf(dims, {}), standinCreateMatrix(0, 0), randomTable(670, 1), 1);
                               }, 2));
    /* Column-major inputs, fractional directions and half-lengths, a NaN start. */
    for (int a : {0, 2, 5})
        for (auto s : std::vector<std::pair<int, int>>{{1, 1}, {1, 12}, {12, 1}, {9, 14}, {20, 17}}) {
            const int m = s.first, n = s.second;
            cases.push_back(okCase("random " + std::to_string(m) + "x" + std::to_string(n) + " a=" + std::to_string(a) +
                                       ".7, fractional directions",
                                   [=] {
                                       const size_t pixels = static_cast<size_t>(m) * n;
                                       std::vector<double> img = uniformValues(800 + a, pixels, -0.5, 3.0);
                                       img[0] = NAN;
                                       return call(arrayOf({m, n}, img),
                                                   arrayOf({m, n}, uniformValues(801 + a, pixels, 0.0, 360.999)),
                                                   randomTable(802 + a, a), a + 0.7);
                                   }, 2));
        }
    cases.push_back(okCase("table as one long row", [] {
        std::vector<mxArray *> in = randomCall(6, 7, 2, 820, 0.0);
        std::vector<double> t = hostValues(in[2]);
        t.resize(t.size() + 3, NAN);
        return replacedIn(in, 2, arrayOf({1, static_cast<int>(t.size())}, t));
    }, 2));
    /* Values far outside int range, NaN and the int extremes, in every
     * direction at every step used: every row offset leaves a 4 x 5 image
     * from every pixel, so each walk takes the pixel alone. */
    for (double a : {0.0, 3.0, 79.0})
        cases.push_back(okCase("huge table values, a=" + std::to_string(static_cast<int>(a)), [=] {
            const double huge[] = {1e10, -1e10, NAN, 2147483648.0, -2147483648.0, 1073741824.0, -1073741824.0, 5, -4};
            std::vector<double> table(STEPS * COLUMNS), dirs(20);
            for (size_t k = 0; k < table.size(); ++k)
                table[k] = huge[k % 9];
            for (size_t k = 0; k < dirs.size(); ++k)
                dirs[k] = static_cast<double>(k * 17);
            return call(arrayOf({4, 5}, uniformValues(830, 20, 0.0, 1.0)), arrayOf({4, 5}, dirs), table, a);
        }, 2).values({std::vector<double>(20, 0.0), std::vector<double>(20, 0.0)}));
    cases.push_back(okCase("direction 360.5", [] {
        return replacedIn(good(), 1, arrayOf({2, 3}, {360.5, 0, 0, 0, 0, 0}));
    }, 2));
    cases.push_back(okCase("int32 half-length", [] {
        return replacedIn(good(), 3, arrayOf({1, 1}, {2.0}, STANDIN_INT32));
    }, 2));
    threadCountCases(cases, "random 70x45", [] {
        std::vector<mxArray *> in = randomCall(70, 45, 4, 840, -0.5);
        for (size_t k = 0; k < 3150; k += 11)
            mxGetPr(in[0])[k] = k % 2 ? -0.0 : NAN;
        return in;
    }, 2);
    cases.push_back(okCase("constant 6x9, two outputs", [] { return constantCall({6, 9}, 2.0, 7.0, 2); }, 2));
    cases.push_back(okCase("constant 5x4, one output", [] { return constantCall({5, 4}, 1.0, 0.0, 0); }, 1));
    cases.push_back(okCase("constant 3x3x2, a=79", [] { return constantCall({3, 3, 2}, 1.0, 360.0, 79); }, 2));
    cases.push_back(okCase("constant 256x256 on two threads", [] {
        return replacedIn(constantCall({256, 256}, 1.0, 4.0, 3), 4, standinCreateScalar(2));
    }, 2));

    /* Ctrl-C, as for Lantrel: the interrupt query says yes from its k-th time on. */
    const struct {
        const char *name;
        long k;
        int m, n;
        double threads;
    } interrupts[] = {{"first query", 1, 64, 48, 1}, {"in the walk", 5, 64, 48, 1}, {"two threads", 1, 256, 256, 2},
                      {"never in time", 1000000, 64, 48, 1}};
    for (const auto &t : interrupts) {
        const int m = t.m, n = t.n;
        const double threads = t.threads;
        const std::function<std::vector<mxArray *>()> make = [=] {
            return replacedIn(randomCall(m, n, 5, 690, 0.0), 4, standinCreateScalar(threads));
        };
        const std::string name = std::string("interrupted, ") + t.name;
        cases.push_back((t.k < 1000000 ? errorCase(name, make, "Ostrave:interrupted", 0, 2).text("Interrupted")
                                       : okCase(name, make, 2))
                            .interruptedAt(t.k)
                            .with(CASE_LOCAL));
    }

    /* Bad arguments; the texts carry numbers, so the C runtimes' formatting
     * is compared too. */
    for (size_t count : {0, 3})
        cases.push_back(errorCase(std::to_string(count) + " inputs", [=] {
            std::vector<mxArray *> in = good();
            for (size_t k = count; k < in.size(); ++k)
                standinDestroy(in[k]);
            in.resize(count);
            return in;
        }, "Ostrave:nargin", 0, 2).text(count ? "(got 3)" : "Four inputs are required")
                            .doc(count ? "`Ostrave(img, map, T)`" : "`Ostrave()`"));
    /* More outputs than the two there are, refused before any work (even
     * before the count of inputs). */
    cases.push_back(errorCase("3 outputs", good, "Ostrave:nargout", 0, 3)
                        .text("There are two outputs (the net change and the total variation); 3 were asked for.")
                        .with(CASE_UNREAD));
    cases.push_back(errorCase("4 outputs, no inputs", [] { return std::vector<mxArray *>{}; }, "Ostrave:nargout", 0, 4)
                        .with(CASE_UNREAD));
    struct Bad {
        const char *name;
        size_t arg;
        std::function<mxArray *()> make;
        const char *id;
        const char *text;
        const char *doc;
    };
    const auto cls = [](int c, int flags = 0) {
        return [=] { return arrayOf({2, 3}, std::vector<double>(6, 1.0), c, flags); };
    };
    const auto scalar = [](double v) { return [=] { return standinCreateScalar(v); }; };
    const auto dirs = [](std::vector<double> d) { return [=] { return arrayOf({2, 3}, d); }; };
    const char *const image = "image (argument 1)", *const halfLength = "half-length (argument 4)";
    const Bad bad[] = {
        {"single image", 0, cls(STANDIN_SINGLE), "Ostrave:badClass", image, "`Ostrave(single(img), map, T, 1)`"},
        {"uint8 image", 0, cls(STANDIN_UINT8), "Ostrave:badClass", image, "`Ostrave(uint8(img), ...)`"},
        {"logical image", 0, cls(STANDIN_LOGICAL), "Ostrave:badClass", image, "`Ostrave(img > 0, ...)` (logical)"},
        {"char image", 0, cls(STANDIN_CHAR), "Ostrave:badClass", image, "`Ostrave('text', ...)` (char)"},
        {"cell image", 0, cls(STANDIN_CELL), "Ostrave:badClass", image, "`Ostrave({img}, ...)` (cell)"},
        {"complex image", 0, cls(STANDIN_DOUBLE, STANDIN_COMPLEX), "Ostrave:badClass", image,
         "`Ostrave(img + 1i, ...)` (complex)"},
        {"sparse image", 0, cls(STANDIN_DOUBLE, STANDIN_SPARSE), "Ostrave:badClass", image,
         "`Ostrave(sparse(img), ...)`"},
        {"int32 direction map", 1, cls(STANDIN_INT32), "Ostrave:badClass", "direction map (argument 2)",
         "`Ostrave(img, int32(map), T, 1)`"},
        {"complex direction map", 1, cls(STANDIN_DOUBLE, STANDIN_COMPLEX), "Ostrave:badClass",
         "direction map (argument 2)", ""},
        {"logical direction map", 1, cls(STANDIN_LOGICAL), "Ostrave:badClass", "direction map (argument 2)", ""},
        {"single table", 2, [] { return arrayOf({80, 722}, {}, STANDIN_SINGLE); }, "Ostrave:badClass",
         "direction table (argument 3)", "`Ostrave(img, map, single(T), 1)`"},
        {"sparse table", 2, [] { return arrayOf({80, 722}, {}, STANDIN_DOUBLE, STANDIN_SPARSE); }, "Ostrave:badClass",
         "direction table (argument 3)", ""},
        {"int32 table", 2, [] { return arrayOf({80, 722}, {}, STANDIN_INT32); }, "Ostrave:badClass",
         "direction table (argument 3)", ""},
        {"1x2 half-length", 3, [] { return standinCreateMatrix(1, 2); }, "Ostrave:badScalar", halfLength,
         "`Ostrave(img, map, T, [1 2])`"},
        {"empty half-length", 3, [] { return standinCreateMatrix(0, 0); }, "Ostrave:badScalar", halfLength,
         "`Ostrave(img, map, T, [])`"},
        {"char half-length", 3, [] { return arrayOf({1, 1}, {49.0}, STANDIN_CHAR); }, "Ostrave:badScalar", halfLength,
         "`Ostrave(img, map, T, '1')`"},
        {"2x3x0 image", 0, [] { return arrayOf({2, 3, 0}, {}); }, "Ostrave:imageSize", image,
         "`Ostrave(zeros(2, 3, 0), map, T, 1)`"},
        {"1x5 direction map", 1, [] { return filledArray(1, 5, 0.0); }, "Ostrave:mapSize",
         "direction map (argument 2) has 5 elements; the 2 x 3 image needs at least 6",
         "`Ostrave(img, zeros(1, 5), T, 1)` (2×3 image)"},
        {"2x2 direction map", 1, [] { return filledArray(2, 2, 0.0); }, "Ostrave:mapSize", "has 4 elements", ""},
        {"722x79 table", 2, [] { return filledArray(722, 79, 0.0); }, "Ostrave:tableSize", "has 57038 elements",
         "`Ostrave(img, map, zeros(722, 79), 1)`"},
        {"80x721 table", 2, [] { return filledArray(80, 721, 0.0); }, "Ostrave:tableSize",
         "direction table (argument 3)", ""},
        {"half-length NaN", 3, scalar(NAN), "Ostrave:halfLength", "half-length (argument 4) is NaN",
         "`Ostrave(img, map, T, NaN)`"},
        {"half-length 80", 3, scalar(80), "Ostrave:halfLength", "is 80;", "`Ostrave(img, map, T, 80)`"},
        {"half-length -1", 3, scalar(-1), "Ostrave:halfLength", "is -1;", "`Ostrave(img, map, T, -1)`"},
        {"half-length Inf", 3, scalar(INFINITY), "Ostrave:halfLength", halfLength, ""},
        {"half-length 1e20", 3, scalar(1e20), "Ostrave:halfLength", halfLength, ""},
        {"half-length 2^31", 3, scalar(2147483648.0), "Ostrave:halfLength", halfLength, ""},
        {"half-length 3e9", 3, scalar(3e9), "Ostrave:halfLength", "is 3000000000;", ""},
        {"direction 361", 1, dirs({0, 0, 0, 0, 0, 361}), "Ostrave:badDirection", "holds 361 at row 2, column 3",
         "`Ostrave(img, [0 0 0; 0 0 361], T, 1)`"},
        {"direction -1", 1, dirs({0, 0, -1, 0, 0, 0}), "Ostrave:badDirection", "holds -1 at row 1, column 2",
         "`Ostrave(img, [0 -1 0; 0 0 0], T, 1)`"},
        {"direction NaN", 1, dirs({0, NAN, 0, 0, 0, -5}), "Ostrave:badDirection", "holds NaN at row 2, column 1",
         "`Ostrave(img, [0 0 0; NaN 0 0], T, 1)`"},
        {"direction 1e10", 1, dirs({0, 0, 0, 1e10, 0, 0}), "Ostrave:badDirection", "holds 10000000000 at row 2, column 2",
         ""},
        {"direction 1e300", 1, dirs({0, 0, 0, 0, 1e300, 0}), "Ostrave:badDirection", "direction map (argument 2)", ""},
        {"direction 2^31", 1, dirs({2147483648.0, 0, 0, 0, 0, 0}), "Ostrave:badDirection", "direction map (argument 2)",
         ""},
    };
    for (const Bad &b : bad) {
        const size_t arg = b.arg;
        const std::function<mxArray *()> make = b.make;
        const int nlhs = std::string(b.id) == "Ostrave:badDirection" ? 1 : 2; /* one output asked for */
        cases.push_back(errorCase(b.name, [=] { return replacedIn(good(), arg, make()); }, b.id, 0, nlhs)
                            .text(b.text)
                            .doc(b.doc));
    }
    badThreadCases(cases, "Ostrave:badThreads", "thread count (argument 5)", good, 2,
                   {{"-1", "`Ostrave(img, map, T, 1, -1)` (thread count)"}, {"'a'", "`Ostrave(img, map, T, 1, 'a')`"}});
    cases.push_back(errorCase("short table, empty image", [] {
        return replacedIn(call(arrayOf({0, 3}, {}), standinCreateMatrix(0, 0), {}, 1), 2, standinCreateMatrix(1, 1));
    }, "Ostrave:tableSize", 0, 2).text("direction table (argument 3)"));
    /* More pixels per plane than 32-bit counts hold, refused before anything is allocated. */
    for (std::vector<int> dims : std::vector<std::vector<int>>{{65536, 32768}, {46341, 46341}, {2, 1073741824}}) {
        std::string name = "declared";
        for (int d : dims)
            name += " " + std::to_string(d);
        cases.push_back(errorCase(name, [=] {
            return replacedIn(replacedIn(good(), 0, declared(dims)), 1, declared(dims));
        }, "Ostrave:tooLarge", 0, 2)
                            .text("image (argument 1) has more than 2^31-1 pixels per plane")
                            .with(CASE_LOCAL | CASE_UNREAD)
                            .doc(name == "declared 46341 46341"
                                     ? "`Ostrave(zeros(46341), zeros(46341), T, 1)` (more than 2³¹ − 1 pixels)"
                                     : ""));
    }
    DriverCase ownMemory = errorCase("the module's first allocation fails", good, "Ostrave:outOfMemory", 0, 2)
                               .text("Out of memory for a 2 x 3 image.")
                               .with(CASE_LOCAL)
                               .doc("any call when the module's own memory runs out");
    ownMemory.failModuleAllocation = 1;
    cases.push_back(ownMemory);

    /* The host abandons the call from inside its own allocator. */
    for (long k : {1, 2, 3, 4})
        cases.push_back(errorCase("host allocation " + std::to_string(k) + " fails",
                                  [] { return randomCall(6, 5, 1, 680, 0.0); }, "standin:outOfMemory", k, 2));
}
