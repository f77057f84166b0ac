/* Stand-in libmx: arrays, with every live array on one list so that the
 * caller can count them and sweep up what a call left behind. */
#define STANDIN_BUILD_MX
#include "internal.h"

#include <climits>
#include <cstdlib>
#include <cstring>

static mxArray *liveHead = nullptr;
static long liveArrays = 0;
static long long liveBytes = 0;
static unsigned long currentCall = 0;
static void (*raiseInCall)(const char *, const char *) = nullptr;
static long failCountdown = 0;

extern "C" {

void standinBeginCall(unsigned long serial, void (*raise)(const char *, const char *))
{
    currentCall = serial;
    raiseInCall = raise;
}

void standinEndCall(void)
{
    currentCall = 0;
    raiseInCall = nullptr;
}

void standinFailAllocation(long k)
{
    failCountdown = k;
}

static void *hostAlloc(size_t bytes)
{
    if (failCountdown > 0 && --failCountdown == 0)
        return nullptr;
    return calloc(1, bytes ? bytes : 1);
}

/* A failed host allocation acts like a real host's: during a call the call
 * is abandoned with an error, outside one the caller gets null. */
static mxArray *outOfMemory(void)
{
    if (raiseInCall)
        raiseInCall("standin:outOfMemory", "Out of memory.");
    return nullptr;
}

static void link(mxArray *a)
{
    a->callSerial = currentCall;
    a->prev = nullptr;
    a->next = liveHead;
    if (liveHead)
        liveHead->prev = a;
    liveHead = a;
    ++liveArrays;
    liveBytes += a->bytes;
}

void standinDestroy(mxArray *a)
{
    if (!a)
        return;
    if (a->prev)
        a->prev->next = a->next;
    else
        liveHead = a->next;
    if (a->next)
        a->next->prev = a->prev;
    --liveArrays;
    liveBytes -= a->bytes;
    free(a->pr);
    free(a->pi);
    free(a);
}

mxArray *standinCreateArray(int classId, int ndim, const int *dims, int flags)
{
    int d[STANDIN_MAX_DIMS];
    int nd = ndim < 2 ? 2 : ndim;
    if (nd > STANDIN_MAX_DIMS)
        return nullptr;
    size_t numel = 1;
    for (int k = 0; k < nd; ++k) {
        d[k] = k < ndim ? dims[k] : 1;
        if (d[k] < 0)
            return nullptr;
        numel *= static_cast<size_t>(d[k]);
    }
    while (nd > 2 && d[nd - 1] == 1) /* trailing singletons go, as in MATLAB */
        --nd;
    mxArray *a = static_cast<mxArray *>(hostAlloc(sizeof(mxArray)));
    if (!a)
        return outOfMemory();
    a->classId = classId;
    a->flags = flags;
    a->ndim = nd;
    memcpy(a->dims, d, sizeof d);
    a->numel = numel;
    a->pr = nullptr;
    a->pi = nullptr;
    a->bytes = static_cast<long long>(sizeof(mxArray));
    if (!(flags & STANDIN_NODATA)) {
        a->pr = static_cast<double *>(hostAlloc(numel * sizeof(double)));
        if (a->pr && (flags & STANDIN_COMPLEX))
            a->pi = static_cast<double *>(hostAlloc(numel * sizeof(double)));
        if (!a->pr || ((flags & STANDIN_COMPLEX) && !a->pi)) {
            free(a->pr);
            free(a);
            return outOfMemory();
        }
        a->bytes += static_cast<long long>(numel * sizeof(double) * ((flags & STANDIN_COMPLEX) ? 2 : 1));
    }
    link(a);
    return a;
}

mxArray *standinCreateMatrix(int m, int n)
{
    int dims[2] = {m, n};
    return standinCreateArray(STANDIN_DOUBLE, 2, dims, 0);
}

mxArray *standinCreateScalar(double v)
{
    mxArray *a = standinCreateMatrix(1, 1);
    if (a)
        a->pr[0] = v;
    return a;
}

double *standinImag(const mxArray *a) { return a->pi; }
int standinClass(const mxArray *a) { return a->classId; }
long standinLiveArrays(void) { return liveArrays; }
long long standinLiveBytes(void) { return liveBytes; }

int standinSweep(unsigned long serial, mxArray *const *keep, int nkeep)
{
    int swept = 0;
    mxArray *a = liveHead;
    while (a) {
        mxArray *next = a->next;
        bool kept = false;
        for (int k = 0; k < nkeep; ++k)
            kept = kept || keep[k] == a;
        if (a->callSerial == serial && !kept) {
            standinDestroy(a);
            ++swept;
        }
        a = next;
    }
    return swept;
}

/* The host API proper. */

const mwSize *mxGetDimensions(const mxArray *a) { return a->dims; }
mwSize mxGetNumberOfDimensions(const mxArray *a) { return a->ndim; }
size_t mxGetNumberOfElements(const mxArray *a) { return a->numel; }
double *mxGetPr(const mxArray *a) { return a->pr; }
double mxGetScalar(const mxArray *a) { return a->numel ? a->pr[0] : 0.0; }
bool mxIsDouble(const mxArray *a) { return a->classId == STANDIN_DOUBLE; }
bool mxIsComplex(const mxArray *a) { return (a->flags & STANDIN_COMPLEX) != 0; }
bool mxIsSparse(const mxArray *a) { return (a->flags & STANDIN_SPARSE) != 0; }

bool mxIsNumeric(const mxArray *a)
{
    return a->classId == STANDIN_DOUBLE || a->classId == STANDIN_SINGLE || a->classId == STANDIN_INT32 ||
           a->classId == STANDIN_UINT8;
}

mxArray *mxDuplicateArray(const mxArray *a)
{
    mxArray *b = standinCreateArray(a->classId, a->ndim, a->dims, a->flags);
    if (!b)
        return nullptr;
    if (a->pr)
        memcpy(b->pr, a->pr, a->numel * sizeof(double));
    if (a->pi)
        memcpy(b->pi, a->pi, a->numel * sizeof(double));
    return b;
}

mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag)
{
    int dims[2] = {m, n};
    return standinCreateArray(STANDIN_DOUBLE, 2, dims, flag == mxCOMPLEX ? STANDIN_COMPLEX : 0);
}

void mxDestroyArray(mxArray *a)
{
    standinDestroy(a);
}

} /* extern "C" */
