/* Instantiates the lane solve for each path: SSE2 on every build, AVX2
 * where the compiler can target it (chosen at run time). */
#include "kernels.h"

#include "../common/dispatch.h"
#include "../common/nanrules.h"

static void solveRowsSse2(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    solveRowGroups<v2d, SSE2_LANES / 2>(p, r0, r1, lam, scratch);
}

static void stripSse2(const Pass &p, int i0, int i1, double lam, double *scratch)
{
    forwardColumns<v2d>(p, i0, i1, 0, p.length, lam, scratch);
    backwardColumns<v2d>(p, i0, i1, scratch);
}

static const Kernels sse2Kernels = {solveRowsSse2, stripSse2};

#ifdef HAVE_AVX2_PATH
__attribute__((target("avx2"))) static void solveRowsAvx2(const Pass &p, int r0, int r1, double lam,
                                                         double *scratch)
{
    solveRowGroups<v4d, AVX2_LANES / 4>(p, r0, r1, lam, scratch);
}

__attribute__((target("avx2"))) static void stripAvx2(const Pass &p, int i0, int i1, double lam, double *scratch)
{
    forwardColumns<v4d>(p, i0, i1, 0, p.length, lam, scratch);
    backwardColumns<v4d>(p, i0, i1, scratch);
}

static const Kernels avx2Kernels = {solveRowsAvx2, stripAvx2};
#endif

const Kernels *kernelsFor(int path)
{
#ifdef HAVE_AVX2_PATH
    if (takesAvx2(path))
        return &avx2Kernels;
#else
    (void)path;
#endif
    return &sse2Kernels;
}

void solveLineExact(double *d, ptrdiff_t ds, const double *w, ptrdiff_t ws, int L, double lam, double *c)
{
    using namespace nanrules;
    double up = L > 1 ? neg(mul(lam, w[0])) : 0.0;
    double diag = sub(sub(1.0, 0.0), up);
    c[0] = div(up, diag);
    d[0] = div(d[0], diag);
    double lower = up;
    for (int x = 1; x < L; ++x) {
        up = x < L - 1 ? neg(mul(lam, w[x * ws])) : 0.0;
        diag = sub(sub(1.0, lower), up);
        const double m = div(1.0, sub(diag, mul(c[x - 1], lower)));
        c[x] = mul(up, m);
        d[x * ds] = mul(sub(d[x * ds], mul(d[(x - 1) * ds], lower)), m);
        lower = up;
    }
    for (int x = L - 2; x >= 0; --x)
        d[x * ds] = sub(d[x * ds], mul(c[x], d[(x + 1) * ds]));
}
