/* Direction tables for the path-variation tests, benchmarks and tools:
 * row-major 80 x 722 ints (step p, column q at p * 722 + q), and their
 * column-major host form. */
#ifndef PATHTABLES_H
#define PATHTABLES_H

#include <cmath>
#include <random>
#include <vector>

/* Direction d points at d/2 degrees (0 = along a row to the right, 90 = up
 * the image); step p lies p + 1 pixels along that line, rounded. */
inline std::vector<int> lineTable()
{
    const double pi = 3.14159265358979323846;
    std::vector<int> t(80 * 722);
    for (int d = 0; d <= 360; ++d) {
        double angle = d / 2.0 * pi / 180.0;
        for (int p = 0; p < 80; ++p) {
            t[p * 722 + d] = static_cast<int>(std::round((p + 1) * std::cos(angle)));
            t[p * 722 + 361 + d] = -static_cast<int>(std::round((p + 1) * std::sin(angle)));
        }
    }
    return t;
}

/* Steps 0..a hold offsets of magnitude at most a + 1; the steps after a,
 * which a walk of half-length a never reads, hold values no walk could use. */
inline std::vector<int> randomTable(std::mt19937_64 &rng, int a)
{
    std::uniform_int_distribution<int> offset(-(a + 1), a + 1);
    std::vector<int> t(80 * 722);
    for (int p = 0; p < 80; ++p)
        for (int q = 0; q < 722; ++q)
            t[p * 722 + q] = p <= a ? offset(rng) : (q % 2 ? 1 << 30 : -(1 << 30));
    return t;
}

/* Every direction: column offsets cols[p] and row offsets rows[p] at step p
 * (later steps 0). */
inline std::vector<int> uniformTable(const std::vector<int> &cols, const std::vector<int> &rows = {})
{
    std::vector<int> t(80 * 722, 0);
    for (size_t p = 0; p < cols.size(); ++p)
        for (int d = 0; d <= 360; ++d)
            t[p * 722 + d] = cols[p];
    for (size_t p = 0; p < rows.size(); ++p)
        for (int d = 0; d <= 360; ++d)
            t[p * 722 + 361 + d] = rows[p];
    return t;
}

/* The 80 x 722 column-major doubles a host caller passes. */
inline std::vector<double> hostTable(const std::vector<int> &t)
{
    std::vector<double> h(80 * 722);
    for (int p = 0; p < 80; ++p)
        for (int q = 0; q < 722; ++q)
            h[p + 80 * q] = t[p * 722 + q];
    return h;
}

#endif
