#include "exactmath.h"

#include "exactmath_tables.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

/* A value hi + lo, |lo| at most about half an ulp of hi. */
struct DD {
    double hi, lo;
};

/* Error-free transformations (Knuth, Dekker): exact while nothing
 * overflows, and for products while nothing underflows. */
inline DD twoSum(double a, double b)
{
    const double s = a + b, bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

/* |a| >= |b| (or a == 0) */
inline DD fastTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

inline void split(double a, double *h, double *l)
{
    const double t = 134217729.0 * a; /* 2^27 + 1 */
    *h = t - (t - a);
    *l = a - *h;
}

inline DD twoProd(double a, double b)
{
    double ah, al, bh, bl;
    split(a, &ah, &al);
    split(b, &bh, &bl);
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline DD twoSquare(double a)
{
    double h, l;
    split(a, &h, &l);
    const double p = a * a;
    return {p, ((h * h - p) + 2 * h * l) + l * l};
}

/* Double-double arithmetic, relative error a few 2^-106. */
DD ddAdd(DD a, DD b)
{
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(s.hi, s.lo + t.lo);
}

DD ddMul(DD a, DD b)
{
    const DD p = twoProd(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DD ddDiv(DD a, double b)
{
    const double q = a.hi / b;
    const DD p = twoProd(q, b);
    return fastTwoSum(q, (((a.hi - p.hi) - p.lo) + a.lo) / b);
}

/* 2^e for -1022 <= e <= 1023 */
double pow2(int e)
{
    const uint64_t bits = static_cast<uint64_t>(e + 1023) << 52;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

/* The nearest integer of |z| < 2^51, ties to even, in any rounding build. */
inline double nearestInteger(double z)
{
    const double shift = 0x1.8p52;
    return (z + shift) - shift;
}

/* The true value lies within err of hi + lo. The double nearest to it is
 * that of every point of [hi + lo - err, hi + lo + err] when both ends
 * round alike (rounding is monotonic); err must exceed the true bound by
 * the rounding of lo +- err. */
inline bool roundsAlike(double hi, double lo, double err, double *out)
{
    const double a = hi + (lo - err), b = hi + (lo + err);
    *out = a;
    return a == b;
}

/* ---- exp ---- */

const double C3 = 1.0 / 6, C4 = 1.0 / 24, C5 = 1.0 / 120, C6 = 1.0 / 720;

/* The double nearest to (hi + lo) 2^e, hi in [0.99, 2.01] within err of
 * the true mantissa; false when that is undecided. */
inline bool scaleRound(double hi, double lo, double err, int e, double *out)
{
    double a;
    if (e > -1022) {
        if (!roundsAlike(hi, lo, err, &a))
            return false;
        *out = e > 1000 ? a * pow2(e - 1000) * 0x1p1000 : a * pow2(e); /* overflow: +Inf, rightly */
        return true;
    }
    /* Below 2^-1021 the doubles are the multiples of 2^-1074, so the scaled
     * mantissa w = (hi + lo) 2^(e + 1022) rounds to multiples of 2^-52:
     * as it is at or above 1, as 1 + w below. */
    const double sc = pow2(e + 1022);
    hi *= sc;
    lo *= sc;
    err = err > 0 ? std::fmax(err * sc, 0x1p-100) : 0.0; /* over the rounding of 1 + w's parts */
    if (roundsAlike(hi, lo, err, &a) && a >= 1.0) {
        *out = a * 0x1p-1022;
        return true;
    }
    const DD s = twoSum(1.0, hi);
    const double b = s.hi + (s.lo + (lo + err));
    a = s.hi + (s.lo + (lo - err));
    if (a == b && a < 2.0) {
        *out = (a - 1.0) * 0x1p-1022;
        return true;
    }
    return false;
}

/* exp(x) = 2^e 2^(j/128) e^r, r = x - k ln2/128, all in double-double. */
double expSlow(double x, double kd, int j, int e)
{
    const DD p2 = twoProd(kd, LN2_128_2);
    const DD r = ddAdd(twoSum(x - kd * LN2_128_1, -p2.hi), DD{-p2.lo, -(kd * LN2_128_3)});
    /* e^r = 1 + r (1 + r/2 (1 + r/3 (...))): |r| < 2^-8.5, so 13 terms are past 2^-120 */
    DD s{1.0, 0.0};
    for (int n = 13; n >= 1; --n)
        s = ddAdd(DD{1.0, 0.0}, ddDiv(ddMul(r, s), n));
    const DD m = ddMul(DD{EXP2_128[j][0], EXP2_128[j][1]}, s);
    /* Undecided at 2^-96: the double-double value's rounding. With no error
     * left, scaleRound fails only for a scaled mantissa in [1 - 2^-53,
     * 1 - 2^-54), which rounds to 2^-1022. */
    double out = 0x1p-1022;
    if (!scaleRound(m.hi, m.lo, 0x1p-96, e, &out))
        scaleRound(m.hi, m.lo, 0.0, e, &out);
    return out;
}

/* ---- hypot ---- */

/* Which of the adjacent doubles q1 < q2 is nearer sqrt(xx + yy) (exact
 * squares): the sign of xx + yy - (q1 + h)^2, h half their distance,
 * summed exactly (Shewchuk's expansion sum); a tie goes to the even one. */
double hypotDecide(double x, double y, double q1, double q2)
{
    const DD xx = twoSquare(x), yy = twoSquare(y);
    const double h = (q2 - q1) * 0.5;
    const DD q = twoSquare(q1);
    const double terms[8] = {xx.lo, yy.lo, -q.lo, -(h * h), xx.hi, yy.hi, -q.hi, -(2 * q1 * h)};
    double e[16];
    int m = 0;
    for (double t : terms) {
        int k = 0;
        for (int i = 0; i < m; ++i) {
            const DD s = twoSum(t, e[i]);
            if (s.lo != 0)
                e[k++] = s.lo;
            t = s.hi;
        }
        if (t != 0)
            e[k++] = t;
        m = k;
    }
    if (m > 0)
        return e[m - 1] > 0 ? q2 : q1;
    uint64_t bits;
    std::memcpy(&bits, &q1, sizeof q1);
    return bits & 1 ? q2 : q1;
}

/* x >= y > 0, both within [2^-450, 2^450]: no square, split or correction
 * over- or underflows. sqrt(S), S = x^2 + y^2, is r + (S - r^2) / (2r) to
 * within 2^-101 r, r the rounded square root of the rounded S. */
double hypotCore(double x, double y)
{
    const DD xx = twoSquare(x), yy = twoSquare(y);
    const DD s = fastTwoSum(xx.hi, yy.hi);
    const double sl = s.lo + (xx.lo + yy.lo);
    const double r = std::sqrt(s.hi);
    const DD rr = twoSquare(r);
    /* s.hi - rr.hi is exact: r^2 is within 2^-51 of s.hi */
    const double c = (((s.hi - rr.hi) - rr.lo) + sl) / (r + r);
    const double err = r * 0x1p-98;
    const double a = r + (c - err), b = r + (c + err);
    return a == b ? a : hypotDecide(x, y, a, b);
}

/* x >= y, or a NaN: what the fast test of exactHypot leaves. */
double hypotRare(double x, double y)
{
    if (std::isinf(x) || std::isinf(y))
        return std::numeric_limits<double>::infinity();
    if (x != x || y != y)
        return x + y;
    if (x >= 0x1p-1021) {
        if (y < x * 0x1p-60) /* y^2 / 2x is below a quarter ulp of x */
            return x;
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof x);
        const int ex = static_cast<int>(bits >> 52) - 1023;
        const double down = pow2(-ex / 2), rest = pow2(-ex - -ex / 2); /* 2^-ex, in two exact steps */
        const double r = hypotCore(x * down * rest, y * down * rest);
        return ex > 1000 ? r * pow2(ex - 1000) * 0x1p1000 : r * pow2(ex);
    }
    /* Below 2^-1021 the doubles are the multiples of 2^-1074: scaled by
     * 2^1074, the result rounds to a whole number. The scaled square root,
     * rounded to double, is within a quarter of the true one. */
    x = x * 0x1p537 * 0x1p537;
    y = y * 0x1p537 * 0x1p537;
    const double r = hypotCore(x, y), n = nearestInteger(r);
    if (r >= 0x1p52 || std::fabs(r - n) < 0.25)
        return (r >= 0x1p52 ? r : n) * 0x1p-1074;
    const double below = std::floor(r); /* exact; no tie: x^2 + y^2 is whole */
    return hypotDecide(x, y, below, below + 1.0) * 0x1p-1074;
}

/* ---- sin, cos ---- */

/* x - kd pi/2, |kd| < 2^20, to about 2^-130 absolute. */
DD reduceHalfPi(double x, double kd)
{
    const DD r = twoSum(x - kd * PIO2_1, -(kd * PIO2_2));
    return ddAdd(r, twoSum(-(kd * PIO2_3), -(kd * PIO2_4)));
}

/* sin r (cosine false) or cos r, |r| <= pi/4 + an ulp: Taylor series to
 * r^29 / 29!, below 2^-112. */
DD sinCosReduced(DD r, bool cosine)
{
    const DD r2 = ddMul(r, r);
    DD s{1.0, 0.0};
    for (int m = 14; m >= 1; --m) {
        const double d = cosine ? (2.0 * m - 1) * (2.0 * m) : (2.0 * m) * (2.0 * m + 1);
        const DD t = ddDiv(ddMul(r2, s), d);
        s = ddAdd(DD{1.0, 0.0}, DD{-t.hi, -t.lo});
    }
    return cosine ? s : ddMul(r, s);
}

/* |x| > 2^20, finite: x 2/pi = quadrant + r / (pi/2) (mod 4), |r| <= pi/4,
 * from the bits of 2/pi that matter (Payne and Hanek): x = m 2^(24 q),
 * m < 2^77 in four base-2^24 digits, times 2/pi's digits, in columns of
 * 2^(-24 j). Columns above the point are multiples of 4 and left out; nine
 * below it hold r to 2^-190. */
DD reduceLarge(double x, int *quadrant)
{
    const double a = std::fabs(x);
    uint64_t bits;
    std::memcpy(&bits, &a, sizeof a);
    const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
    const int e = static_cast<int>(bits >> 52) - 1075; /* a = m 2^e, e >= -32 */
    const int q = (e + 48) / 24 - 2, t = e - 24 * q;   /* floor division; 0 <= t < 24 */
    const uint64_t mask = 0xffffff;
    int64_t digit[4];
    for (int k = 0; k < 4; ++k) {
        const int shift = 24 * k - t;
        digit[k] = static_cast<int64_t>((shift <= 0 ? m << -shift : shift < 64 ? m >> shift : 0) & mask);
    }
    const int J = 9;
    int64_t col[J + 1];
    for (int j = 0; j <= J; ++j) {
        col[j] = 0;
        for (int k = 0; k < 4; ++k) {
            const int i = j - 1 + k + q;
            if (i >= 0 && i < 64)
                col[j] += digit[k] * TWO_OVER_PI_24[i];
        }
    }
    for (int j = J; j >= 1; --j) {
        col[j - 1] += col[j] >> 24;
        col[j] &= static_cast<int64_t>(mask);
    }
    int quad = static_cast<int>(col[0] & 3);
    /* a fraction past a half belongs to the next quadrant, as its complement */
    const bool up = col[1] >= (1 << 23);
    if (up) {
        quad = (quad + 1) & 3;
        for (int j = 1; j <= J; ++j)
            col[j] = static_cast<int64_t>(mask) - col[j];
        col[J] += 1;
    }
    DD f{0.0, 0.0};
    for (int j = J; j >= 1; --j)
        f = ddAdd(f, DD{static_cast<double>(col[j]) * pow2(-24 * j), 0.0});
    DD r = ddMul(f, DD{PIO2_HI, PIO2_LO});
    if (up)
        r = DD{-r.hi, -r.lo};
    if (x < 0) {
        r = DD{-r.hi, -r.lo};
        quad = (4 - quad) & 3;
    }
    *quadrant = quad;
    return r;
}

/* sin x (cosine false) or cos x, |x| at least 2^-27, finite. */
double sinCos(double x, bool cosine)
{
    int quadrant;
    DD reduced;
    if (std::fabs(x) <= 0x1p20) {
        const double kd = nearestInteger(x * TWO_OVER_PI);
        quadrant = static_cast<int>(kd) & 3;
        reduced = reduceHalfPi(x, kd);
    } else {
        reduced = reduceLarge(x, &quadrant);
    }
    /* sin(r + q pi/2) is sin r, cos r, -sin r, -cos r; cos is a quadrant on */
    const int q = cosine ? (quadrant + 1) & 3 : quadrant;
    DD v = sinCosReduced(reduced, q & 1);
    if (q & 2)
        v = DD{-v.hi, -v.lo};
    /* within 2^-96 relative (and 2^-125 absolute, from the reduction) */
    return v.hi + v.lo;
}

} // namespace

double exactExp(double x)
{
    if (!(x > -746.0 && x < 710.0)) /* NaN, or 2^-1075 > e^x or e^x > 2^1024 */
        return x != x ? x + x : x > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (std::fabs(x) < 0x1p-60)
        return 1.0;
    const double kd = nearestInteger(x * INV_LN2_128);
    const int k = static_cast<int>(kd), j = k & 127, e = (k - j) / 128;
    /* r = x - k ln2/128 = r.hi + r.lo: x - k L1 is exact (k L1 is, and it
     * is within a factor 2 of x), k L2 leaves below 2^-77. |r| < 2^-8.5. */
    const DD r = twoSum(x - kd * LN2_128_1, -(kd * LN2_128_2));
    const double t = r.hi;
    /* e^r - 1 - r, to degree 6: the rest is below 2^-72 */
    const double s = t * t * (0.5 + t * (C3 + t * (C4 + t * (C5 + t * C6))));
    /* 2^(j/128) e^r = T + T t + T (r.lo + s) + ..., T t exact */
    const double th = EXP2_128[j][0], tl = EXP2_128[j][1];
    const DD p = twoProd(th, t);
    const DD m = fastTwoSum(th, p.hi);
    const double lo = m.lo + (p.lo + (tl + (th * (r.lo + s) + tl * t)));
    /* the error of m.hi + lo is below 2^-66; 2^-63 bounds it safely */
    double out;
    if (scaleRound(m.hi, lo, 0x1p-63, e, &out))
        return out;
    return expSlow(x, kd, j, e);
}

double exactHypot(double x, double y)
{
    x = std::fabs(x);
    y = std::fabs(y);
    if (x < y) {
        const double t = x;
        x = y;
        y = t;
    }
    if (y == 0.0)
        return x;
    if (x <= 0x1p450 && y >= 0x1p-450)
        return hypotCore(x, y);
    return hypotRare(x, y);
}

double exactSin(double x)
{
    const double a = std::fabs(x);
    if (!(a <= std::numeric_limits<double>::max())) /* NaN, +-Inf */
        return x - x;
    if (a < 0x1p-26) /* sin x = x - x^3/6, which rounds to x */
        return x;
    return sinCos(x, false);
}

double exactCos(double x)
{
    const double a = std::fabs(x);
    if (!(a <= std::numeric_limits<double>::max())) /* NaN, +-Inf */
        return x - x;
    if (a < 0x1p-27) /* cos x = 1 - x^2/2, which rounds to 1 */
        return 1.0;
    return sinCos(x, true);
}

double exactAtan2(double y, double x)
{
    if (x != x || y != y)
        return x + y;
    const bool negative = std::signbit(y), left = std::signbit(x);
    const double ax = std::fabs(x), ay = std::fabs(y);
    double v;
    if (ay == 0) {
        v = left ? PI_HI : 0.0;
    } else if (std::isinf(ax) || std::isinf(ay) || ax == 0) {
        if (std::isinf(ay))
            v = std::isinf(ax) ? (left ? 0.75 * PI_HI + 0.75 * PI_LO : 0.5 * PIO2_HI) : PIO2_HI;
        else
            v = ax == 0 ? PIO2_HI : left ? PI_HI : 0.0;
    } else {
        /* atan t, t = small / large in [0, 1], as q + ql */
        const bool steep = ay > ax;
        const double num = steep ? ax : ay, den = steep ? ay : ax;
        const double q = num / den;
        double ql = 0.0;
        if (den < 0x1p500 && num > 0x1p-500) {
            const DD p = twoProd(q, den);
            ql = ((num - p.hi) - p.lo) / den;
        }
        /* atan t = atan c + atan u, c = i/16 nearest t, u = (t - c) / (1 + t c), |u| <= 1/32 */
        const int i = static_cast<int>(q * 16 + 0.5);
        const double c = i / 16.0;
        const double u = ((q - c) + ql) / (1.0 + q * c), u2 = u * u;
        const double tail = u * u2 * (-1.0 / 3 + u2 * (1.0 / 5 + u2 * (-1.0 / 7 + u2 * (1.0 / 9 + u2 * (-1.0 / 11)))));
        DD a = fastTwoSum(ATAN_16[i][0], u);
        a.lo += ATAN_16[i][1] + tail;
        if (steep) { /* pi/2 - a */
            const DD d = twoSum(PIO2_HI, -a.hi);
            a = DD{d.hi, d.lo + (PIO2_LO - a.lo)};
        }
        if (left) { /* pi - a */
            const DD d = twoSum(PI_HI, -a.hi);
            a = DD{d.hi, d.lo + (PI_LO - a.lo)};
        }
        v = a.hi + a.lo;
    }
    return negative ? -v : v;
}

long exactLround(double x)
{
    if (!(std::fabs(x) < 0x1p62))
        return std::numeric_limits<long>::min();
    const long long t = static_cast<long long>(x);
    const double f = x - static_cast<double>(t); /* exact */
    /* without branches: which way a direction rounds is a coin toss */
    return static_cast<long>(t + (f >= 0.5) - (f <= -0.5));
}
