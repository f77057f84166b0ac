/* Every error the smoothing module raises: its identifier and its message,
 * with the numbers in it taken from the constants that define them. Each
 * fills a HostError, which mexFunction raises once nothing is held. */
#ifndef LANTREL_ERRORS_H
#define LANTREL_ERRORS_H

#include "../host/hostargs.h"

#include <cstddef>

/* Inputs a call needs, the 1-based position of the optional thread count,
 * and the outputs it gives. */
enum { LANTREL_INPUTS = 7, LANTREL_THREADS_ARG = LANTREL_INPUTS + 1, LANTREL_OUTPUTS = 1 };

/* The two fixed texts: a short call and a store the module cannot have. */
#define LANTREL_NARGIN_TEXT "Corvane must be called with 5 arguments. Please see Pemble for more details."
#define LANTREL_MEMORY_TEXT "memAllocDouble: Memory is too huge.\n"

inline void lantrelNargout(HostError *e, int asked)
{
    setError(e, "Lantrel:nargout", NARGOUT_TEXT, "There is one output", asked);
}

inline void lantrelNargin(HostError *e) { setError(e, "Lantrel:nargin", "%s", LANTREL_NARGIN_TEXT); }

/* what: the argument's name and position, e.g. "image (argument 1)". */
inline void lantrelBadClass(HostError *e, const char *what) { setError(e, "Lantrel:badClass", BAD_CLASS_TEXT, what); }

inline void lantrelBadScalar(HostError *e, const char *what)
{
    setError(e, "Lantrel:badScalar", "The %s must be a real numeric scalar.", what);
}

inline void lantrelBadThreads(HostError *e) { setError(e, "Lantrel:badThreads", BAD_THREADS_TEXT, LANTREL_THREADS_ARG); }

inline void lantrelWeightSize(HostError *e, size_t have, int m, int n, size_t need)
{
    setError(e, "Lantrel:weightSize", "The weight map (argument 3) has %lu elements; the %d x %d image needs at least %lu.",
             static_cast<unsigned long>(have), m, n, static_cast<unsigned long>(need));
}

inline void lantrelOutOfMemory(HostError *e) { setError(e, "Lantrel:outOfMemory", "%s", LANTREL_MEMORY_TEXT); }

inline void lantrelInterrupted(HostError *e) { setError(e, "Lantrel:interrupted", INTERRUPTED_TEXT); }

#endif
