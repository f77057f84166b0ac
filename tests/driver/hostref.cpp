#include "hostref.h"

#include "reference.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

std::vector<double> firstValues(const mxArray *a, size_t n)
{
    std::vector<double> v = hostValues(a);
    v.resize(n);
    return v;
}

bool sameDims(const mxArray *out, int ndim, const int *dims)
{
    return out && mxGetNumberOfDimensions(out) == ndim && std::equal(dims, dims + ndim, mxGetDimensions(out));
}

std::string differs(const std::vector<double> &got, const std::vector<double> &want, bool anyNan)
{
    for (size_t k = 0; k < got.size() && k < want.size(); ++k)
        if (memcmp(&got[k], &want[k], sizeof(double)) != 0 && !(anyNan && got[k] != got[k] && want[k] != want[k]))
            return "element " + std::to_string(k) + ": " + std::to_string(got[k]) + " vs " + std::to_string(want[k]) +
                   " (bits differ)";
    return got.size() == want.size() ? "" : "sizes differ";
}

std::string lantrelMismatch(const CallResult &r, bool anyNan)
{
    const mxArray *image = r.inputs[0];
    if (!sameDims(r.out[0], mxGetNumberOfDimensions(image), mxGetDimensions(image)))
        return "the output has other dimensions than the image";
    const int M = mxGetDimensions(image)[0], N = mxGetDimensions(image)[1];
    const size_t pixels = static_cast<size_t>(M) * N, all = mxGetNumberOfElements(image);
    if (all == 0)
        return "";
    const std::vector<double> w = toRowMajor(firstValues(r.inputs[2], pixels), M, N), img = hostValues(image),
                              got = hostValues(r.out[0]);
    for (size_t p = 0; p < all / pixels; ++p) {
        std::vector<double> plane(img.begin() + p * pixels, img.begin() + (p + 1) * pixels);
        plane = toRowMajor(plane, M, N);
        referenceSmooth(plane, M, N, w, mxGetScalar(r.inputs[4]), referenceInt(mxGetScalar(r.inputs[5])),
                        mxGetScalar(r.inputs[6]));
        std::string d = differs(std::vector<double>(got.begin() + p * pixels, got.begin() + (p + 1) * pixels),
                                toColMajor(plane, M, N), anyNan);
        if (!d.empty())
            return d + " in plane " + std::to_string(p);
    }
    return "";
}

/* Offsets beyond the image clamp to its extent and widen the interior
 * margin to the largest magnitude steps 0..a hold, which decides only the
 * net change of walks with a NaN start. */
std::string ostraveMismatch(const CallResult &r, bool anyNan)
{
    const int M = mxGetDimensions(r.inputs[0])[0], N = mxGetDimensions(r.inputs[0])[1];
    const int dims[2] = {M, N};
    const int made = r.room > 1 ? 2 : 1;
    for (int k = 0; k < made; ++k)
        if (!sameDims(r.out[k], 2, dims))
            return "an output is not M x N";
    const size_t pixels = static_cast<size_t>(M) * N;
    if (pixels == 0)
        return "";
    const int a = referenceInt(mxGetScalar(r.inputs[3]));
    const std::vector<double> t = firstValues(r.inputs[2], 80 * 722);
    std::vector<int> table(80 * 722);
    long long rowMargin = a + 1, colMargin = a + 1;
    for (int p = 0; p < 80; ++p)
        for (int q = 0; q < 722; ++q) {
            const int v = referenceInt(t[p + 80 * q]);
            table[static_cast<size_t>(p) * 722 + q] = v;
            const long long extent = q >= 361 ? M : N;
            const long long magnitude = std::min(std::llabs(static_cast<long long>(v)), extent);
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
    std::string d = differs(hostValues(r.out[0]), toColMajor(nc, M, N), anyNan);
    if (d.empty() && made > 1)
        d = differs(hostValues(r.out[1]), toColMajor(tv, M, N), anyNan);
    return d;
}

} // namespace

std::string referenceMismatch(const std::string &module, const CallResult &r, bool anyNan)
{
    return module == "Lantrel" ? lantrelMismatch(r, anyNan) : ostraveMismatch(r, anyNan);
}
