/* Every error the path-variation module raises: its identifier and its
 * message, with the numbers in it taken from the constants that define
 * them. Each fills a HostError, which mexFunction raises once nothing is
 * held. */
#ifndef OSTRAVE_ERRORS_H
#define OSTRAVE_ERRORS_H

#include "../host/hostargs.h"
#include "table.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

/* Inputs a call needs (the message spells the count out), the 1-based
 * position of the optional thread count, and the outputs it gives. */
enum { OSTRAVE_INPUTS = 4, OSTRAVE_THREADS_ARG = OSTRAVE_INPUTS + 1, OSTRAVE_OUTPUTS = 2 };

/* Values named in messages: the same text on every C runtime. */
inline void formatValue(char *buf, size_t size, double v)
{
    if (std::isnan(v))
        snprintf(buf, size, "NaN");
    else if (std::isinf(v))
        snprintf(buf, size, v > 0 ? "Inf" : "-Inf");
    else {
        snprintf(buf, size, "%.15g", v);
        if (strtod(buf, nullptr) != v)
            snprintf(buf, size, "%.17g", v);
    }
}

inline void ostraveNargout(HostError *e, int asked)
{
    setError(e, "Ostrave:nargout", NARGOUT_TEXT,
             "There are two outputs (the net change and the total variation)", asked);
}

inline void ostraveNargin(HostError *e, int got)
{
    setError(e, "Ostrave:nargin",
             "Four inputs are required: image, direction map, direction table and half-length (got %d).", got);
}

/* what: the argument's name and position, e.g. "image (argument 1)". */
inline void ostraveBadClass(HostError *e, const char *what) { setError(e, "Ostrave:badClass", BAD_CLASS_TEXT, what); }

inline void ostraveBadScalar(HostError *e)
{
    setError(e, "Ostrave:badScalar", "The half-length (argument 4) must be a real numeric scalar.");
}

inline void ostraveBadThreads(HostError *e) { setError(e, "Ostrave:badThreads", BAD_THREADS_TEXT, OSTRAVE_THREADS_ARG); }

/* M * N beyond INT_MAX. */
inline void ostraveTooLarge(HostError *e)
{
    setError(e, "Ostrave:tooLarge", "The image (argument 1) has more than 2^31-1 pixels per plane.");
}

inline void ostraveImageSize(HostError *e, size_t have, int m, int n, size_t need)
{
    setError(e, "Ostrave:imageSize", "The image (argument 1) has %lu elements; a %d x %d image needs %lu.",
             static_cast<unsigned long>(have), m, n, static_cast<unsigned long>(need));
}

inline void ostraveMapSize(HostError *e, size_t have, int m, int n, size_t need)
{
    setError(e, "Ostrave:mapSize", "The direction map (argument 2) has %lu elements; the %d x %d image needs at least %lu.",
             static_cast<unsigned long>(have), m, n, static_cast<unsigned long>(need));
}

inline void ostraveTableSize(HostError *e, size_t have)
{
    setError(e, "Ostrave:tableSize", "The direction table (argument 3) has %lu elements; it needs at least %d x %d = %d.",
             static_cast<unsigned long>(have), TABLE_STEPS, TABLE_COLUMNS, TABLE_SIZE);
}

/* a: the half-length as given, before truncation. */
inline void ostraveHalfLength(HostError *e, double a)
{
    char value[40];
    formatValue(value, sizeof value, a);
    setError(e, "Ostrave:halfLength", "The half-length (argument 4) is %s; it must be 0 to %d after truncation.", value,
             MAX_HALF_LENGTH);
}

/* v: the direction as given, at 1-based row and column. */
inline void ostraveBadDirection(HostError *e, double v, size_t row, size_t col)
{
    char value[40];
    formatValue(value, sizeof value, v);
    setError(e, "Ostrave:badDirection",
             "The direction map (argument 2) holds %s at row %lu, column %lu; direction indices must be 0 to %d after "
             "truncation.",
             value, static_cast<unsigned long>(row), static_cast<unsigned long>(col), DIRECTIONS - 1);
}

inline void ostraveInterrupted(HostError *e) { setError(e, "Ostrave:interrupted", INTERRUPTED_TEXT); }

inline void ostraveOutOfMemory(HostError *e, int m, int n)
{
    setError(e, "Ostrave:outOfMemory", "Out of memory for a %d x %d image.", m, n);
}

#endif
