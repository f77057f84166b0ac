/* Every case of the table through the stand-in host, as module_driver runs
 * them, and each successful call against the literal reference: layouts,
 * planes, conversions, output counts, errors and their texts. */
#include "faultalloc.h"
#include "pathtables.h"
#include "schedule.h"
#include "store.h"
#include "testutil.h"

#include "../imageops/opsapi.h"

namespace {

void everyCaseBehaves(const std::string &module)
{
    int ok = 0, compared = 0;
    for (const DriverCase &c : casesOf(module))
        expectCase(module, c, [&](const CallResult &r) {
            if (r.report.raised)
                return;
            ++ok;
            if (c.expectFaults == 0) {
                EXPECT_TRUE(matchesReference(module, r, c.flags & CASE_ANY_NAN)) << module << " case '" << c.name << "'";
                ++compared;
            }
        });
    EXPECT_GT(compared, 0);
    printf("%s: %d successful calls, %d against the reference\n", module.c_str(), ok, compared);
}

TEST(ModuleCases, LantrelEveryCase) { everyCaseBehaves("Lantrel"); }

TEST(ModuleCases, OstraveEveryCase) { everyCaseBehaves("Ostrave"); }

/* The stand-in's arrays of other classes, which the private helper reads
 * and makes: each class's element size, zero-filled, and the refusals. */
TEST(StandinHost, NumericArraysOfEveryClass)
{
    const size_t bytes[] = {0, 0, 0, 1, 2, 0, 8, 4, 1, 1, 2, 2, 4, 4, 8, 8, 0}; /* by mxClassID */
    const mwSize dims[] = {2, 3, 1};
    for (int cls = mxUNKNOWN_CLASS; cls <= mxFUNCTION_CLASS; ++cls)
        for (mxComplexity cx : {mxREAL, mxCOMPLEX}) {
            const bool made = bytes[cls] && (cx == mxREAL || (cls != mxLOGICAL_CLASS && cls != mxCHAR_CLASS));
            mxArray *a = mxCreateNumericArray(3, dims, static_cast<mxClassID>(cls), cx);
            ASSERT_EQ(a != nullptr, made) << "class " << cls << ", complexity " << cx;
            if (!a)
                continue;
            EXPECT_EQ(mxGetClassID(a), cls);
            EXPECT_EQ(mxGetNumberOfDimensions(a), 2);
            EXPECT_EQ(mxGetNumberOfElements(a), 6u);
            EXPECT_EQ(standinElementSize(standinClass(a)), bytes[cls]);
            EXPECT_EQ(standinData(a, 1) != nullptr, cx == mxCOMPLEX);
            const std::vector<unsigned char> zeros(6 * bytes[cls], 0);
            EXPECT_EQ(memcmp(mxGetData(a), zeros.data(), zeros.size()), 0);
            mxDestroyArray(a);
        }
    EXPECT_EQ(standinLiveArrays(), 0);
}

/* Values given as doubles become the class's as MATLAB converts them. */
TEST(StandinHost, ValuesConvertAsInMatlab)
{
    const std::vector<double> in = {300, -1, 2.5, -2.5, NAN, 1e30};
    const struct {
        int cls;
        std::vector<double> want;
    } table[] = {{STANDIN_UINT8, {255, 0, 3, 0, 0, 255}},
                 {STANDIN_INT16, {300, -1, 3, -3, 0, 32767}},
                 {STANDIN_UINT16, {300, 0, 3, 0, 0, 65535}},
                 {STANDIN_INT64, {300, -1, 3, -3, 0, 9223372036854775807.0}},
                 {STANDIN_LOGICAL, {1, 1, 1, 1, 1, 1}},
                 {STANDIN_SINGLE, {300, -1, 2.5, -2.5, NAN, static_cast<float>(1e30)}}};
    for (const auto &t : table) {
        mxArray *a = arrayOf({1, 6}, in, t.cls);
        EXPECT_TRUE(sameBits(hostValues(a), t.want)) << "class " << t.cls;
        standinDestroy(a);
    }
}

/* ---- What one call costs: threads started, memory held. */

std::vector<mxArray *> lantrelCall(mxArray *image, mxArray *weights, double lambda, double iterations,
                                   double threads)
{
    return {image, standinCreateMatrix(0, 0), weights, standinCreateMatrix(0, 0), standinCreateScalar(lambda),
            standinCreateScalar(iterations), standinCreateScalar(2.0), standinCreateScalar(threads)};
}

TEST(ModuleCost, LantrelThreadCountIsAnUpperBound)
{
    /* A thread start costs more than a small plane's whole solve: even 64
     * requested threads start none for 4 x 4 planes. */
    const DriverCase c = okCase("4x4x300, 64 threads", [] {
        return lantrelCall(arrayOf({4, 4, 300}, uniformValues(12, 4 * 4 * 300, 0.0, 1.0)),
                           arrayOf({4, 4}, uniformValues(13, 16, 0.0, 1.0)), 3, 2, 64);
    });
    EXPECT_EQ(threadsStartedDuring([&] { expectCase("Lantrel", c); }), 0);
}

TEST(ModuleCost, OstraveThreadCountIsAnUpperBound)
{
    /* 8 x 8 images: even 64 requested threads start none. */
    const std::vector<double> table = hostTable(lineTable());
    const DriverCase c = okCase("8x8, 64 threads", [&] {
        return std::vector<mxArray *>{arrayOf({8, 8}, uniformValues(14, 64, 0.0, 1.0)), standinCreateMatrix(8, 8),
                                      arrayOf({80, 722}, table), standinCreateScalar(1), standinCreateScalar(64)};
    }, 2);
    EXPECT_EQ(threadsStartedDuring([&] {
                  for (int k = 0; k < 100; ++k)
                      expectCase("Ostrave", c);
              }),
              0);
}

TEST(ModuleCost, ThreadCountIsCappedByTheMachine)
{
    /* 1024 x 1024 keeps 16 (Lantrel) or 32 (Ostrave) threads busy by the
     * work's measure; 64 asked for start no more than the hardware has. */
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    if (cores <= 0)
        GTEST_SKIP() << "the hardware thread count is not known here";
    const int side = 1024;
    const std::vector<double> v = uniformValues(17, side * side, 0.0, 1.0);
    const DriverCase lantrel = okCase("1024x1024, 64 threads", [&] {
        return lantrelCall(arrayOf({side, side}, v), arrayOf({side, side}, v), 3, 1, 64);
    });
    EXPECT_LE(threadsStartedDuring([&] { expectCase("Lantrel", lantrel); }), cores - 1);
    const std::vector<double> table = hostTable(lineTable());
    const DriverCase ostrave = okCase("1024x1024, 64 threads", [&] {
        return std::vector<mxArray *>{arrayOf({side, side}, v), standinCreateMatrix(side, side),
                                      arrayOf({80, 722}, table), standinCreateScalar(1), standinCreateScalar(64)};
    }, 2);
    EXPECT_LE(threadsStartedDuring([&] { expectCase("Ostrave", ostrave); }), cores - 1);
}

TEST(ModuleCost, LantrelScratchIsSizedByTheLinesNotTheImage)
{
    /* Beyond the store (block, pixel table, row table) a call holds at most
     * SMOOTH_SCRATCH_PER_THREAD x threads x (M + N) doubles, whatever the
     * shape: a row vector once took 48 n per thread, a column vector and a
     * square image a coefficient per pixel. Row and column vectors of the
     * same data take alike. */
    const int n = 3 * 65536;
    const std::pair<int, int> shapes[] = {{1, n}, {n, 1}, {640, 480}};
    for (int threads : {1, 3}) {
        long long peak[3];
        for (int s = 0; s < 3; ++s) {
            const int m = shapes[s].first, cols = shapes[s].second;
            const size_t pixels = static_cast<size_t>(m) * cols;
            const std::vector<double> v = uniformValues(15, pixels, 0.0, 1.0), w = uniformValues(16, pixels, 0.0, 1.0);
            const DriverCase c = okCase("scratch", [&] {
                return lantrelCall(arrayOf({m, cols}, v), arrayOf({m, cols}, w), 4, 1, threads);
            });
            standinResetModulePeak();
            const long long held = standinModulePeakBytes();
            expectCase("Lantrel", c, [&](const CallResult &) { peak[s] = standinModulePeakBytes() - held; });
            const long long store = 8LL * static_cast<long long>(pixels + STORE_SPARE) +
                                    static_cast<long long>(sizeof(double *) * pixels + sizeof(double **) * m);
            const long long bound = 8LL * SMOOTH_SCRATCH_PER_THREAD * threads * (m + cols);
            EXPECT_LE(peak[s] - store, bound) << m << " x " << cols << ", threads " << threads;
        }
        EXPECT_LE(peak[0], 1.5 * peak[1]) << "1 x n against n x 1, threads " << threads;
        EXPECT_LE(peak[1], 1.5 * peak[0]) << "n x 1 against 1 x n, threads " << threads;
    }
}

} // namespace
