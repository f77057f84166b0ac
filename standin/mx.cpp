/* Stand-in libmx: arrays, with every live array on one list so that the
 * caller can count them and sweep up what a call left behind. */
#define STANDIN_BUILD_MX
#include "internal.h"

#include "../imageops/opsapi.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

static mxArray *liveHead = nullptr;
static long liveArrays = 0;
static long long liveBytes = 0;
static unsigned long currentCall = 0;
static void (*raiseInCall)(const char *, const char *) = nullptr;
static long failCountdown = 0;

namespace {

struct ClassInfo {
    size_t size;
    mxClassID id;
    bool numeric;
};

/* By StandinClass. A cell's elements would be pointers to arrays; here they
 * stay null. */
const ClassInfo classInfo[STANDIN_CLASSES] = {
    {sizeof(double), mxDOUBLE_CLASS, true},  {sizeof(float), mxSINGLE_CLASS, true},
    {sizeof(int32_t), mxINT32_CLASS, true},  {sizeof(uint8_t), mxUINT8_CLASS, true},
    {sizeof(mxLogical), mxLOGICAL_CLASS, false}, {sizeof(uint16_t), mxCHAR_CLASS, false},
    {sizeof(void *), mxCELL_CLASS, false},   {sizeof(int8_t), mxINT8_CLASS, true},
    {sizeof(uint16_t), mxUINT16_CLASS, true}, {sizeof(int16_t), mxINT16_CLASS, true},
    {sizeof(uint32_t), mxUINT32_CLASS, true}, {sizeof(int64_t), mxINT64_CLASS, true},
    {sizeof(uint64_t), mxUINT64_CLASS, true}};

/* Rounded half away from zero and saturated; NaN gives 0. Each bound, as a
 * double, is the type's extreme or (for the 64-bit maxima) just past it. */
template <class T> T toInteger(double v)
{
    if (v != v)
        return 0;
    const double r = std::round(v);
    if (r <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (r >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(r);
}

template <class T> void put(void *p, size_t k, T v) { static_cast<T *>(p)[k] = v; }
template <class T> double get(const void *p, size_t k) { return static_cast<double>(static_cast<const T *>(p)[k]); }

} // namespace

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
    free(a->re);
    free(a->im);
    free(a);
}

size_t standinElementSize(int classId)
{
    return classId >= 0 && classId < STANDIN_CLASSES ? classInfo[classId].size : 0;
}

mxArray *standinCreateArray(int classId, int ndim, const int *dims, int flags)
{
    int d[STANDIN_MAX_DIMS];
    int nd = ndim < 2 ? 2 : ndim;
    const size_t size = standinElementSize(classId);
    if (nd > STANDIN_MAX_DIMS || size == 0)
        return nullptr;
    size_t numel = 1;
    bool tooMany = false;
    for (int k = 0; k < nd; ++k) {
        d[k] = k < ndim ? dims[k] : 1;
        if (d[k] < 0)
            return nullptr;
        tooMany = tooMany || (d[k] > 0 && numel > SIZE_MAX / 2 / size / static_cast<size_t>(d[k]));
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
    a->re = nullptr;
    a->im = nullptr;
    a->bytes = static_cast<long long>(sizeof(mxArray));
    if (!(flags & STANDIN_NODATA)) {
        /* Counted against the host's allocations even when too large. */
        a->re = hostAlloc(tooMany ? SIZE_MAX : numel * size);
        if (a->re && (flags & STANDIN_COMPLEX))
            a->im = hostAlloc(numel * size);
        if (!a->re || ((flags & STANDIN_COMPLEX) && !a->im)) {
            free(a->re);
            free(a);
            return outOfMemory();
        }
        a->bytes += static_cast<long long>(numel * size * ((flags & STANDIN_COMPLEX) ? 2 : 1));
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
        static_cast<double *>(a->re)[0] = v;
    return a;
}

void *standinData(const mxArray *a, int part) { return part ? a->im : a->re; }

double standinValue(const mxArray *a, int part, size_t k)
{
    const void *p = standinData(a, part);
    switch (a->classId) {
    case STANDIN_DOUBLE: return get<double>(p, k);
    case STANDIN_SINGLE: return get<float>(p, k);
    case STANDIN_INT32: return get<int32_t>(p, k);
    case STANDIN_UINT8: return get<uint8_t>(p, k);
    case STANDIN_LOGICAL: return get<uint8_t>(p, k);
    case STANDIN_CHAR: return get<uint16_t>(p, k);
    case STANDIN_INT8: return get<int8_t>(p, k);
    case STANDIN_UINT16: return get<uint16_t>(p, k);
    case STANDIN_INT16: return get<int16_t>(p, k);
    case STANDIN_UINT32: return get<uint32_t>(p, k);
    case STANDIN_INT64: return get<int64_t>(p, k);
    case STANDIN_UINT64: return get<uint64_t>(p, k);
    default: return 0.0;
    }
}

void standinSetValue(mxArray *a, int part, size_t k, double v)
{
    void *p = standinData(a, part);
    switch (a->classId) {
    case STANDIN_DOUBLE: put<double>(p, k, v); break;
    case STANDIN_SINGLE: put<float>(p, k, static_cast<float>(v)); break;
    case STANDIN_INT32: put<int32_t>(p, k, toInteger<int32_t>(v)); break;
    case STANDIN_UINT8: put<uint8_t>(p, k, toInteger<uint8_t>(v)); break;
    case STANDIN_LOGICAL: put<uint8_t>(p, k, v != 0); break;
    case STANDIN_CHAR: put<uint16_t>(p, k, toInteger<uint16_t>(v)); break;
    case STANDIN_INT8: put<int8_t>(p, k, toInteger<int8_t>(v)); break;
    case STANDIN_UINT16: put<uint16_t>(p, k, toInteger<uint16_t>(v)); break;
    case STANDIN_INT16: put<int16_t>(p, k, toInteger<int16_t>(v)); break;
    case STANDIN_UINT32: put<uint32_t>(p, k, toInteger<uint32_t>(v)); break;
    case STANDIN_INT64: put<int64_t>(p, k, toInteger<int64_t>(v)); break;
    case STANDIN_UINT64: put<uint64_t>(p, k, toInteger<uint64_t>(v)); break;
    default: break;
    }
}
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
double *mxGetPr(const mxArray *a) { return static_cast<double *>(a->re); }
double mxGetScalar(const mxArray *a) { return a->numel && a->re ? standinValue(a, 0, 0) : 0.0; }
bool mxIsDouble(const mxArray *a) { return a->classId == STANDIN_DOUBLE; }
bool mxIsComplex(const mxArray *a) { return (a->flags & STANDIN_COMPLEX) != 0; }
bool mxIsSparse(const mxArray *a) { return (a->flags & STANDIN_SPARSE) != 0; }

bool mxIsNumeric(const mxArray *a) { return classInfo[a->classId].numeric; }

mxArray *mxDuplicateArray(const mxArray *a)
{
    mxArray *b = standinCreateArray(a->classId, a->ndim, a->dims, a->flags);
    if (!b)
        return nullptr;
    const size_t bytes = a->numel * classInfo[a->classId].size;
    if (a->re)
        memcpy(b->re, a->re, bytes);
    if (a->im)
        memcpy(b->im, a->im, bytes);
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

/* The further calls of the private helper (imageops/opsapi.h). */

mxClassID mxGetClassID(const mxArray *a) { return classInfo[a->classId].id; }
void *mxGetData(const mxArray *a) { return a->re; }
bool mxIsChar(const mxArray *a) { return a->classId == STANDIN_CHAR; }
mxArray *mxCreateDoubleScalar(double v) { return standinCreateScalar(v); }

/* As MATLAB's: 0 once the whole text is in buf, NUL-terminated; 1 for an
 * array that is not char or a text longer than length - 1 (buf then holds
 * what fits). Codes beyond ASCII become '?'. */
int mxGetString(const mxArray *a, char *buf, mwSize length)
{
    if (!buf || length <= 0)
        return 1;
    buf[0] = '\0';
    if (a->classId != STANDIN_CHAR || !a->re)
        return 1;
    const size_t room = static_cast<size_t>(length) - 1;
    const uint16_t *code = static_cast<const uint16_t *>(a->re);
    size_t k = 0;
    for (; k < a->numel && k < room; ++k)
        buf[k] = code[k] < 128 ? static_cast<char>(code[k]) : '?';
    buf[k] = '\0';
    return a->numel > room ? 1 : 0;
}

/* Numeric classes, and logical and char, which both hosts make this way
 * too; any other class, or a bad shape, is refused: during a call with an
 * error (the module could only crash on a null), outside one with null. */
mxArray *mxCreateNumericArray(mwSize ndim, const mwSize *dims, mxClassID cls, mxComplexity flag)
{
    int made = -1;
    for (int c = 0; c < STANDIN_CLASSES; ++c)
        if (classInfo[c].id == cls && (classInfo[c].numeric || (flag != mxCOMPLEX && cls != mxCELL_CLASS)))
            made = c;
    bool shapeOk = ndim >= 0 && ndim <= STANDIN_MAX_DIMS && (ndim == 0 || dims);
    for (mwSize k = 0; shapeOk && k < ndim; ++k)
        shapeOk = dims[k] >= 0;
    if (made < 0 || !shapeOk) {
        if (raiseInCall)
            raiseInCall("standin:badArray", made < 0 ? "mxCreateNumericArray: no array of that class."
                                                            : "mxCreateNumericArray: bad dimensions.");
        return nullptr;
    }
    return standinCreateArray(made, ndim, dims, flag == mxCOMPLEX ? STANDIN_COMPLEX : 0);
}

} /* extern "C" */
