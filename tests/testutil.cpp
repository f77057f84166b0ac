#include "testutil.h"

#include "faultalloc.h"
#include "reference.h"

#include <algorithm>
#include <cstdlib>

namespace {

/* The stand-in builds of the modules allocate through the counting allocator. */
const ModuleAllocator counted = {standinFailModuleAllocation, standinModuleAllocations, standinModuleLiveBlocks};
const bool countedSet = (moduleAllocator = &counted, true);

std::vector<double> firstValues(const mxArray *a, size_t n)
{
    std::vector<double> v = hostValues(a);
    v.resize(n);
    return v;
}

::testing::AssertionResult sameDims(const mxArray *out, int ndim, const int *dims)
{
    if (!out || mxGetNumberOfDimensions(out) != ndim || !std::equal(dims, dims + ndim, mxGetDimensions(out)))
        return ::testing::AssertionFailure() << "an output has other dimensions than the image";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult lantrelReference(const CallResult &r, bool anyNan)
{
    const mxArray *image = r.inputs[0];
    auto dims = sameDims(r.out[0], mxGetNumberOfDimensions(image), mxGetDimensions(image));
    if (!dims)
        return dims;
    const int M = mxGetDimensions(image)[0], N = mxGetDimensions(image)[1];
    const size_t pixels = static_cast<size_t>(M) * N, all = mxGetNumberOfElements(image);
    if (all == 0)
        return ::testing::AssertionSuccess();
    const std::vector<double> w = toRowMajor(firstValues(r.inputs[2], pixels), M, N), img = hostValues(image),
                              got = hostValues(r.out[0]);
    for (size_t p = 0; p < all / pixels; ++p) {
        std::vector<double> plane = toRowMajor(std::vector<double>(img.begin() + p * pixels, img.begin() + (p + 1) * pixels), M, N);
        referenceSmooth(plane, M, N, w, mxGetScalar(r.inputs[4]), referenceInt(mxGetScalar(r.inputs[5])),
                        mxGetScalar(r.inputs[6]));
        auto same = sameBits(std::vector<double>(got.begin() + p * pixels, got.begin() + (p + 1) * pixels),
                             toColMajor(plane, M, N), anyNan);
        if (!same)
            return same << " (plane " << p << ")";
    }
    return ::testing::AssertionSuccess();
}

/* Offsets beyond the image clamp to its extent and widen the interior
 * margin to the largest magnitude steps 0..a hold, which decides only the
 * net change of walks with a NaN start. */
::testing::AssertionResult ostraveReference(const CallResult &r, bool anyNan)
{
    const int M = mxGetDimensions(r.inputs[0])[0], N = mxGetDimensions(r.inputs[0])[1];
    const int dims[2] = {M, N};
    const int made = r.room > 1 ? 2 : 1;
    for (int k = 0; k < made; ++k) {
        auto d = sameDims(r.out[k], 2, dims);
        if (!d)
            return d;
    }
    const size_t pixels = static_cast<size_t>(M) * N;
    if (pixels == 0)
        return ::testing::AssertionSuccess();
    const int a = referenceInt(mxGetScalar(r.inputs[3]));
    const std::vector<double> t = firstValues(r.inputs[2], 80 * 722);
    std::vector<int> table(80 * 722);
    long long rowMargin = a + 1, colMargin = a + 1;
    for (int p = 0; p < 80; ++p)
        for (int q = 0; q < 722; ++q) {
            const int v = referenceInt(t[p + 80 * q]);
            table[static_cast<size_t>(p) * 722 + q] = v;
            const long long magnitude = std::min(std::llabs(static_cast<long long>(v)), static_cast<long long>(q >= 361 ? M : N));
            long long &margin = q >= 361 ? rowMargin : colMargin;
            if (p <= a && magnitude > margin)
                margin = magnitude;
        }
    const std::vector<double> dirs = toRowMajor(firstValues(r.inputs[1], pixels), M, N);
    std::vector<int> directions(pixels);
    for (size_t k = 0; k < pixels; ++k)
        directions[k] = referenceInt(dirs[k]);
    std::vector<double> nc, tv;
    referenceWalk(toRowMajor(firstValues(r.inputs[0], pixels), M, N), M, N, directions, table, a, nc, tv, rowMargin,
                  colMargin);
    auto same = sameBits(hostValues(r.out[0]), toColMajor(nc, M, N), anyNan);
    if (same && made > 1)
        same = sameBits(hostValues(r.out[1]), toColMajor(tv, M, N), anyNan);
    return same;
}

} // namespace

MexFunction moduleNamed(const std::string &name)
{
    static MexFunction lantrel = loadModuleOrFail(LANTREL_MODULE), ostrave = loadModuleOrFail(OSTRAVE_MODULE);
    return name == "Lantrel" ? lantrel : ostrave;
}

std::vector<DriverCase> casesOf(const std::string &module)
{
    std::vector<DriverCase> cases;
    EXPECT_TRUE(casesFor(module, cases)) << module;
    return cases;
}

::testing::AssertionResult matchesReference(const std::string &module, const CallResult &r, bool anyNan)
{
    return module == "Lantrel" ? lantrelReference(r, anyNan) : ostraveReference(r, anyNan);
}

void expectCase(const std::string &module, const DriverCase &c, const std::function<void(const CallResult &)> &inspect)
{
    const unsigned faults = runCase(moduleNamed(module), module, c, inspect);
    EXPECT_EQ(faults, c.expectFaults) << module << " case '" << c.name << "': " << faultWords(faults);
}
