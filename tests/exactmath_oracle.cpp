/* Holds imageops/exactmath.cpp against quadruple precision (libquadmath,
 * rounded to double): exp, hypot, sin and cos correctly rounded, atan2
 * within one ulp, exactLround as glibc's lround; on random and special
 * arguments and on every argument the weights of the given photos pass
 * (lantrelWeights' sigmas: 0.03, 0.1 and the pilot's ones derived from the
 * noise). For the photos it also prints how many weights glibc's own exp
 * and hypot would change: glibc is not correctly rounded everywhere, and
 * those weights are what moved when the toolbox stopped using it.
 * Usage: exactmath_oracle [PHOTO.png ...] */
#include "../imageops/exactmath.h"
#include "../imageops/imagemaths.h"
#include "imageops.h"
#include "pngio.h"

#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

int64_t bitsOf(double x)
{
    int64_t b;
    std::memcpy(&b, &x, sizeof x);
    return b;
}

/* ulps between a and b on the ordered line of doubles; NaN only matches NaN */
int64_t ulps(double a, double b)
{
    if (a != a || b != b)
        return (a != a) == (b != b) ? 0 : INT64_MAX;
    int64_t ia = bitsOf(a), ib = bitsOf(b);
    ia = ia < 0 ? INT64_MIN - ia : ia;
    ib = ib < 0 ? INT64_MIN - ib : ib;
    return ia > ib ? ia - ib : ib - ia;
}

struct Tally {
    const char *name;
    long calls = 0, wrong = 0;
    void check(double got, double want, int64_t allowed, double x, double y)
    {
        ++calls;
        const bool same = allowed == 0 ? (got != got ? want != want : bitsOf(got) == bitsOf(want))
                                       : ulps(got, want) <= allowed;
        if (!same && wrong++ < 5)
            printf("%s(%a, %a) = %a, want %a\n", name, x, y, got, want);
    }
};

Tally expT{"exp"}, hypotT{"hypot"}, sinT{"sin"}, cosT{"cos"}, atan2T{"atan2"}, lroundT{"lround"};

void checkExp(double x) { expT.check(exactExp(x), static_cast<double>(expq(x)), 0, x, 0); }
void checkHypot(double x, double y) { hypotT.check(exactHypot(x, y), static_cast<double>(hypotq(x, y)), 0, x, y); }
void checkSinCos(double x)
{
    sinT.check(exactSin(x), static_cast<double>(sinq(x)), 0, x, 0);
    cosT.check(exactCos(x), static_cast<double>(cosq(x)), 0, x, 0);
}
void checkAtan2(double y, double x) { atan2T.check(exactAtan2(y, x), static_cast<double>(atan2q(y, x)), 1, y, x); }

/* A double of random sign, significand and exponent in [lo, hi]. */
double anyDouble(std::mt19937_64 &rng, int lo, int hi)
{
    const double m = std::ldexp(static_cast<double>(rng() >> 11), -53) + 0.5;
    const int e = lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo + 1));
    return rng() & 1 ? -std::ldexp(m, e) : std::ldexp(m, e);
}

void randomAndSpecial()
{
    const double inf = INFINITY, nan = NAN, tiny = 0x1p-1074;
    const double specials[] = {0.0, -0.0, inf, -inf, nan, tiny, 0x1p-1022, 0x1.fffffffffffffp-1023, 1.0, 0x1p-60,
                               709.782712893384, 709.7827128933841, 710.0, -708.3964185322641, -708.4, -745.1332191019411,
                               -745.1332191019412, -746.0, 0x1p20, 0x1p-26, 0x1p-27, 3.0, 4.0, 1e300, 1e-300, 0.5,
                               0x1.6ac5b262ca1ffp+849, 1e22, 355.0}; /* the last: near multiples of pi/2 */
    for (double a : specials) {
        checkExp(a);
        checkExp(-a);
        checkSinCos(a);
        checkSinCos(-a);
        for (double b : specials) {
            checkHypot(a, b);
            checkAtan2(a, -b);
            checkAtan2(-a, b);
        }
    }
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 40000; ++i) {
        checkExp(745.0 * unit(rng));
        checkExp(unit(rng) * 0.01);
        checkExp(-746.0 + 38.0 * std::fabs(unit(rng))); /* subnormal results */
        checkExp(anyDouble(rng, -70, 10));
        checkHypot(anyDouble(rng, -1074, 1024), anyDouble(rng, -1074, 1024));
        const double h = anyDouble(rng, -1070, 1020);
        checkHypot(h, h * std::ldexp(unit(rng), -static_cast<int>(rng() % 40)));
        checkHypot(unit(rng), unit(rng));
        checkSinCos(8.0 * unit(rng));
        checkSinCos(anyDouble(rng, -30, 1024));
        checkAtan2(anyDouble(rng, -1074, 1024), anyDouble(rng, -1074, 1024));
        checkAtan2(unit(rng), unit(rng));
    }
    for (int d = 0; d <= 360; ++d) /* the straight-path table's angles */
        checkSinCos(d * (3.14159265358979323846 / 180.0));
    /* exactLround against glibc's, which rounds 0.49999999999999994 to 0 */
    for (double x : {0.49999999999999994, 0.5, 1.5, 2.5, 0x1p52 + 1, 1e15 + 0.5, 359.5, 359.49999999999994})
        for (double v : {x, -x, std::nextafter(x, 0.0), std::nextafter(x, 1e300)})
            lroundT.check(static_cast<double>(exactLround(v)), static_cast<double>(std::lround(v)), 0, v, 0);
}

/* Every argument of the weights of one photo for `sigma`; prints how many
 * weights glibc's exp and hypot give otherwise, and by how many ulps. */
void photo(const char *name, const std::vector<double> &planes, int m, int n, int c, double sigma)
{
    std::vector<double> w(static_cast<size_t>(m) * n);
    const ImageView v{planes.data(), SAMPLE_DOUBLE, m, n, c, 1, m, static_cast<ptrdiff_t>(m) * n, 0.0, 1.0};
    edgeWeights(v, sigma, w.data(), 1);
    long differ = 0;
    int64_t worst = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            double g = 0.0, gLibc = 0.0;
            for (int p = 0; p < c; ++p) {
                const double *f = planes.data() + static_cast<size_t>(m) * n * p;
                const double here = f[i + static_cast<size_t>(m) * j];
                const double dx = j + 1 < n ? f[i + static_cast<size_t>(m) * (j + 1)] - here : 0.0;
                const double dy = i + 1 < m ? f[i + 1 + static_cast<size_t>(m) * j] - here : 0.0;
                checkHypot(dx, dy);
                g = std::max(g, exactHypot(dx, dy));
                gLibc = std::max(gLibc, std::hypot(dx, dy));
            }
            checkExp(-g / sigma);
            const double mine = w[i + static_cast<size_t>(m) * j];
            expT.check(mine, static_cast<double>(expq(-g / sigma)), 0, -g, sigma);
            const double libc = std::exp(-gLibc / sigma);
            if (bitsOf(libc) != bitsOf(mine)) {
                ++differ;
                worst = std::max(worst, ulps(libc, mine));
            }
        }
    printf("%s sigma %.17g: glibc's exp and hypot change %ld of %d weights, by at most %lld ulp\n", name, sigma, differ,
           m * n, static_cast<long long>(worst));
}

} // namespace

int main(int argc, char **argv)
{
    randomAndSpecial();
    for (int k = 1; k < argc; ++k) {
        PngImage img;
        std::string why;
        if (!readPng(argv[k], &img, &why)) {
            fprintf(stderr, "exactmath_oracle: %s: %s\n", argv[k], why.c_str());
            return 2;
        }
        const int m = img.height, n = img.width, c = img.channels >= 3 ? 3 : 1;
        const std::vector<double> planes = colourPlanes(img);
        const ImageView v{planes.data(), SAMPLE_DOUBLE, m, n, c, 1, m, static_cast<ptrdiff_t>(m) * n, 0.0, 1.0};
        double noise;
        if (!noiseEstimate(v, &noise, 0))
            return 2;
        const std::string name = std::strrchr(argv[k], '/') ? std::strrchr(argv[k], '/') + 1 : argv[k];
        const double pilot = 2 * noise + 0.003;
        for (double sigma : {0.03, 0.1, pilot, 0.035}) /* the final one is min(pilot, 0.035) */
            if (sigma != 0.035 || pilot > 0.035)
                photo(name.c_str(), planes, m, n, c, sigma);
    }
    int failed = 0;
    for (const Tally *t : {&expT, &hypotT, &sinT, &cosT, &atan2T, &lroundT}) {
        printf("%-5s %8ld arguments, %ld off the oracle\n", t->name, t->calls, t->wrong);
        failed |= t->wrong != 0;
    }
    return failed;
}
