/* Lantrel(image, ~, weights, ~, lambda, iterations, attenuation[, threads]):
 * the kinds of calls users make, special values whose bits must agree
 * between builds, and every kind of bad input. */
#include "cases.h"

#include <cmath>

namespace {

std::vector<mxArray *> call(mxArray *image, mxArray *weights, double lambda, double iterations, double attenuation)
{
    return {image, standinCreateMatrix(0, 0), weights, standinCreateMatrix(0, 0), standinCreateScalar(lambda),
            standinCreateScalar(iterations), standinCreateScalar(attenuation)};
}

std::vector<mxArray *> randomCall(int m, int n, int planes, uint64_t seed, double lambda, double iterations,
                                  double attenuation)
{
    size_t pixels = static_cast<size_t>(m) * static_cast<size_t>(n);
    std::vector<int> dims = {m, n};
    if (planes != 1)
        dims.push_back(planes);
    return call(arrayOf(dims, uniformValues(seed, pixels * static_cast<size_t>(planes), -3.0, 3.0)),
                arrayOf({m, n}, uniformValues(seed + 1, pixels, 0.0, 2.0)), lambda, iterations, attenuation);
}

mxArray *ones34() { return filledArray(3, 4, 1.0); }

std::vector<mxArray *> withThreads(std::vector<mxArray *> in, mxArray *threads)
{
    in.push_back(threads);
    return in;
}

/* Constant image and weights: the calls whose allocations are failed in turn. */
std::vector<mxArray *> constantCall(std::vector<int> dims, double v, double w, double iterations)
{
    size_t n = 1;
    for (int d : dims)
        n *= static_cast<size_t>(d);
    return call(arrayOf(dims, std::vector<double>(n, v)), filledArray(dims[0], dims[1], w), 3.0, iterations, 2.0);
}

mxArray *declared(const std::vector<int> &dims)
{
    return standinCreateArray(STANDIN_DOUBLE, static_cast<int>(dims.size()), dims.data(), STANDIN_NODATA);
}

const char nargText[] = "Corvane must be called with 5 arguments. Please see Pemble for more details.";
const char memoryText[] = "memAllocDouble: Memory is too huge.\n";

std::vector<mxArray *> replaced(size_t k, mxArray *a)
{
    std::vector<mxArray *> in = call(ones34(), ones34(), 1, 1, 2);
    standinDestroy(in[k]);
    in[k] = a;
    return in;
}

std::vector<mxArray *> firstInputs(size_t count)
{
    std::vector<mxArray *> in = call(ones34(), ones34(), 1, 1, 2);
    for (size_t k = count; k < in.size(); ++k)
        standinDestroy(in[k]);
    in.resize(count);
    return in;
}

} // namespace

void lantrelCases(std::vector<DriverCase> &cases)
{
    const double quarter = 0.7500000000000001, half = 1.5000000000000002;
    cases.push_back(okCase("2x3 example", [] {
        return call(arrayOf({2, 3}, {0, 0, 3, 3, 0, 0}), arrayOf({2, 3}, std::vector<double>(6, 1.0)), 2, 1, 4);
    }).values({{quarter, quarter, half, half, quarter, quarter}}));
    cases.push_back(okCase("1x5 row", [] {
        return call(arrayOf({1, 5}, {1, 5, 2, 8, 3}), arrayOf({1, 5}, std::vector<double>(5, 1.0)), 1, 1, 1);
    }));

    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {17, 6}, {8, 33}, {64, 48}, {150, 97}};
    uint64_t seed = 100;
    for (const auto &s : sizes) {
        const int m = s[0], n = s[1];
        cases.push_back(okCase("random " + std::to_string(m) + "x" + std::to_string(n),
                               [=] { return randomCall(m, n, 1, seed, 5.0, 3, 2.0); }));
        seed += 2;
    }
    /* Labels are spelt out: number formatting differs between C runtimes. */
    const struct {
        const char *label;
        double value;
    } iterationCounts[] = {{"0.9", 0.9}, {"-1", -1.0}, {"2.9", 2.9}, {"2", 2.0}, {"NaN", NAN}, {"1e10", 1e10},
                         {"0", 0.0},     {"-0.9", -0.9}, {"-1e10", -1e10}, {"2^31", 2147483648.0}, {"1", 1.0}};
    for (const auto &it : iterationCounts) {
        const double iterations = it.value;
        cases.push_back(okCase(std::string("iterations ") + it.label,
                               [=] { return randomCall(5, 6, 1, 7, 3.0, iterations, 2.0); }));
    }
    cases.push_back(okCase("attenuation 1", [] { return randomCall(12, 10, 1, 21, 0.7, 4, 1.0); }));
    cases.push_back(okCase("attenuation 0", [] { return randomCall(6, 7, 1, 23, 2.0, 3, 0.0); }));
    cases.push_back(okCase("lambda 1e6", [] { return randomCall(9, 11, 1, 25, 1e6, 2, 2.0); }));
    cases.push_back(okCase("non-finite pixels", [] {
        std::vector<double> img = uniformValues(27, 30, 0.0, 1.0);
        img[4] = NAN;
        img[17] = INFINITY;
        img[22] = -0.0;
        return call(arrayOf({5, 6}, img), arrayOf({5, 6}, uniformValues(28, 30, 0.0, 1.0)), 2.0, 2, 2.0);
    }));
    cases.push_back(okCase("zero and negative weights", [] {
        std::vector<double> w = uniformValues(30, 48, -0.4, 1.0);
        w[5] = 0.0;
        return call(arrayOf({6, 8}, uniformValues(29, 48, 0.0, 1.0)), arrayOf({6, 8}, w), 3.0, 2, 2.0);
    }));
    /* NaNs of both signs, other payloads and signaling ones: where a product
     * or a difference meets two NaNs, the operand order alone decides which
     * one comes out, and invalid operations (0 * Inf, Inf - Inf, 0 / 0) make
     * new NaNs, whose sign x86 sets and ARM clears. */
    const double nanA = fromBits(0x7ff8000000000123ull), nanB = fromBits(0xfff8000000000456ull),
                 signaling = fromBits(0x7ff0000000000789ull);
    for (int threads : {0, 3})
        cases.push_back(okCase("NaN pixels and weights, " + std::to_string(threads) + " threads", [=] {
            std::vector<double> img = uniformValues(40, 40 * 37, -1.0, 1.0), w = uniformValues(41, 40 * 37, 0.0, 2.0);
            for (size_t k = 0; k < img.size(); k += 5)
                img[k] = k % 2 ? nanA : -NAN;
            for (size_t k = 2; k < w.size(); k += 7)
                w[k] = k % 2 ? nanB : NAN;
            std::vector<mxArray *> in = call(arrayOf({40, 37}, img), arrayOf({40, 37}, w), 5.0, 2, 2.0);
            in.push_back(standinCreateScalar(threads));
            return in;
        }));
    cases.push_back(okCase("NaN lambda and NaN weights", [=] {
        std::vector<double> w = uniformValues(43, 42, 0.0, 2.0);
        for (size_t k = 0; k < w.size(); k += 4)
            w[k] = nanB;
        return call(arrayOf({6, 7}, uniformValues(42, 42, -1.0, 1.0)), arrayOf({6, 7}, w), nanA, 1, 2.0);
    }).with(CASE_ANY_NAN));
    cases.push_back(okCase("signaling NaNs", [=] {
        std::vector<double> img = uniformValues(44, 42, -1.0, 1.0), w = uniformValues(45, 42, 0.0, 2.0);
        img[8] = signaling;
        w[3] = signaling;
        w[20] = nanB;
        return call(arrayOf({6, 7}, img), arrayOf({6, 7}, w), nanA, 2, 2.0);
    }).with(CASE_ANY_NAN));
    cases.push_back(okCase("infinite lambda, zero weights", [] {
        std::vector<double> w = uniformValues(47, 42, 0.0, 2.0);
        for (size_t k = 0; k < w.size(); k += 5)
            w[k] = k % 2 ? 0.0 : -0.0;
        return call(arrayOf({6, 7}, uniformValues(46, 42, -1.0, 1.0)), arrayOf({6, 7}, w), INFINITY, 2, 2.0);
    }));
    cases.push_back(okCase("infinite weights and pixels", [] {
        std::vector<double> img = uniformValues(48, 42, -1.0, 1.0), w = uniformValues(49, 42, 0.0, 2.0);
        w[9] = INFINITY;
        w[23] = -INFINITY;
        w[30] = 0.0;
        img[15] = -INFINITY;
        img[16] = INFINITY;
        return call(arrayOf({6, 7}, img), arrayOf({6, 7}, w), 3.0, 2, 2.0);
    }));
    /* Results never depend on the thread count. */
    for (int threads : {1, 2, 3, 8})
        cases.push_back(okCase("random 150x97, " + std::to_string(threads) + " threads", [=] {
            std::vector<mxArray *> in = randomCall(150, 97, 1, 50, 5.0, 3, 2.0);
            in.push_back(standinCreateScalar(threads));
            return in;
        }));
    cases.push_back(okCase("3 planes", [] { return randomCall(6, 5, 3, 31, 4.0, 2, 2.0); }));
    cases.push_back(okCase("2x2 planes in 4-D", [] {
        std::vector<mxArray *> in = randomCall(7, 5, 1, 33, 3.0, 2, 2.0);
        standinDestroy(in[0]);
        in[0] = arrayOf({7, 5, 2, 2}, uniformValues(35, 140, 0.0, 1.0));
        return in;
    }));
    cases.push_back(okCase("longer weight map", [] {
        std::vector<double> w = uniformValues(37, 12, 0.0, 1.0);
        w.resize(40, 1e300);
        return call(arrayOf({3, 4}, uniformValues(36, 12, 0.0, 1.0)), arrayOf({1, 40}, w), 2.0, 2, 2.0);
    }));
    cases.push_back(okCase("int32 iteration count", [] {
        return replaced(5, arrayOf({1, 1}, {2.0}, STANDIN_INT32));
    }));
    /* The last holds more than 2^31 planes: emptiness comes before the size limit. */
    for (auto dims : std::vector<std::vector<int>>{{0, 0}, {0, 4}, {5, 0}, {3, 4, 0}, {0, 5}, {0, 5, 65536, 65536}})
        cases.push_back(okCase("empty " + std::to_string(dims.size()) + "-D " + std::to_string(dims[0]) + "x" +
                                   std::to_string(dims[1]),
                               [=] { return call(arrayOf(dims, {}), standinCreateMatrix(0, 0), 1, 3, 2); }));
    threadCountCases(cases, "random 70x45", [] {
        return call(arrayOf({70, 45}, uniformValues(60, 3150, 0.0, 1.0)),
                    arrayOf({70, 45}, uniformValues(61, 3150, 0.0, 2.0)), 6.0, 3, 2.0);
    }, 1);
    cases.push_back(okCase("constant 5x7", [] { return constantCall({5, 7}, 1.5, 1.0, 2); }));
    cases.push_back(okCase("constant 4x3x2 planes", [] { return constantCall({4, 3, 2}, 0.5, 1.0, 1); }));
    cases.push_back(okCase("constant 3x3, no iterations", [] { return constantCall({3, 3}, 2.0, 1.0, 0); }));
    cases.push_back(okCase("constant 256x512 on two threads", [] {
        return withThreads(constantCall({256, 512}, 1.0, 0.5, 1), standinCreateScalar(2));
    }));

    /* Ctrl-C: the host's interrupt query says yes from its k-th time on, in
     * the first plane or a later one, on one thread or two; nothing comes
     * back, nothing is held. A query that never says yes changes nothing. */
    const struct {
        const char *name;
        long k;
        int m, n, planes;
        double threads;
    } interrupts[] = {{"first query", 1, 150, 97, 3, 1}, {"second plane", 50, 150, 97, 3, 1},
                      {"two threads", 2, 256, 512, 1, 2}, {"never in time", 1000000, 150, 97, 3, 1}};
    for (const auto &t : interrupts) {
        const int m = t.m, n = t.n, planes = t.planes;
        const double threads = t.threads;
        const Inputs make = [=] { return withThreads(randomCall(m, n, planes, 90, 5.0, 3, 2.0), standinCreateScalar(threads)); };
        const std::string name = std::string("interrupted, ") + t.name;
        cases.push_back((t.k < 1000000 ? errorCase(name, make, "Lantrel:interrupted").text("Interrupted")
                                       : okCase(name, make))
                            .interruptedAt(t.k)
                            .with(CASE_LOCAL));
    }

    /* More outputs than the one there is, refused before any work. */
    for (int nlhs : {2, 3})
        cases.push_back(errorCase(std::to_string(nlhs) + " outputs", [] { return call(ones34(), ones34(), 1, 1, 2); },
                                  "Lantrel:nargout", 0, nlhs)
                            .text(nlhs == 2 ? "There is one output; 2 were asked for." : "3 were asked for")
                            .with(CASE_UNREAD));
    for (size_t count : {0, 1, 5, 6}) {
        DriverCase c = errorCase(std::to_string(count) + " inputs", [=] { return firstInputs(count); },
                                 "Lantrel:nargin").text(nargText);
        cases.push_back(count == 0 ? c.doc("`Lantrel()`")
                        : count == 6 ? c.doc("`Lantrel(img, [], w, [], 1, 1)` (fewer than 7 inputs)") : c);
    }
    const struct {
        const char *name;
        int cls;
        int flags;
        const char *docImage;
    } badClasses[] = {{"single", STANDIN_SINGLE, 0, "`Lantrel(single(img), [], w, [], 1, 1, 2)`"},
                      {"uint8", STANDIN_UINT8, 0, "`Lantrel(uint8(img), ...)`"},
                      {"logical", STANDIN_LOGICAL, 0, "`Lantrel(img > 0, ...)` (logical)"},
                      {"char", STANDIN_CHAR, 0, "`Lantrel('text', ...)` (char)"},
                      {"cell", STANDIN_CELL, 0, "`Lantrel({img}, ...)` (cell)"},
                      {"complex", STANDIN_DOUBLE, STANDIN_COMPLEX, "`Lantrel(img + 1i, ...)` (complex)"},
                      {"sparse", STANDIN_DOUBLE, STANDIN_SPARSE, "`Lantrel(sparse(img), ...)`"}};
    const auto ofClass = [](int cls, int flags) { return arrayOf({3, 4}, std::vector<double>(12, 1.0), cls, flags); };
    for (const auto &b : badClasses)
        cases.push_back(errorCase(std::string(b.name) + " image", [=] { return replaced(0, ofClass(b.cls, b.flags)); },
                                  "Lantrel:badClass").text("image (argument 1)").doc(b.docImage));
    cases.push_back(errorCase("int32 weights", [=] { return replaced(2, ofClass(STANDIN_INT32, 0)); },
                              "Lantrel:badClass")
                        .text("weight map (argument 3)").doc("`Lantrel(img, [], int32(w), [], 1, 1, 2)`"));
    for (const auto &b : badClasses) {
        DriverCase c = errorCase(std::string(b.name) + " weights", [=] { return replaced(2, ofClass(b.cls, b.flags)); },
                                 "Lantrel:badClass").text("weight map (argument 3)");
        cases.push_back(b.flags == STANDIN_COMPLEX ? c.doc("`Lantrel(img, [], w + 1i, [], 1, 1, 2)`") : c);
    }
    cases.push_back(errorCase("short weight map", [] { return replaced(2, arrayOf({3, 3}, {})); }, "Lantrel:weightSize")
                        .text("weight map (argument 3) has 9 elements")
                        .doc("`Lantrel(img, [], ones(3), [], 1, 1, 2)` (3×4 image, 9 weights)"));
    cases.push_back(errorCase("empty lambda", [] { return replaced(4, standinCreateMatrix(0, 0)); },
                              "Lantrel:badScalar")
                        .text("strength lambda (argument 5)").doc("`Lantrel(img, [], w, [], [], 1, 2)`"));
    cases.push_back(errorCase("1x2 iteration count", [] { return replaced(5, standinCreateMatrix(1, 2)); },
                              "Lantrel:badScalar")
                        .text("iteration count (argument 6)").doc("`Lantrel(img, [], w, [], 1, [1 2], 2)`"));
    cases.push_back(errorCase("complex attenuation", [] {
        return replaced(6, arrayOf({1, 1}, {2.0}, STANDIN_DOUBLE, STANDIN_COMPLEX));
    }, "Lantrel:badScalar").text("attenuation (argument 7)").doc("`Lantrel(img, [], w, [], 1, 1, 2i)`"));
    cases.push_back(errorCase("char attenuation", [] { return replaced(6, arrayOf({1, 1}, {97.0}, STANDIN_CHAR)); },
                              "Lantrel:badScalar")
                        .text("attenuation (argument 7)").doc("`Lantrel(img, [], w, [], 1, 1, 'a')`"));
    badThreadCases(cases, "Lantrel:badThreads", "thread count (argument 8)",
                   [] { return call(ones34(), ones34(), 1, 1, 2); }, 1,
                   {{"-1", "`Lantrel(img, [], w, [], 1, 1, 2, -1)` (thread count)"},
                    {"NaN", "`Lantrel(img, [], w, [], 1, 1, 2, NaN)`"},
                    {"1x2", "`Lantrel(img, [], w, [], 1, 1, 2, [1 2])`"}});
    /* Element counts beyond 32 bits, refused before anything is allocated:
     * 2^31; 46341^2 > 2^31 - 1; exactly 2^31 - 1 (the +10 spare doubles
     * overflow); and a third dimension that tips it over. */
    for (std::vector<int> dims : std::vector<std::vector<int>>{
             {65536, 32768}, {46341, 46341}, {2147483647, 1}, {1000, 1000, 2148}, {2, 2, 1073741824}}) {
        std::string name = "declared";
        for (int d : dims)
            name += " " + std::to_string(d);
        cases.push_back(errorCase(name, [=] { return call(declared(dims), declared({dims[0], dims[1]}), 1, 1, 2); },
                                  "Lantrel:outOfMemory")
                            .text(memoryText)
                            .with(CASE_LOCAL | CASE_UNREAD)
                            .doc(name == "declared 46341 46341"
                                     ? "`Lantrel(zeros(46341), [], ones(46341), [], 1, 1, 2)` (more than 2³¹ − 11 elements)"
                                     : ""));
    }
    DriverCase ownMemory = errorCase("the module's first allocation fails",
                                     [] { return call(ones34(), ones34(), 1, 1, 2); }, "Lantrel:outOfMemory")
                               .text(memoryText)
                               .with(CASE_LOCAL)
                               .doc("any call when the module's own memory runs out");
    ownMemory.failModuleAllocation = 1;
    cases.push_back(ownMemory);
    /* The host abandons the call from inside its own allocator. */
    for (long k : {1, 2})
        cases.push_back(errorCase("host allocation " + std::to_string(k) + " fails",
                                  [] { return call(ones34(), ones34(), 1, 2, 2); }, "standin:outOfMemory", k));
}
