/* exp, hypot, atan2, sin and cos computed from IEEE additions, products,
 * quotients and square roots only, so that every platform gives the same
 * bits (C libraries differ in the last bit, and a weight exp(-g / sigma)
 * multiplies that by g / sigma).
 *
 * exactExp, exactHypot, exactSin and exactCos return the correctly rounded
 * result (round to nearest even). exactExp and exactHypot take a fast path
 * with a known error bound; where that bound straddles a rounding boundary
 * (about one argument in a thousand for exp, almost never for hypot),
 * exactExp repeats the work in double-double arithmetic (error below 2^-96
 * relative) and exactHypot decides with an exact sum. exactSin and exactCos
 * work in double-double throughout (they fill a table of 722 values). A
 * double-double result closer than its error to the middle between two
 * doubles is rounded as it is (never met in testing).
 *
 * glibc's exp and hypot are not correctly rounded everywhere (within about
 * 0.501 ulp): of the arguments of the test photos' weights, about 0.2% of
 * the hypot and 0.02% of the exp ones round otherwise there.
 *
 * exactAtan2 is within about one ulp, not correctly rounded.
 *
 * Special values follow C99 Annex F: NaN in, NaN out (but exactHypot of an
 * infinity and a NaN is +Inf); exp(+-Inf) = +Inf, 0; overflow gives +Inf,
 * underflow a correctly rounded subnormal or 0; sin and cos of +-Inf are
 * NaN. */
#ifndef EXACTMATH_H
#define EXACTMATH_H

double exactExp(double x);
double exactHypot(double x, double y);
double exactAtan2(double y, double x);
double exactSin(double x);
double exactCos(double x);

/* x rounded to the nearest whole number, halves away from zero, as lround
 * does; but some C libraries' lround add 0.5 first and take
 * 0.49999999999999994 (sin of 30 degrees) to 1. LONG_MIN for NaN, +-Inf and
 * beyond 2^62 in magnitude (where lround's result is unspecified); a result
 * past LONG_MAX is undefined. */
long exactLround(double x);

#endif
