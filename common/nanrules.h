/* + - * / with the NaN results of x86 (SSE2/AVX), spelt out in integer
 * operations, for every processor and compiler:
 * - a NaN operand comes out quieted, the first one if both are NaN;
 * - an invalid operation (Inf - Inf, 0 * Inf, 0 / 0, ...) gives the x86
 *   default NaN, whose sign bit is set.
 * Other results are the hardware's, which IEEE 754 fixes. ARM returns a
 * signaling NaN before a quiet first operand and clears the sign of its
 * default NaN, and compilers swap the operands of * and + and fold
 * x - (-y) into x + y, so plain operators do not give these bits.
 * Slow: for recomputing the few results that hold a NaN. */
#ifndef NANRULES_H
#define NANRULES_H

#include <cstdint>
#include <cstring>

namespace nanrules {

const uint64_t SIGN = 0x8000000000000000ull;
const uint64_t QUIET = 0x0008000000000000ull;
const uint64_t INF = 0x7ff0000000000000ull;
const uint64_t DEFAULT_NAN = 0xfff8000000000000ull;

inline uint64_t bitsOf(double v)
{
    uint64_t u;
    memcpy(&u, &v, sizeof u);
    return u;
}

inline double fromBits(uint64_t u)
{
    double v;
    memcpy(&v, &u, sizeof v);
    return v;
}

inline bool isNan(double v)
{
    return (bitsOf(v) & ~SIGN) > INF;
}

/* r = a op b as the hardware computed it, in either operand order. */
inline double resolve(double a, double b, double r)
{
    if (isNan(a))
        return fromBits(bitsOf(a) | QUIET);
    if (isNan(b))
        return fromBits(bitsOf(b) | QUIET);
    return isNan(r) ? fromBits(DEFAULT_NAN) : r;
}

inline double add(double a, double b) { return resolve(a, b, a + b); }
inline double sub(double a, double b) { return resolve(a, b, a - b); }
inline double mul(double a, double b) { return resolve(a, b, a * b); }
inline double div(double a, double b) { return resolve(a, b, a / b); }
/* Negation and |x| only touch the sign bit, NaN or not. */
inline double neg(double a) { return fromBits(bitsOf(a) ^ SIGN); }
inline double abs(double a) { return fromBits(bitsOf(a) & ~SIGN); }

} // namespace nanrules

#endif
