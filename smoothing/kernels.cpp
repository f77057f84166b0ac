/* Instantiates the lane solve for each path: SSE2 on every build, AVX2
 * where the compiler can target it (chosen at run time); and the line solve
 * with x86's NaN rules spelt out, for the lines a NaN check solves again. */
#include "kernels.h"

#include "../common/dispatch.h"
#include "../common/nanrules.h"

/* Each path's kernels for each check, the check fixed at compile time so
 * that the kernels without one carry none of its code. */
template <NanCheck C> static int solveRowsSse2(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    return solveRowGroups<v2d, SSE2_LANES / 2, C>(p, r0, r1, lam, scratch);
}

template <NanCheck C> static int stripSse2(const Pass &p, int i0, int i1, double lam, double *scratch)
{
    return solveStrip<v2d, C>(p, i0, i1, lam, scratch);
}

static const Kernels sse2Kernels[3] = {
    {solveRowsSse2<NAN_CHECK_NONE>, stripSse2<NAN_CHECK_NONE>},
    {solveRowsSse2<NAN_CHECK_INVALID>, stripSse2<NAN_CHECK_INVALID>},
    {solveRowsSse2<NAN_CHECK_EVERY>, stripSse2<NAN_CHECK_EVERY>},
};

#ifdef HAVE_AVX2_PATH
template <NanCheck C>
__attribute__((target("avx2"))) static int solveRowsAvx2(const Pass &p, int r0, int r1, double lam, double *scratch)
{
    return solveRowGroups<v4d, AVX2_LANES / 4, C>(p, r0, r1, lam, scratch);
}

template <NanCheck C>
__attribute__((target("avx2"))) static int stripAvx2(const Pass &p, int i0, int i1, double lam, double *scratch)
{
    return solveStrip<v4d, C>(p, i0, i1, lam, scratch);
}

static const Kernels avx2Kernels[3] = {
    {solveRowsAvx2<NAN_CHECK_NONE>, stripAvx2<NAN_CHECK_NONE>},
    {solveRowsAvx2<NAN_CHECK_INVALID>, stripAvx2<NAN_CHECK_INVALID>},
    {solveRowsAvx2<NAN_CHECK_EVERY>, stripAvx2<NAN_CHECK_EVERY>},
};
#endif

const Kernels *kernelsFor(KernelPath path, NanCheck check)
{
#ifdef HAVE_AVX2_PATH
    if (takesAvx2(path))
        return &avx2Kernels[check];
#else
    (void)path;
#endif
    return &sse2Kernels[check];
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
