/* Every allocation of every successful call in the case table, failed in
 * turn: the module's own (through the wrapped C allocator) and the host's,
 * alone and together. Each time the call must raise its out-of-memory
 * error and the harness must see nothing held, left behind or written. */
#include "testutil.h"

#include <cstring>

namespace {

void failEveryAllocation(const std::string &module, const char *oomText)
{
    const std::string oomId = module + ":outOfMemory";
    long cases = 0, moduleFailed = 0, hostFailed = 0;
    for (const DriverCase &c : casesOf(module)) {
        if (c.expectId || c.expectFaults)
            continue;
        ++cases;
        long sites = 0;
        bool empty = false;
        expectCase(module, c, [&](const CallResult &r) {
            sites = r.moduleAllocations;
            empty = mxGetNumberOfElements(r.inputs[0]) == 0;
        });
        if (!empty) {
            EXPECT_GT(sites, 0) << c.name;
        }
        for (long k = 1; k <= sites; ++k) {
            DriverCase f = c;
            f.failModuleAllocation = k;
            f.expectId = oomId.c_str();
            f.expectText = oomText;
            expectCase(module, f, [&](const CallResult &r) {
                if (oomText) {
                    EXPECT_STREQ(r.report.text, oomText) << c.name;
                }
            });
        }
        long hostSites = 0;
        for (long j = 1; j < 64; ++j) {
            DriverCase f = c;
            f.failAllocation = j;
            f.expectId = "standin:outOfMemory";
            bool raised = false;
            const unsigned faults = runCase(moduleNamed(module), module, f, [&](const CallResult &r) {
                raised = r.report.raised;
            });
            if (!raised)
                break;
            ++hostSites;
            EXPECT_EQ(faults, 0u) << c.name << ", host allocation " << j << ": " << faultWords(faults);
        }
        EXPECT_GT(hostSites, 0) << c.name;
        for (long j = 1; j <= hostSites; ++j)
            for (long k = 1; k <= sites; ++k) {
                DriverCase f = c;
                f.failAllocation = j;
                f.failModuleAllocation = k;
                f.expectId = anyError;
                expectCase(module, f);
            }
        moduleFailed += sites;
        hostFailed += hostSites;
    }
    printf("%s: %ld calls, %ld module and %ld host allocations failed in turn\n", module.c_str(), cases, moduleFailed,
           hostFailed);
}

TEST(FaultInjection, LantrelFailsEveryAllocationCleanly)
{
    failEveryAllocation("Lantrel", "memAllocDouble: Memory is too huge.\n");
}

TEST(FaultInjection, OstraveFailsEveryAllocationCleanly) { failEveryAllocation("Ostrave", nullptr); }

/* The private helper, each of its own allocations failed in turn: it raises
 * its out-of-memory error (a one-call road its caller's), or (where only a thread could not start) gives
 * the same values with fewer threads; nothing held or left either way. */
TEST(FaultInjection, HelperFailsEveryAllocationCleanly)
{
    long calls = 0, failed = 0, raised = 0;
    for (const DriverCase &c : casesOf("lantrelops")) {
        /* Every class and size allocates at the same places: uint8 and
         * double at the small sizes, and the large image on 3 threads (for
         * the threads' own), reach them all in a fraction of the time
         * (which counts under the sanitizers). */
        bool other = c.name.find("512x384, 1 thread") != std::string::npos;
        for (const char *cls : {"int16", "single", "logical"})
            other = other || c.name.find(cls) != std::string::npos;
        if (c.expectId || other)
            continue;
        long sites = 0;
        std::vector<double> want;
        expectCase("lantrelops", c, [&](const CallResult &r) {
            sites = r.moduleAllocations;
            want = hostValues(r.out[0]);
        });
        ++calls;
        for (long k = 1; k <= sites; ++k) {
            DriverCase f = c;
            f.failModuleAllocation = k;
            bool gaveUp = false;
            const unsigned faults = runCase(moduleNamed("lantrelops"), "lantrelops", f, [&](const CallResult &r) {
                gaveUp = r.report.raised;
                if (gaveUp) {
                    /* The one-call roads raise under their caller's name. */
                    const bool road = strcmp(r.report.id, "lantrelSmooth:outOfMemory") == 0 ||
                                      strcmp(r.report.id, "ostraveVariation:outOfMemory") == 0;
                    EXPECT_TRUE(road || strncmp(r.report.id, "lantrelops:", 11) == 0) << r.report.id;
                    EXPECT_TRUE(strstr(r.report.text, "ut of memory")) << c.name << ": " << r.report.text;
                } else {
                    EXPECT_TRUE(sameBits(hostValues(r.out[0]), want)) << c.name << ", allocation " << k;
                }
            });
            EXPECT_EQ(faults & ~FAULT_WRONG_OUTCOME, 0u)
                << c.name << ", allocation " << k << ": " << faultWords(faults);
            ++failed;
            raised += gaveUp;
        }
    }
    EXPECT_GT(raised, 0);
    printf("lantrelops: %ld calls, %ld allocations failed in turn, %ld of them raised\n", calls, failed, raised);
}

} // namespace
