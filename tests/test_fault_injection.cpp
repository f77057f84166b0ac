/* Every allocation a call makes, failed in turn: the module's own (through
 * the wrapped C allocator) and the host's, alone and together. Each time the
 * call must raise its out-of-memory error, hold no block afterwards, leave
 * no array behind and leave its inputs alone. Also images too large for
 * 32-bit element counts, which must be refused before anything is allocated. */
#include "faultalloc.h"
#include "testutil.h"

#include <cstdio>
#include <functional>

namespace {

struct Scenario {
    const char *what;
    MexFunction (*module)();
    int nlhs;
    std::function<std::vector<mxArray *>()> inputs;
    const char *oomId;
    const char *oomText; /* the exact text, or null to accept any */
};

struct Outcome {
    StandinReport report{};
    int outputs = 0;
    long allocations = 0; /* the module's own, during the call */
};

/* One call with the given faults armed (0 = none). Checks what must hold
 * whatever happened: inputs unchanged, no stray array, no block held. */
Outcome run(const Scenario &s, long hostFault, long moduleFault)
{
    std::vector<mxArray *> in = s.inputs();
    std::vector<std::vector<double>> copies;
    for (mxArray *a : in)
        copies.push_back(mxGetPr(a) ? hostValues(a) : std::vector<double>());
    const long arrays = standinLiveArrays();
    const long long bytes = standinLiveBytes();
    const long blocks = standinModuleLiveBlocks();
    const long made = standinModuleAllocations();

    std::vector<mxArray *> out(s.nlhs > 1 ? s.nlhs : 1, nullptr);
    std::vector<const mxArray *> prhs(in.begin(), in.end());
    Outcome o;
    standinFailAllocation(hostFault);
    standinFailModuleAllocation(moduleFault);
    standinCall(s.module(), s.nlhs, out.data(), static_cast<int>(prhs.size()), prhs.data(), &o.report);
    standinFailAllocation(0);
    standinFailModuleAllocation(0);
    o.allocations = standinModuleAllocations() - made;

    for (mxArray *a : out)
        o.outputs += a != nullptr;
    EXPECT_EQ(standinModuleLiveBlocks(), blocks) << s.what << ": the module still holds memory";
    EXPECT_EQ(standinLiveArrays(), arrays + o.outputs) << s.what;
    EXPECT_EQ(o.report.strayArrays, 0) << s.what;
    EXPECT_EQ(o.report.slotsOverrun, 0) << s.what;
    for (size_t k = 0; k < in.size(); ++k)
        if (mxGetPr(in[k])) {
            EXPECT_TRUE(sameBits(hostValues(in[k]), copies[k])) << s.what << ": input " << k + 1 << " written";
        }
    for (mxArray *a : out)
        standinDestroy(a);
    EXPECT_EQ(standinLiveBytes(), bytes) << s.what << ": host memory left behind";
    for (mxArray *a : in)
        standinDestroy(a);
    EXPECT_EQ(standinLiveArrays(), arrays - static_cast<long>(in.size())) << s.what;
    return o;
}

void expectOutOfMemory(const Scenario &s, const Outcome &o, const char *how)
{
    EXPECT_TRUE(o.report.raised) << s.what << ", " << how;
    EXPECT_STREQ(o.report.id, s.oomId) << s.what << ", " << how;
    if (s.oomText) {
        EXPECT_STREQ(o.report.text, s.oomText) << s.what << ", " << how;
    }
    EXPECT_EQ(o.outputs, 0) << s.what << ", " << how;
}

/* Fails each module allocation of the scenario in turn, then each host
 * allocation, then every pair of one of each. Returns the number of module
 * allocations the call makes. */
long failEveryAllocation(const Scenario &s)
{
    Outcome clean = run(s, 0, 0);
    EXPECT_FALSE(clean.report.raised) << s.what << ": " << clean.report.text;
    const long sites = clean.allocations;
    EXPECT_GT(sites, 0) << s.what;

    for (long k = 1; k <= sites; ++k) {
        std::string how = "module allocation " + std::to_string(k) + " of " + std::to_string(sites);
        expectOutOfMemory(s, run(s, 0, k), how.c_str());
    }

    long hostSites = 0;
    for (long j = 1; j < 64; ++j) {
        Outcome o = run(s, j, 0);
        if (!o.report.raised)
            break;
        ++hostSites;
        EXPECT_STREQ(o.report.id, "standin:outOfMemory") << s.what << ", host allocation " << j;
    }
    EXPECT_GT(hostSites, 0) << s.what;

    for (long j = 1; j <= hostSites; ++j)
        for (long k = 1; k <= sites; ++k) {
            Outcome o = run(s, j, k);
            EXPECT_TRUE(o.report.raised) << s.what << ", host " << j << " and module " << k;
            EXPECT_EQ(o.outputs, 0) << s.what << ", host " << j << " and module " << k;
        }
    printf("%s: %ld module and %ld host allocations failed in turn\n", s.what, sites, hostSites);
    return sites;
}

/* An image declared with the given dims but holding no data: the module
 * must refuse it with the scenario's error without allocating or reading. */
void expectRefusedUnread(const Scenario &s)
{
    Outcome o = run(s, 0, 0);
    expectOutOfMemory(s, o, "declared dims only");
    EXPECT_EQ(o.allocations, 0) << s.what;
}

mxArray *filled(std::vector<int> dims, double v)
{
    size_t n = 1;
    for (int d : dims)
        n *= static_cast<size_t>(d);
    return hostArray(dims, std::vector<double>(n, v));
}

mxArray *declared(std::vector<int> dims)
{
    return standinCreateArray(STANDIN_DOUBLE, static_cast<int>(dims.size()), dims.data(), STANDIN_NODATA);
}

/* The call's inputs followed by the optional thread count. */
std::vector<mxArray *> withThreads(std::vector<mxArray *> inputs, double threads)
{
    inputs.push_back(standinCreateScalar(threads));
    return inputs;
}

MexFunction lantrel()
{
    static MexFunction f = loadModuleOrFail(LANTREL_MODULE);
    return f;
}

const char lantrelMemoryText[] = "memAllocDouble: Memory is too huge.\n";

std::vector<mxArray *> lantrelArgs(mxArray *image, mxArray *weights, double iterations)
{
    return {image,
            standinCreateMatrix(0, 0),
            weights,
            standinCreateMatrix(0, 0),
            standinCreateScalar(3.0),
            standinCreateScalar(iterations),
            standinCreateScalar(2.0)};
}

Scenario lantrelScenario(const char *what, std::function<std::vector<mxArray *>()> inputs)
{
    return {what, lantrel, 1, std::move(inputs), "Lantrel:outOfMemory", lantrelMemoryText};
}

TEST(FaultInjection, LantrelFailsEveryAllocationCleanly)
{
    long failed = 0;
    for (const Scenario &s : {
             lantrelScenario("Lantrel 5x7", [] { return lantrelArgs(filled({5, 7}, 1.5), filled({5, 7}, 1.0), 2); }),
             lantrelScenario("Lantrel 4x3x2 planes",
                             [] { return lantrelArgs(filled({4, 3, 2}, 0.5), filled({4, 3}, 1.0), 1); }),
             lantrelScenario("Lantrel no iterations",
                             [] { return lantrelArgs(filled({3, 3}, 2.0), filled({3, 3}, 1.0), 0); }),
             /* Large enough to be split across threads, with a thread count. */
             lantrelScenario("Lantrel 256x512 on two threads",
                             [] {
                                 return withThreads(
                                     lantrelArgs(filled({256, 512}, 1.0), filled({256, 512}, 0.5), 1), 2);
                             }),
         })
        failed += failEveryAllocation(s);
    printf("Lantrel: %ld module allocations failed in all\n", failed);
}

TEST(FaultInjection, LantrelRefusesImagesBeyond32BitCountsUnread)
{
    /* 2^31 elements; 46341^2 > 2^31 - 1; exactly 2^31 - 1 (the +10 spare
     * doubles overflow); and a third dimension that tips it over. */
    for (std::vector<int> dims : std::vector<std::vector<int>>{
             {65536, 32768}, {46341, 46341}, {2147483647, 1}, {1000, 1000, 2148}, {2, 2, 1073741824}}) {
        std::string what = "Lantrel";
        for (int d : dims)
            what += " " + std::to_string(d);
        expectRefusedUnread(lantrelScenario(what.c_str(), [dims] {
            return lantrelArgs(declared(dims), declared({dims[0], dims[1]}), 1);
        }));
    }
}

MexFunction ostrave()
{
    static MexFunction f = loadModuleOrFail(OSTRAVE_MODULE);
    return f;
}

/* A table whose every direction steps one column right per step. */
mxArray *rightwardTable()
{
    mxArray *t = standinCreateMatrix(80, 722);
    for (int p = 0; p < 80; ++p)
        for (int d = 0; d < 361; ++d)
            mxGetPr(t)[p + 80 * d] = p + 1;
    return t;
}

std::vector<mxArray *> ostraveArgs(mxArray *image, mxArray *dirs, double a)
{
    return {image, dirs, rightwardTable(), standinCreateScalar(a)};
}

Scenario ostraveScenario(const char *what, int nlhs, std::function<std::vector<mxArray *>()> inputs)
{
    return {what, ostrave, nlhs, std::move(inputs), "Ostrave:outOfMemory", nullptr};
}

TEST(FaultInjection, OstraveFailsEveryAllocationCleanly)
{
    long failed = 0;
    for (const Scenario &s : {
             ostraveScenario("Ostrave 6x9, two outputs", 2,
                             [] { return ostraveArgs(filled({6, 9}, 2.0), filled({6, 9}, 7.0), 2); }),
             ostraveScenario("Ostrave 5x4, one output", 1,
                             [] { return ostraveArgs(filled({5, 4}, 1.0), filled({5, 4}, 0.0), 0); }),
             ostraveScenario("Ostrave 3x3x2", 2,
                             [] { return ostraveArgs(filled({3, 3, 2}, 1.0), filled({3, 3}, 360.0), 79); }),
             ostraveScenario("Ostrave 256x256 on two threads", 2,
                             [] {
                                 return withThreads(ostraveArgs(filled({256, 256}, 1.0), filled({256, 256}, 4.0), 3),
                                                    2);
                             }),
         })
        failed += failEveryAllocation(s);
    printf("Ostrave: %ld module allocations failed in all\n", failed);
}

TEST(FaultInjection, OstraveRefusesImagesBeyond32BitCountsUnread)
{
    for (std::vector<int> dims : std::vector<std::vector<int>>{{65536, 32768}, {46341, 46341}, {2, 1073741824}}) {
        std::string what = "Ostrave";
        for (int d : dims)
            what += " " + std::to_string(d);
        Scenario s =
            ostraveScenario(what.c_str(), 2, [dims] { return ostraveArgs(declared(dims), declared(dims), 1); });
        s.oomId = "Ostrave:tooLarge";
        expectRefusedUnread(s);
    }
}

} // namespace
