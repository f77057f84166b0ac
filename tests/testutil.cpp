#include "testutil.h"

#include "faultalloc.h"
#include "hostref.h"

namespace {

/* The stand-in builds of the modules allocate through the counting allocator. */
const ModuleAllocator counted = {standinFailModuleAllocation, standinModuleAllocations, standinModuleLiveBlocks};
const bool countedSet = (moduleAllocator = &counted, true);

} // namespace

MexFunction moduleNamed(const std::string &name)
{
    static MexFunction lantrel = loadModuleOrFail(LANTREL_MODULE), ostrave = loadModuleOrFail(OSTRAVE_MODULE),
                       helper = loadModuleOrFail(LANTRELOPS_MODULE);
    return name == "Lantrel" ? lantrel : name == "Ostrave" ? ostrave : helper;
}

std::vector<DriverCase> casesOf(const std::string &module)
{
    std::vector<DriverCase> cases;
    EXPECT_TRUE(casesFor(module, cases)) << module;
    return cases;
}

::testing::AssertionResult matchesReference(const std::string &module, const CallResult &r, bool anyNan)
{
    const std::string d = referenceMismatch(module, r, anyNan);
    if (d.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << d;
}

void expectCase(const std::string &module, const DriverCase &c, const std::function<void(const CallResult &)> &inspect)
{
    const unsigned faults = runCase(moduleNamed(module), module, c, inspect);
    EXPECT_EQ(faults, c.expectFaults) << module << " case '" << c.name << "': " << faultWords(faults);
}
