#include "reference.h"

#include "../common/nanrules.h"

#include <climits>
#include <cmath>

/* The operations are spelt out with x86's NaN results (common/nanrules.h),
 * so that the reference gives the same bits as the modules on every
 * processor: plain operators give ARM's NaNs on aarch64. */
using nanrules::add;
using nanrules::div;
using nanrules::mul;
using nanrules::neg;
using nanrules::sub;

int referenceInt(double v)
{
    return std::isnan(v) || v <= -2147483649.0 || v >= 2147483648.0 ? INT_MIN : static_cast<int>(v);
}

/* Solve one line: d holds pointers to the line's values, w its couplings. */
static void referenceLine(std::vector<double *> &d, const std::vector<double> &w, double lam)
{
    const int L = static_cast<int>(d.size());
    std::vector<double> lower(L, 0.0), diag(L, 0.0), upper(L, 0.0);
    if (L > 1)
        for (int x = 0; x <= L - 2; x++) {
            double v = neg(mul(lam, w[x]));
            lower[x + 1] = v;
            upper[x] = v;
        }
    for (int x = 0; x < L; x++)
        diag[x] = sub(sub(1.0, lower[x]), upper[x]);
    upper[0] = div(upper[0], diag[0]);
    *d[0] = div(*d[0], diag[0]);
    for (int x = 1; x < L; x++) {
        double m = div(1.0, sub(diag[x], mul(upper[x - 1], lower[x])));
        upper[x] = mul(upper[x], m);
        *d[x] = mul(sub(*d[x], mul(*d[x - 1], lower[x])), m);
    }
    for (int x = L - 2; x >= 0; x--)
        *d[x] = sub(*d[x], mul(upper[x], *d[x + 1]));
}

void referenceSmooth(std::vector<double> &image, int M, int N, const std::vector<double> &weights, double lambda,
                     int iterations, double attenuation)
{
    double lam = mul(0.5, lambda);
    for (int it = 0; it < iterations; it++) {
        for (int k = 0; k < M; k++) {
            std::vector<double *> d;
            std::vector<double> w;
            for (int x = 0; x < N; x++) {
                d.push_back(&image[k * N + x]);
                w.push_back(weights[k * N + x]);
            }
            referenceLine(d, w, lam);
        }
        for (int i = 0; i < N; i++) {
            std::vector<double *> d;
            std::vector<double> w;
            for (int y = 0; y < M; y++) {
                d.push_back(&image[y * N + i]);
                w.push_back(weights[y * N + i]);
            }
            referenceLine(d, w, lam);
        }
        lam = div(lam, attenuation);
    }
}

void referenceWalk(const std::vector<double> &image, int M, int N, const std::vector<int> &directionMap,
                   const std::vector<int> &table, int a, std::vector<double> &netChange,
                   std::vector<double> &totalVariation, long long rowMargin, long long colMargin)
{
    if (rowMargin < 0)
        rowMargin = a + 1;
    if (colMargin < 0)
        colMargin = a + 1;
    int n = 2 * a + 2;
    std::vector<std::vector<long long>> offsetRows(722, std::vector<long long>(n, 0));
    for (int q = 0; q <= 721; q++)
        for (int p = 0; p <= a; p++) {
            long long v = table[p * 722 + q];
            if (q >= 361)
                v = v * N;
            offsetRows[q][a + 1 + p] = v;
        }
    for (int q = 0; q <= 721; q++)
        for (int j = 0; j <= a - 1; j++)
            offsetRows[q][j] = -offsetRows[q][2 * a - j];

    netChange.assign(static_cast<size_t>(M) * N, 0.0);
    totalVariation.assign(static_cast<size_t>(M) * N, 0.0);
    for (int r = 0; r <= M - 1; r++)
        for (int c = 0; c <= N - 1; c++) {
            long long k = static_cast<long long>(r) * N + c;
            int d = directionMap[k];
            std::vector<long long> &X = offsetRows[d];
            std::vector<long long> &Y = offsetRows[361 + d];
            double start = -1.0;
            double sum = 0.0;
            double prev = 0.0;
            bool interior = rowMargin <= r && r <= M - rowMargin - 1 && colMargin <= c && c <= N - colMargin - 1;
            for (int e = 0; e <= n - 1; e++) {
                long long dx = X[e];
                long long dy = Y[e];
                if (!interior) {
                    if (!(0 <= c + dx && c + dx <= N - 1 && 0 <= r + dy / N && r + dy / N <= M - 1))
                        continue;
                }
                double v = image.at(k + dy + dx);
                if (start < 0) {
                    start = v;
                    prev = v;
                } else {
                    sum = add(sum, nanrules::abs(sub(v, prev)));
                    prev = v;
                }
            }
            if (interior)
                netChange[k] = nanrules::abs(sub(prev, start));
            else
                netChange[k] = start >= 0 ? nanrules::abs(sub(prev, start)) : 0.0;
            totalVariation[k] = sum;
        }
}
