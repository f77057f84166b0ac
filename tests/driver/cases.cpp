#include "cases.h"

#include <cstring>

std::vector<double> uniformValues(uint64_t seed, size_t n, double lo, double hi)
{
    std::vector<double> v(n);
    uint64_t s = seed;
    for (double &x : v) {
        /* splitmix64 */
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        x = lo + (hi - lo) * (static_cast<double>(z >> 11) * 0x1.0p-53);
    }
    return v;
}

double fromBits(uint64_t bits)
{
    double v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

mxArray *arrayOf(const std::vector<int> &dims, const std::vector<double> &v, int cls, int flags)
{
    mxArray *a = standinCreateArray(cls, static_cast<int>(dims.size()), dims.data(), flags);
    size_t n = mxGetNumberOfElements(a);
    for (size_t k = 0; k < n && k < v.size(); ++k)
        mxGetPr(a)[k] = v[k];
    return a;
}

bool casesFor(const std::string &module, std::vector<DriverCase> &cases)
{
    if (module == "Lantrel")
        lantrelCases(cases);
    else if (module == "Ostrave")
        ostraveCases(cases);
    else if (module == "Faulty")
        faultyCases(cases);
    else
        return false;
    return true;
}
