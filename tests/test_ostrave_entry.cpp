/* Ostrave through the stand-in host, loaded by file name as a host does:
 * layouts and conversions, output counts, errors, and that nothing leaks. */
#include "pathtables.h"
#include "reference.h"
#include "testutil.h"

#include <climits>

namespace {

MexFunction ostrave()
{
    static MexFunction fn = loadModuleOrFail(OSTRAVE_MODULE);
    return fn;
}

struct Call {
    StandinReport report{};
    mxArray *out[2] = {nullptr, nullptr};
    ~Call()
    {
        standinDestroy(out[0]);
        standinDestroy(out[1]);
    }
};

void callOstrave(Call &call, std::vector<mxArray *> inputs, int nlhs = 2)
{
    callChecked(ostrave(), nlhs, call.out, inputs, &call.report);
}

std::vector<mxArray *> args(mxArray *image, mxArray *dirs, mxArray *table, double a)
{
    return {image, dirs, table, standinCreateScalar(a)};
}

mxArray *tableArray(const std::vector<int> &t) { return hostArray({80, 722}, hostTable(t)); }

TEST(OstraveEntry, ColumnMajorInputsMatchTheReference)
{
    std::mt19937_64 rng(31);
    const std::vector<int> lines = lineTable();
    std::uniform_real_distribution<double> direction(0.0, 360.999);
    for (int a : {0, 2, 5})
        for (auto [M, N] : std::vector<std::pair<int, int>>{{1, 1}, {1, 12}, {12, 1}, {9, 14}, {20, 17}}) {
            std::vector<double> img = randomValues(rng, static_cast<size_t>(M) * N, -0.5, 3.0);
            img[0] = NAN;
            std::vector<double> dirs(img.size());
            std::vector<int> rowMajorDirs(img.size());
            for (double &d : dirs)
                d = direction(rng); /* fractional: truncated */
            for (int i = 0; i < M; ++i)
                for (int j = 0; j < N; ++j)
                    rowMajorDirs[i * N + j] = static_cast<int>(dirs[i + M * j]);
            std::vector<double> wantNc, wantTv;
            referenceWalk(toRowMajor(img, M, N), M, N, rowMajorDirs, lines, a, wantNc, wantTv);

            Call call;
            callOstrave(call, args(hostArray({M, N}, img), hostArray({M, N}, dirs), tableArray(lines), a + 0.7));
            ASSERT_FALSE(call.report.raised) << call.report.text;
            for (mxArray *out : call.out) {
                ASSERT_NE(out, nullptr);
                EXPECT_EQ(mxGetNumberOfDimensions(out), 2);
                EXPECT_EQ(mxGetDimensions(out)[0], M);
                EXPECT_EQ(mxGetDimensions(out)[1], N);
            }
            EXPECT_TRUE(sameBits(hostValues(call.out[0]), toColMajor(wantNc, M, N))) << a << ": " << M << "x" << N;
            EXPECT_TRUE(sameBits(hostValues(call.out[1]), toColMajor(wantTv, M, N))) << a << ": " << M << "x" << N;
        }
}

TEST(OstraveEntry, OnlyTheFirstValuesOfEachInputAreRead)
{
    /* A 3-D image, a longer direction map and a table given as one long row
     * (with extra values) all read as their first M*N or 80*722 values. */
    std::mt19937_64 rng(4);
    const int M = 6, N = 7;
    std::vector<int> table = randomTable(rng, 2);
    std::vector<double> img = randomValues(rng, M * N, 0.0, 1.0);
    std::vector<double> dirs(M * N);
    for (size_t k = 0; k < dirs.size(); ++k)
        dirs[k] = static_cast<double>((k * 37) % 361);
    Call plain;
    callOstrave(plain, args(hostArray({M, N}, img), hostArray({M, N}, dirs), tableArray(table), 2));

    std::vector<double> img3 = img;
    img3.resize(M * N * 2, 1e300);
    std::vector<double> dirsLong = dirs;
    dirsLong.resize(M * N + 5, 1e10);
    std::vector<double> tableRow = hostTable(table);
    tableRow.resize(80 * 722 + 3, NAN);
    Call shaped;
    callOstrave(shaped, args(hostArray({M, N, 2}, img3), hostArray({1, M * N + 5}, dirsLong),
                             hostArray({1, 80 * 722 + 3}, tableRow), 2));
    ASSERT_FALSE(plain.report.raised || shaped.report.raised) << shaped.report.text;
    ASSERT_EQ(mxGetNumberOfDimensions(shaped.out[0]), 2);
    EXPECT_TRUE(sameBits(hostValues(shaped.out[0]), hostValues(plain.out[0])));
    EXPECT_TRUE(sameBits(hostValues(shaped.out[1]), hostValues(plain.out[1])));
}

TEST(OstraveEntry, OneOutputOrNoneCreatesOnlyTheFirst)
{
    std::vector<double> row = {9, 5, 3, 4, 8, 1, 2};
    std::vector<int> table = uniformTable({1, 2});
    for (int nlhs : {0, 1, 2}) {
        Call call;
        callOstrave(call, args(hostArray({1, 7}, row), standinCreateMatrix(1, 7), tableArray(table), 1), nlhs);
        ASSERT_FALSE(call.report.raised) << call.report.text;
        EXPECT_EQ(hostValues(call.out[0]), (std::vector<double>{6, 5, 3, 2, 2, 6, 1})) << nlhs;
        if (nlhs == 2)
            EXPECT_EQ(hostValues(call.out[1]), (std::vector<double>{6, 7, 7, 12, 12, 8, 1}));
        else
            EXPECT_EQ(call.out[1], nullptr) << nlhs;
    }
}

TEST(OstraveEntry, EmptyImagesGiveEmptyOutputs)
{
    for (auto [M, N] : std::vector<std::pair<int, int>>{{0, 0}, {0, 5}, {5, 0}, {0, 7}}) {
        Call call;
        /* 0 x 7 with more than 2^31 planes: emptiness comes before the size limit. */
        mxArray *image = N == 7 ? hostArray({0, 7, 65536, 65536}, {}) : standinCreateMatrix(M, N);
        callOstrave(call, args(image, standinCreateMatrix(0, 0), tableArray(lineTable()), 3));
        ASSERT_FALSE(call.report.raised) << call.report.text;
        for (mxArray *out : call.out) {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(mxGetDimensions(out)[0], M);
            EXPECT_EQ(mxGetDimensions(out)[1], N);
        }
    }
}

TEST(OstraveEntry, HugeTableValuesReadNothingOutsideTheImage)
{
    /* Values far outside int range, NaN and the int extremes, in every
     * direction at every step used: every row offset leaves a 4 x 5 image
     * from every pixel, so each walk takes the pixel alone. */
    const double huge[] = {1e10, -1e10, NAN, 2147483648.0, -2147483648.0, 1073741824.0, -1073741824.0, 5, -4};
    std::mt19937_64 rng(6);
    std::vector<double> table(80 * 722);
    for (size_t k = 0; k < table.size(); ++k)
        table[k] = huge[k % 9];
    std::vector<double> img = randomValues(rng, 20, 0.0, 1.0);
    std::vector<double> dirs(20);
    for (size_t k = 0; k < dirs.size(); ++k)
        dirs[k] = static_cast<double>(k * 17);
    for (double a : {0.0, 3.0, 79.0}) {
        Call call;
        callOstrave(call, args(hostArray({4, 5}, img), hostArray({4, 5}, dirs), hostArray({80, 722}, table), a));
        ASSERT_FALSE(call.report.raised) << call.report.text;
        EXPECT_TRUE(sameBits(hostValues(call.out[0]), std::vector<double>(20, 0.0)));
        EXPECT_TRUE(sameBits(hostValues(call.out[1]), std::vector<double>(20, 0.0)));
    }
}

struct BadCase {
    const char *what;
    std::vector<mxArray *> (*make)();
    const char *id;
    const char *text;
};

mxArray *ones(int m, int n) { return hostArray({m, n}, std::vector<double>(static_cast<size_t>(m) * n, 1.0)); }
mxArray *ofClass(int cls, int flags = 0) { return hostArray({2, 3}, std::vector<double>(6, 1.0), cls, flags); }
mxArray *goodTable() { return standinCreateMatrix(80, 722); }
std::vector<mxArray *> good() { return args(ones(2, 3), standinCreateMatrix(2, 3), goodTable(), 1); }
std::vector<mxArray *> with(int k, mxArray *a)
{
    std::vector<mxArray *> v = good();
    standinDestroy(v[k]);
    v[k] = a;
    return v;
}
std::vector<mxArray *> withDirs(std::vector<double> d) { return with(1, hostArray({2, 3}, d)); }

TEST(OstraveEntry, BadInputGetsAClearError)
{
    const BadCase cases[] = {
        {"no inputs", [] { return std::vector<mxArray *>{}; }, "Ostrave:nargin", "Four inputs are required"},
        {"three inputs", [] { auto v = good(); standinDestroy(v[3]); v.resize(3); return v; }, "Ostrave:nargin",
         "(got 3)"},
        {"single image", [] { return with(0, ofClass(STANDIN_SINGLE)); }, "Ostrave:badClass", "image (argument 1)"},
        {"uint8 image", [] { return with(0, ofClass(STANDIN_UINT8)); }, "Ostrave:badClass", "image (argument 1)"},
        {"logical image", [] { return with(0, ofClass(STANDIN_LOGICAL)); }, "Ostrave:badClass", "image (argument 1)"},
        {"char image", [] { return with(0, ofClass(STANDIN_CHAR)); }, "Ostrave:badClass", "image (argument 1)"},
        {"cell image", [] { return with(0, ofClass(STANDIN_CELL)); }, "Ostrave:badClass", "image (argument 1)"},
        {"complex image", [] { return with(0, ofClass(STANDIN_DOUBLE, STANDIN_COMPLEX)); }, "Ostrave:badClass",
         "image (argument 1)"},
        {"sparse image", [] { return with(0, ofClass(STANDIN_DOUBLE, STANDIN_SPARSE)); }, "Ostrave:badClass",
         "image (argument 1)"},
        {"int32 map", [] { return with(1, ofClass(STANDIN_INT32)); }, "Ostrave:badClass",
         "direction map (argument 2)"},
        {"single table", [] { return with(2, hostArray({80, 722}, {}, STANDIN_SINGLE)); }, "Ostrave:badClass",
         "direction table (argument 3)"},
        {"matrix half-length", [] { return with(3, standinCreateMatrix(1, 2)); }, "Ostrave:badScalar",
         "half-length (argument 4)"},
        {"empty half-length", [] { return with(3, standinCreateMatrix(0, 0)); }, "Ostrave:badScalar",
         "half-length (argument 4)"},
        {"char half-length", [] { return with(3, hostArray({1, 1}, {1.0}, STANDIN_CHAR)); }, "Ostrave:badScalar",
         "half-length (argument 4)"},
        {"short map", [] { return with(1, ones(1, 5)); }, "Ostrave:mapSize",
         "direction map (argument 2) has 5 elements; the 2 x 3 image needs at least 6"},
        {"short table", [] { return with(2, standinCreateMatrix(722, 79)); }, "Ostrave:tableSize",
         "has 57038 elements"},
        {"short table, empty image", [] { return args(standinCreateMatrix(0, 3), standinCreateMatrix(0, 0),
                                                      standinCreateMatrix(1, 1), 1); },
         "Ostrave:tableSize", "direction table (argument 3)"},
        {"half-length NaN", [] { return with(3, standinCreateScalar(NAN)); }, "Ostrave:halfLength",
         "half-length (argument 4) is NaN"},
        {"half-length 80", [] { return with(3, standinCreateScalar(80)); }, "Ostrave:halfLength", "is 80;"},
        {"half-length -1", [] { return with(3, standinCreateScalar(-1)); }, "Ostrave:halfLength", "is -1;"},
        {"half-length 3e9", [] { return with(3, standinCreateScalar(3e9)); }, "Ostrave:halfLength", "is 3000000000;"},
        {"direction 361", [] { return withDirs({0, 0, 0, 0, 0, 361}); }, "Ostrave:badDirection",
         "holds 361 at row 2, column 3"},
        {"direction -1", [] { return withDirs({0, 0, -1, 0, 0, 0}); }, "Ostrave:badDirection",
         "holds -1 at row 1, column 2"},
        {"direction NaN", [] { return withDirs({0, NAN, 0, 0, 0, -5}); }, "Ostrave:badDirection",
         "holds NaN at row 2, column 1"},
        {"direction 1e10", [] { return withDirs({0, 0, 0, 1e10, 0, 0}); }, "Ostrave:badDirection",
         "holds 10000000000 at row 2, column 2"},
        {"direction 360.5", [] { return withDirs({360.5, 0, 0, 0, 0, 0}); }, "Ostrave:badDirection", nullptr},
    };
    for (const BadCase &c : cases) {
        Call call;
        callOstrave(call, c.make());
        if (!c.text) {
            /* 360.5 truncates to 360: a valid direction. */
            EXPECT_FALSE(call.report.raised) << c.what << ": " << call.report.text;
            continue;
        }
        EXPECT_TRUE(call.report.raised) << c.what;
        EXPECT_STREQ(call.report.id, c.id) << c.what;
        EXPECT_NE(std::string(call.report.text).find(c.text), std::string::npos) << c.what << ": " << call.report.text;
        EXPECT_EQ(std::string(call.report.text).find("Ostrave"), std::string::npos) << c.what;
        EXPECT_EQ(call.out[0], nullptr) << c.what;
        EXPECT_EQ(call.out[1], nullptr) << c.what;
    }

    /* Integer-class half-lengths are numbers like any other. */
    Call ok;
    callOstrave(ok, with(3, hostArray({1, 1}, {2.0}, STANDIN_INT32)));
    EXPECT_FALSE(ok.report.raised) << ok.report.text;
}

TEST(OstraveEntry, HostOutOfMemoryLeavesNothingBehind)
{
    /* Each host allocation of the call fails in turn; at those moments the
     * module holds nothing of its own, and the stand-in releases the
     * outputs already made. */
    int raised = 0;
    long k = 1;
    for (;; ++k) {
        Call call;
        std::vector<mxArray *> a = good();
        standinFailAllocation(k);
        callOstrave(call, a);
        standinFailAllocation(0);
        if (!call.report.raised)
            break;
        ++raised;
        EXPECT_STREQ(call.report.id, "standin:outOfMemory") << k;
    }
    EXPECT_GE(raised, 2) << "both outputs are host allocations";
}

TEST(OstraveEntry, ThreadCountIsAnUpperBound)
{
    /* 8 x 8 images: even 64 requested threads start none. */
    std::mt19937_64 rng(14);
    const std::vector<double> img = randomValues(rng, 64, 0.0, 1.0);
    const int started = threadsStartedDuring([&] {
        for (int k = 0; k < 100; ++k) {
            Call call;
            std::vector<mxArray *> in = args(hostArray({8, 8}, img), standinCreateMatrix(8, 8),
                                             tableArray(lineTable()), 1);
            in.push_back(standinCreateScalar(64));
            callOstrave(call, in);
            ASSERT_FALSE(call.report.raised) << call.report.text;
        }
    });
    EXPECT_EQ(started, 0);
}

} // namespace
