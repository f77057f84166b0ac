#include "solver.h"

#include "store.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

/* One line of length L, values d[x*stride], coupling weights w[x*wstride].
 * The operation order below is the definition of the result, bit for bit. */
static void solveLine(double *d, ptrdiff_t stride, const double *w, ptrdiff_t wstride, int L, double lam,
                      double *lower, double *diag, double *upper)
{
    memset(lower, 0, static_cast<size_t>(L) * sizeof(double));
    memset(diag, 0, static_cast<size_t>(L) * sizeof(double));
    memset(upper, 0, static_cast<size_t>(L) * sizeof(double));
    for (int x = 0; x + 1 < L; ++x) {
        double v = -(lam * w[x * wstride]);
        lower[x + 1] = v;
        upper[x] = v;
    }
    for (int x = 0; x < L; ++x)
        diag[x] = (1.0 - lower[x]) - upper[x];

    upper[0] = upper[0] / diag[0];
    d[0] = d[0] / diag[0];
    for (int x = 1; x < L; ++x) {
        double m = 1.0 / (diag[x] - upper[x - 1] * lower[x]);
        upper[x] = upper[x] * m;
        d[x * stride] = (d[x * stride] - d[(x - 1) * stride] * lower[x]) * m;
    }
    for (int x = L - 2; x >= 0; --x)
        d[x * stride] = d[x * stride] - upper[x] * d[(x + 1) * stride];
}

bool smoothSeparable(double ***store, const double *hweights, const double *vweights, double lambda,
                     int iterations, double attenuation)
{
    const int m = rows;
    const int n = cols;
    if (iterations <= 0 || m <= 0 || n <= 0)
        return true;
    double *scratch = static_cast<double *>(malloc((3 * static_cast<size_t>(n) + 3 * static_cast<size_t>(m)) *
                                                   sizeof(double)));
    if (!scratch)
        return false;
    double *rowLower = scratch, *rowDiag = rowLower + n, *rowUpper = rowDiag + n;
    double *colLower = rowUpper + n, *colDiag = colLower + m, *colUpper = colDiag + m;

    double lam = 0.5 * lambda;
    for (int it = 0; it < iterations; ++it) {
        for (int k = 0; k < m; ++k)
            solveLine(store[k][0], 1, hweights + static_cast<size_t>(k) * n, 1, n, lam, rowLower, rowDiag,
                      rowUpper);
        for (int i = 0; i < n; ++i)
            solveLine(store[0][i], n, vweights + i, n, m, lam, colLower, colDiag, colUpper);
        lam = lam / attenuation;
    }
    free(scratch);
    return true;
}
