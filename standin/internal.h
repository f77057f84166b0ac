/* What the two halves of the stand-in share: the array type and the hooks by
 * which libmx learns of a call in progress and reports host failures. */
#ifndef STANDIN_INTERNAL_H
#define STANDIN_INTERNAL_H

#include "standin.h"

struct mxArray_tag {
    int classId;
    int flags;
    int ndim;
    int dims[STANDIN_MAX_DIMS];
    size_t numel;
    void *re; /* numel elements of the class's type */
    void *im; /* complex arrays only */
    long long bytes;
    unsigned long callSerial; /* the call that made it; 0 = made by the caller */
    mxArray *prev;
    mxArray *next;
};

#ifdef __cplusplus
extern "C" {
#endif

/* Set by libmex around a module call, read by libmx. */
STANDIN_MX_API void standinBeginCall(unsigned long serial, void (*raise)(const char *id, const char *text));
STANDIN_MX_API void standinEndCall(void);
/* Arrays made during call `serial`: destroys them all (after an error), or
 * those not in keep[0..nkeep) and returns how many that was. */
STANDIN_MX_API int standinSweep(unsigned long serial, mxArray *const *keep, int nkeep);

#ifdef __cplusplus
}
#endif

#endif
