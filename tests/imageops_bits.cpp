/* Writes every image operation's output on fixed synthetic images (raw
 * doubles, native order), so that builds for other systems can be compared
 * with this one bit for bit: tests/windows/imageops_bits.sh runs the Windows
 * build under Wine against the Linux one.
 * Usage: imageops_bits OUT
 *        imageops_bits compare THIS OTHER
 * compare prints, per operation, how many values differ and by how many
 * ulps at most, and the table's differing entries; it fails unless every
 * value is identical (the operations' exp, hypot, atan2, sin and cos are
 * their own, imageops/exactmath.cpp, not the C library's). */
#include "../imageops/imagemaths.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const int M = 97, N = 131;

std::vector<double> readAll(const char *name)
{
    std::vector<double> v;
    FILE *f = fopen(name, "rb");
    double x;
    while (f && fread(&x, sizeof x, 1, f) == 1)
        v.push_back(x);
    if (f)
        fclose(f);
    return v;
}

/* Doubles between a and b (same sign assumed; else a large count). */
long long ulps(double a, double b)
{
    int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    return ia > ib ? ia - ib : ib - ia;
}

int compare(const char *thisName, const char *otherName)
{
    const std::vector<double> a = readAll(thisName), b = readAll(otherName);
    if (a.empty() || a.size() != b.size()) {
        printf("records differ in length: %zu and %zu values\n", a.size(), b.size());
        return 1;
    }
    const size_t plane = static_cast<size_t>(M) * N;
    struct Part { const char *name; size_t count; };
    const Part parts[] = {{"weights 0.03", plane}, {"weights 0.1", plane}, {"luma", plane},
                          {"directions", plane},   {"directions along", plane}, {"noise", 1}};
    const char *views[] = {"uint8", "uint16", "double"};
    size_t at = 0;
    int fail = 0;
    for (const char *view : views)
        for (const Part &p : parts) {
            size_t differ = 0;
            long long worst = 0;
            for (size_t k = at; k < at + p.count; ++k)
                if (std::memcmp(&a[k], &b[k], sizeof(double)) != 0) {
                    ++differ;
                    worst = std::max(worst, ulps(a[k], b[k]));
                }
            at += p.count;
            fail |= differ != 0;
            printf("%-7s %-17s %6zu of %6zu differ, by at most %lld ulp%s\n", view, p.name, differ, p.count, worst,
                   differ ? ": FAILED" : "");
        }
    size_t differ = 0;
    for (size_t k = at; k < a.size(); ++k)
        if (a[k] != b[k]) {
            ++differ;
            const size_t e = k - at;
            printf("table: step %zu of column %zu is %g here, %g there\n", e % PATH_TABLE_STEPS, e / PATH_TABLE_STEPS,
                   a[k], b[k]);
        }
    printf("table: %zu of %zu entries differ%s\n", differ, a.size() - at, differ ? ": FAILED" : "");
    return fail | (differ != 0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "compare") == 0)
        return compare(argv[2], argv[3]);
    if (argc != 2) {
        fputs("usage: imageops_bits OUT | imageops_bits compare THIS OTHER\n", stderr);
        return 2;
    }
    const int m = M, n = N;
    std::vector<uint8_t> u8(m * n * 3);
    std::vector<uint16_t> u16(u8.size());
    std::vector<double> f64(u8.size());
    /* Shapes and edges at every angle, plus noise from a fixed generator. */
    uint32_t state = 12345;
    for (int p = 0; p < 3; ++p)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) {
                state = state * 1664525u + 1013904223u;
                const int di = i - 40 - 5 * p, dj = j - 60;
                const int v = (di * di + dj * dj < 900 ? 180 : 40) + (i * 3 + j * 2 * (p + 1)) % 50 +
                              static_cast<int>(state >> 28);
                const size_t k = i + static_cast<size_t>(m) * j + static_cast<size_t>(m) * n * p;
                u8[k] = static_cast<uint8_t>(v > 255 ? 255 : v);
                u16[k] = static_cast<uint16_t>(u8[k] * 257 + (state >> 24) % 200);
                f64[k] = u16[k] / 65535.0 + (k % 7 == 0 ? 1e-9 : 0.0);
            }
    const ImageView views[] = {unitView(u8.data(), SAMPLE_UINT8, m, n, 3), unitView(u16.data(), SAMPLE_UINT16, m, n, 3),
                               unitView(f64.data(), SAMPLE_DOUBLE, m, n, 1)};
    std::vector<double> out;
    std::vector<double> plane(static_cast<size_t>(m) * n);
    for (const ImageView &v : views) {
        for (double sigma : {0.03, 0.1}) {
            edgeWeights(v, sigma, plane.data(), 2);
            out.insert(out.end(), plane.begin(), plane.end());
        }
        lumaOf(v, plane.data(), 2);
        out.insert(out.end(), plane.begin(), plane.end());
        for (double turn : {0.0, 90.0}) {
            if (!gradientDirections(v, turn, plane.data(), 2))
                return 1;
            out.insert(out.end(), plane.begin(), plane.end());
        }
        double s;
        if (!noiseEstimate(v, &s, 0))
            return 1;
        out.push_back(s);
    }
    std::vector<double> table(PATH_TABLE_STEPS * 2 * PATH_TABLE_DIRECTIONS);
    straightPathTable(table.data());
    out.insert(out.end(), table.begin(), table.end());
    FILE *f = fopen(argv[1], "wb");
    const bool ok = f && fwrite(out.data(), sizeof(double), out.size(), f) == out.size();
    if (!f || fclose(f) != 0 || !ok) {
        fprintf(stderr, "imageops_bits: cannot write %s\n", argv[1]);
        return 1;
    }
    printf("%zu values\n", out.size());
    return 0;
}
