#include "reference.h"

/* Solve one line: d holds pointers to the line's values, w its couplings. */
static void referenceLine(std::vector<double *> &d, const std::vector<double> &w, double lam)
{
    const int L = static_cast<int>(d.size());
    std::vector<double> lower(L, 0.0), diag(L, 0.0), upper(L, 0.0);
    if (L > 1)
        for (int x = 0; x <= L - 2; x++) {
            double v = -(lam * w[x]);
            lower[x + 1] = v;
            upper[x] = v;
        }
    for (int x = 0; x < L; x++)
        diag[x] = (1 - lower[x]) - upper[x];
    upper[0] = upper[0] / diag[0];
    *d[0] = *d[0] / diag[0];
    for (int x = 1; x < L; x++) {
        double m = 1 / (diag[x] - upper[x - 1] * lower[x]);
        upper[x] = upper[x] * m;
        *d[x] = (*d[x] - *d[x - 1] * lower[x]) * m;
    }
    for (int x = L - 2; x >= 0; x--)
        *d[x] = *d[x] - upper[x] * *d[x + 1];
}

void referenceSmooth(std::vector<double> &image, int M, int N, const std::vector<double> &weights, double lambda,
                     int iterations, double attenuation)
{
    double lam = 0.5 * lambda;
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
        lam = lam / attenuation;
    }
}
