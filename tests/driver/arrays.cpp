#include "arrays.h"

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

std::vector<double> randomValues(std::mt19937_64 &rng, size_t n, double lo, double hi)
{
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(n);
    for (auto &x : v)
        x = u(rng);
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
        standinSetValue(a, 0, k, v[k]);
    return a;
}

mxArray *filledArray(int m, int n, double v)
{
    return arrayOf({m, n}, std::vector<double>(static_cast<size_t>(m) * static_cast<size_t>(n), v));
}

std::vector<double> hostValues(const mxArray *a)
{
    if (!standinData(a, 0)) /* declared dimensions only */
        return {};
    std::vector<double> v(mxGetNumberOfElements(a));
    for (size_t k = 0; k < v.size(); ++k)
        v[k] = standinValue(a, 0, k);
    return v;
}

std::vector<double> toRowMajor(const std::vector<double> &colMajor, int M, int N)
{
    std::vector<double> r(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            r[static_cast<size_t>(i) * N + j] = colMajor[i + static_cast<size_t>(M) * j];
    return r;
}

std::vector<double> toColMajor(const std::vector<double> &rowMajor, int M, int N)
{
    std::vector<double> c(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            c[i + static_cast<size_t>(M) * j] = rowMajor[static_cast<size_t>(i) * N + j];
    return c;
}
