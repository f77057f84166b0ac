/* Lantrel through the stand-in host, loaded by file name as a host does:
 * argument handling, layouts, planes, errors, and that nothing leaks. */
#include "faultalloc.h"
#include "reference.h"
#include "smooth.h"
#include "store.h"
#include "testutil.h"

#include <climits>
#include <memory>

namespace {

MexFunction lantrel()
{
    static MexFunction fn = loadModuleOrFail(LANTREL_MODULE);
    return fn;
}

struct Call {
    StandinReport report{};
    mxArray *out = nullptr;
    ~Call() { standinDestroy(out); }
};

void callLantrel(Call &call, std::vector<mxArray *> inputs)
{
    callChecked(lantrel(), 1, &call.out, inputs, &call.report);
}

std::vector<mxArray *> args(mxArray *image, mxArray *weights, double lambda, double iterations, double attenuation)
{
    return {image, standinCreateMatrix(0, 0), weights, standinCreateMatrix(0, 0), standinCreateScalar(lambda),
            standinCreateScalar(iterations), standinCreateScalar(attenuation)};
}

TEST(LantrelEntry, ColumnMajorImagesMatchTheReference)
{
    std::mt19937_64 rng(99);
    for (auto [M, N] : std::vector<std::pair<int, int>>{{1, 1}, {1, 9}, {9, 1}, {2, 3}, {17, 6}, {8, 33}}) {
        std::vector<double> img = randomValues(rng, static_cast<size_t>(M) * N, -3.0, 3.0);
        std::vector<double> w = randomValues(rng, img.size(), 0.0, 2.0);
        std::vector<double> want = toRowMajor(img, M, N);
        referenceSmooth(want, M, N, toRowMajor(w, M, N), 5.0, 3, 2.0);
        Call call;
        callLantrel(call, args(hostArray({M, N}, img), hostArray({M, N}, w), 5.0, 3, 2.0));
        ASSERT_FALSE(call.report.raised) << call.report.text;
        EXPECT_EQ(mxGetDimensions(call.out)[0], M);
        EXPECT_EQ(mxGetDimensions(call.out)[1], N);
        EXPECT_TRUE(sameBits(hostValues(call.out), toColMajor(want, M, N))) << M << "x" << N;
    }
}

TEST(LantrelEntry, TwoByThreeExample)
{
    Call call;
    callLantrel(call, args(hostArray({2, 3}, {0, 0, 3, 3, 0, 0}), hostArray({2, 3}, std::vector<double>(6, 1.0)), 2,
                           1, 4));
    ASSERT_FALSE(call.report.raised) << call.report.text;
    std::vector<double> want = {0.7500000000000001, 0.7500000000000001, 1.5000000000000002,
                                1.5000000000000002, 0.7500000000000001, 0.7500000000000001};
    EXPECT_TRUE(sameBits(hostValues(call.out), want));
}

TEST(LantrelEntry, IterationCountIsTruncated)
{
    std::mt19937_64 rng(5);
    std::vector<double> img = randomValues(rng, 30, 0.0, 1.0);
    std::vector<double> w = randomValues(rng, 30, 0.0, 1.0);
    auto run = [&](double iterations) {
        Call call;
        callLantrel(call, args(hostArray({5, 6}, img), hostArray({5, 6}, w), 4.0, iterations, 2.0));
        EXPECT_FALSE(call.report.raised) << call.report.text;
        return hostValues(call.out);
    };
    for (double none : {-1.0, 0.0, 0.9, -0.9, double(NAN), 1e10, -1e10, 2147483648.0})
        EXPECT_TRUE(sameBits(run(none), img)) << "iterations " << none;
    EXPECT_TRUE(sameBits(run(2.9), run(2.0)));
    EXPECT_FALSE(sameBits(run(2.0), run(1.0)));
}

TEST(LantrelEntry, PlanesAreSmoothedIndependentlyWithOneWeightMap)
{
    std::mt19937_64 rng(11);
    const int M = 7, N = 5;
    for (auto dims : std::vector<std::vector<int>>{{M, N, 3}, {M, N, 2, 2}}) {
        int C = dims.size() == 3 ? dims[2] : dims[2] * dims[3];
        std::vector<double> img = randomValues(rng, static_cast<size_t>(M) * N * C, 0.0, 1.0);
        std::vector<double> w = randomValues(rng, M * N, 0.0, 2.0);
        Call call;
        callLantrel(call, args(hostArray(dims, img), hostArray({M, N}, w), 3.0, 2, 2.0));
        ASSERT_FALSE(call.report.raised) << call.report.text;
        ASSERT_EQ(mxGetNumberOfDimensions(call.out), static_cast<int>(dims.size()));
        std::vector<double> got = hostValues(call.out);
        for (int p = 0; p < C; ++p) {
            std::vector<double> plane(img.begin() + p * M * N, img.begin() + (p + 1) * M * N);
            std::vector<double> want = toRowMajor(plane, M, N);
            referenceSmooth(want, M, N, toRowMajor(w, M, N), 3.0, 2, 2.0);
            std::vector<double> gotPlane(got.begin() + p * M * N, got.begin() + (p + 1) * M * N);
            EXPECT_TRUE(sameBits(gotPlane, toColMajor(want, M, N))) << "plane " << p;
        }
    }
}

TEST(LantrelEntry, EmptyImagesComeBackAsCopies)
{
    /* The last holds more than 2^31 planes: emptiness comes before the size limit. */
    for (auto dims : std::vector<std::vector<int>>{{0, 0}, {0, 5}, {5, 0}, {3, 4, 0}, {0, 5, 65536, 65536}}) {
        Call call;
        callLantrel(call, args(hostArray(dims, {}), standinCreateMatrix(0, 0), 1.0, 3, 2.0));
        ASSERT_FALSE(call.report.raised) << call.report.text;
        ASSERT_EQ(mxGetNumberOfDimensions(call.out), static_cast<int>(dims.size()));
        for (size_t k = 0; k < dims.size(); ++k)
            EXPECT_EQ(mxGetDimensions(call.out)[k], dims[k]);
    }
}

TEST(LantrelEntry, OnlyTheFirstWeightsAreRead)
{
    std::mt19937_64 rng(8);
    std::vector<double> img = randomValues(rng, 12, 0.0, 1.0);
    std::vector<double> w = randomValues(rng, 12, 0.0, 1.0);
    std::vector<double> longer = w;
    longer.resize(40, 1e300);
    Call a, b;
    callLantrel(a, args(hostArray({3, 4}, img), hostArray({3, 4}, w), 2.0, 2, 2.0));
    callLantrel(b, args(hostArray({3, 4}, img), hostArray({1, 40}, longer), 2.0, 2, 2.0));
    ASSERT_FALSE(a.report.raised || b.report.raised);
    EXPECT_TRUE(sameBits(hostValues(b.out), hostValues(a.out)));
}

struct BadCase {
    const char *what;
    std::vector<mxArray *> (*make)();
    const char *id;
    const char *text;
};

mxArray *img34() { return hostArray({3, 4}, std::vector<double>(12, 1.0)); }
mxArray *w34() { return hostArray({3, 4}, std::vector<double>(12, 1.0)); }
mxArray *ofClass(int cls, int flags = 0) { return hostArray({3, 4}, std::vector<double>(12, 1.0), cls, flags); }
std::vector<mxArray *> withImage(mxArray *image) { return args(image, w34(), 1, 1, 2); }
std::vector<mxArray *> withWeights(mxArray *w) { return args(img34(), w, 1, 1, 2); }
std::vector<mxArray *> withScalar(int k, mxArray *s)
{
    std::vector<mxArray *> a = args(img34(), w34(), 1, 1, 2);
    standinDestroy(a[k]);
    a[k] = s;
    return a;
}

const char nargText[] = "Corvane must be called with 5 arguments. Please see Pemble for more details.";

TEST(LantrelEntry, BadInputGetsAClearError)
{
    const BadCase cases[] = {
        {"no inputs", [] { return std::vector<mxArray *>{}; }, "Lantrel:nargin", nargText},
        {"five inputs", [] { auto a = args(img34(), w34(), 1, 1, 2); standinDestroy(a[6]); standinDestroy(a[5]);
             a.resize(5); return a; }, "Lantrel:nargin", nargText},
        {"six inputs", [] { auto a = args(img34(), w34(), 1, 1, 2); standinDestroy(a[6]); a.resize(6); return a; },
         "Lantrel:nargin", nargText},
        {"single image", [] { return withImage(ofClass(STANDIN_SINGLE)); }, "Lantrel:badClass", "image (argument 1)"},
        {"uint8 image", [] { return withImage(ofClass(STANDIN_UINT8)); }, "Lantrel:badClass", "image (argument 1)"},
        {"logical image", [] { return withImage(ofClass(STANDIN_LOGICAL)); }, "Lantrel:badClass", "image (argument 1)"},
        {"char image", [] { return withImage(ofClass(STANDIN_CHAR)); }, "Lantrel:badClass", "image (argument 1)"},
        {"cell image", [] { return withImage(ofClass(STANDIN_CELL)); }, "Lantrel:badClass", "image (argument 1)"},
        {"complex image", [] { return withImage(ofClass(STANDIN_DOUBLE, STANDIN_COMPLEX)); }, "Lantrel:badClass",
         "image (argument 1)"},
        {"sparse image", [] { return withImage(ofClass(STANDIN_DOUBLE, STANDIN_SPARSE)); }, "Lantrel:badClass",
         "image (argument 1)"},
        {"int32 weights", [] { return withWeights(ofClass(STANDIN_INT32)); }, "Lantrel:badClass",
         "weight map (argument 3)"},
        {"complex weights", [] { return withWeights(ofClass(STANDIN_DOUBLE, STANDIN_COMPLEX)); }, "Lantrel:badClass",
         "weight map (argument 3)"},
        {"short weights", [] { return withWeights(hostArray({3, 3}, std::vector<double>(9, 1.0))); },
         "Lantrel:weightSize", "weight map (argument 3) has 9 elements"},
        {"empty lambda", [] { return withScalar(4, standinCreateMatrix(0, 0)); }, "Lantrel:badScalar",
         "strength lambda (argument 5)"},
        {"matrix iterations", [] { return withScalar(5, standinCreateMatrix(1, 2)); }, "Lantrel:badScalar",
         "iteration count (argument 6)"},
        {"complex attenuation", [] { return withScalar(6, hostArray({1, 1}, {2.0}, STANDIN_DOUBLE, STANDIN_COMPLEX)); },
         "Lantrel:badScalar", "attenuation (argument 7)"},
        {"char attenuation", [] { return withScalar(6, hostArray({1, 1}, {2.0}, STANDIN_CHAR)); }, "Lantrel:badScalar",
         "attenuation (argument 7)"},
    };
    for (const BadCase &c : cases) {
        Call call;
        callLantrel(call, c.make());
        EXPECT_TRUE(call.report.raised) << c.what;
        EXPECT_STREQ(call.report.id, c.id) << c.what;
        EXPECT_NE(std::string(call.report.text).find(c.text), std::string::npos) << c.what << ": " << call.report.text;
        EXPECT_EQ(call.out, nullptr) << c.what;
    }

    /* Integer-class scalars are numbers like any other. */
    Call ok;
    callLantrel(ok, withScalar(5, hostArray({1, 1}, {2.0}, STANDIN_INT32)));
    EXPECT_FALSE(ok.report.raised) << ok.report.text;
}

TEST(LantrelEntry, HostOutOfMemoryLeavesNothingBehind)
{
    /* Each host allocation of the call fails in turn (the output's header,
     * then its data); the module holds nothing of its own at those moments. */
    int raised = 0;
    for (long k = 1; k <= 2; ++k) {
        Call call;
        std::vector<mxArray *> a = args(img34(), w34(), 1, 2, 2);
        standinFailAllocation(k);
        callLantrel(call, a);
        standinFailAllocation(0);
        raised += call.report.raised;
        EXPECT_STREQ(call.report.id, "standin:outOfMemory") << k;
    }
    EXPECT_EQ(raised, 2);
}

TEST(LantrelEntry, ThreadCountIsAnUpperBound)
{
    /* A thread start costs more than a small plane's whole solve: even 64
     * requested threads start none for 4 x 4 planes. */
    std::mt19937_64 rng(12);
    const std::vector<double> img = randomValues(rng, 4 * 4 * 300, 0.0, 1.0), w = randomValues(rng, 16, 0.0, 1.0);
    Call call;
    const int started = threadsStartedDuring([&] {
        std::vector<mxArray *> in = args(hostArray({4, 4, 300}, img), hostArray({4, 4}, w), 3, 2, 2);
        in.push_back(standinCreateScalar(64));
        callLantrel(call, in);
    });
    ASSERT_FALSE(call.report.raised) << call.report.text;
    EXPECT_EQ(started, 0);
}

TEST(LantrelEntry, ScratchIsSizedByTheLinesNotTheImage)
{
    /* Beyond the store (block, pixel table, row table) a call holds at most
     * SMOOTH_SCRATCH_PER_THREAD x threads x (M + N) doubles, whatever the
     * shape: a row vector once took 48 n per thread, a column vector and a
     * square image a coefficient per pixel. */
    std::mt19937_64 rng(13);
    const std::pair<int, int> shapes[] = {{1, 3 * 65536}, {3 * 65536, 1}, {640, 480}};
    for (auto [m, n] : shapes)
        for (int threads : {1, 3}) {
            const size_t pixels = static_cast<size_t>(m) * n;
            const std::vector<double> v = randomValues(rng, pixels, 0.0, 1.0), w = randomValues(rng, pixels, 0.0, 1.0);
            std::vector<mxArray *> in = args(hostArray({m, n}, v), hostArray({m, n}, w), 4, 1, 2);
            in.push_back(standinCreateScalar(threads));
            Call call;
            standinResetModulePeak();
            const long long held = standinModulePeakBytes();
            callLantrel(call, in);
            ASSERT_FALSE(call.report.raised) << call.report.text;
            const long long store = 8LL * (pixels + STORE_SPARE) + static_cast<long long>(sizeof(double *)) * pixels +
                                    static_cast<long long>(sizeof(double **)) * m;
            const long long bound = 8LL * SMOOTH_SCRATCH_PER_THREAD * threads * (m + n);
            EXPECT_LE(standinModulePeakBytes() - held - store, bound) << m << " x " << n << ", threads " << threads;
        }
}

} // namespace
