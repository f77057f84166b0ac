/* libFuzzer target: one module's mexFunction through the stand-in host.
 *
 * The input bytes choose the output count, the input count (including
 * trailing inputs the module does not take), each input's class, flags,
 * shape and values, and optionally a host or module allocation to fail.
 * Whatever the call does, it must either return outputs of the right class
 * and size or raise an error with the module's identifier; it must not
 * write its inputs; and every array and block it took must be released or
 * handed over. Any violation aborts, which libFuzzer reports with the input.
 *
 * Built once per module: FUZZ_MODULE_PATH names the module's stand-in
 * build, FUZZ_OSTRAVE selects the path-variation module's expectations. */
#include "faultalloc.h"
#include "hostref.h"
#include "reference.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

MexFunction module = nullptr;

const ModuleAllocator counted = {standinFailModuleAllocation, standinModuleAllocations, standinModuleLiveBlocks};

#ifdef FUZZ_OSTRAVE
const char moduleName[] = "Ostrave";
const int takesInputs = 4, givesOutputs = 2;
#else
const char moduleName[] = "Lantrel";
const int takesInputs = 7, givesOutputs = 1;
#endif

[[noreturn]] void violated(const char *what, const char *detail = "")
{
    fprintf(stderr, "%s property violated: %s %s\n", moduleName, what, detail);
    abort();
}

/* Reads the fuzzer's bytes; past the end it yields zeros. */
struct Bytes {
    const uint8_t *p;
    size_t n;
    size_t at = 0;
    unsigned byte() { return at < n ? p[at++] : 0u; }
    unsigned word()
    {
        unsigned low = byte();
        return low | byte() << 8;
    }
    uint64_t u64()
    {
        uint64_t v = 0;
        for (int k = 0; k < 8; ++k)
            v |= static_cast<uint64_t>(byte()) << (8 * k);
        return v;
    }
};

/* Values that sit on the edges of what the modules convert or test. */
const double palette[] = {0.0,        -0.0,        1.0,         -1.0,          NAN,          INFINITY,
                          -INFINITY,  0.5,         -0.5,        2.9,           12.9,         79.0,
                          80.0,       360.0,       361.0,       1e300,         -1e300,       2147483647.0,
                          2147483648.0, -2147483648.0, -2147483649.0, 1e10,    4.9e-324,     3.0};
const size_t paletteSize = sizeof palette / sizeof palette[0];

uint64_t splitmix(uint64_t &s)
{
    uint64_t z = (s += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

double value(unsigned mode, uint64_t &seed)
{
    uint64_t r = splitmix(seed);
    switch (mode % 5) {
    case 0: return palette[r % paletteSize];
    case 1: return static_cast<double>(static_cast<int>(r % 9) - 4);      /* small offsets */
    case 2: return static_cast<double>(r % 361);                          /* direction indices */
    case 3: return static_cast<double>(r >> 11) * 0x1p-53 * 6.0 - 3.0;    /* ordinary values */
    default: {
        double d;
        memcpy(&d, &r, sizeof d);
        return d;
    }
    }
}

/* A table-sized array: 80 x 722 in several shapes and lengths. */
const int tableShapes[][2] = {{80, 722}, {1, 57760}, {722, 80}, {1, 57759}, {1, 57761}, {57760, 1}};

mxArray *makeInput(Bytes &in, const mxArray *first)
{
    static const int classes[] = {STANDIN_DOUBLE, STANDIN_DOUBLE, STANDIN_DOUBLE, STANDIN_DOUBLE, STANDIN_DOUBLE,
                                  STANDIN_DOUBLE, STANDIN_SINGLE, STANDIN_INT32,  STANDIN_UINT8,  STANDIN_LOGICAL,
                                  STANDIN_CHAR,   STANDIN_CELL};
    unsigned kind = in.byte();
    int cls = classes[kind % 12];
    int flags = (kind & 0x80) ? ((kind & 0x40) ? STANDIN_SPARSE : STANDIN_COMPLEX) : 0;

    int dims[STANDIN_MAX_DIMS] = {1, 1};
    int nd = 2;
    unsigned shape = in.byte();
    switch (shape % 8) {
    case 0: break; /* scalar */
    case 1:
    case 2: /* the first input's shape, or one element short of it */
        if (first) {
            nd = mxGetNumberOfDimensions(first);
            memcpy(dims, mxGetDimensions(first), sizeof(int) * static_cast<size_t>(nd));
            if (shape % 8 == 2 && mxGetNumberOfElements(first) > 0) {
                nd = 2;
                dims[0] = 1;
                dims[1] = static_cast<int>(mxGetNumberOfElements(first)) - 1;
            }
        }
        break;
    case 3: /* any small shape, up to 4-D, zeros included */
        nd = static_cast<int>(shape >> 3) % 4 + 1;
        for (int k = 0; k < nd; ++k)
            dims[k] = static_cast<int>(in.byte() % 7);
        break;
    case 4: dims[0] = dims[1] = 0; break;
    case 5: /* table-sized, except for the image: the work per call stays small */
        if (first) {
            dims[0] = tableShapes[(shape >> 3) % 6][0];
            dims[1] = tableShapes[(shape >> 3) % 6][1];
            break;
        }
        /* fall through */
    default: /* an image */
        dims[0] = static_cast<int>(in.byte() % 24) + 1;
        dims[1] = static_cast<int>(in.byte() % 24) + 1;
        break;
    }

    mxArray *a = standinCreateArray(cls, nd, dims, flags);
    if (!a)
        violated("the harness could not make an input");
    size_t n = mxGetNumberOfElements(a);
    unsigned fill = in.byte();
    uint64_t seed = in.u64();
    for (size_t k = 0; k < n; ++k)
        standinSetValue(a, 0, k, value(fill, seed));
    if (standinData(a, 1))
        for (size_t k = 0; k < n; ++k)
            standinSetValue(a, 1, k, value(fill, seed));
    /* A few values placed exactly, so the fuzzer can reach one table entry. */
    for (unsigned patches = in.byte() % 4; patches > 0 && n > 0; --patches) {
        size_t at = (static_cast<size_t>(in.word()) << 8 | in.byte()) % n;
        standinSetValue(a, 0, at, palette[in.byte() % paletteSize]);
    }
    return a;
}

/* Work is bounded: a huge iteration count, or a team of dozens of threads
 * for a tiny image, is a legitimate slow call, not a hang worth reporting;
 * four threads already split tiny images in every uneven way. */
void tame(std::vector<mxArray *> &inputs)
{
#ifndef FUZZ_OSTRAVE
    if (inputs.size() > 5 && mxGetNumberOfElements(inputs[5]) > 0) {
        const double it = standinValue(inputs[5], 0, 0);
        if (std::isfinite(it) && std::fabs(it) >= 8 && std::fabs(it) < 2147483648.0)
            standinSetValue(inputs[5], 0, 0, std::fmod(it, 8.0));
    }
#endif
    if (inputs.size() > static_cast<size_t>(takesInputs) && mxGetNumberOfElements(inputs[takesInputs]) > 0) {
        if (standinValue(inputs[takesInputs], 0, 0) > 4)
            standinSetValue(inputs[takesInputs], 0, 0, 4);
    }
}

bool realDoubleWithDims(const mxArray *a, int nd, const int *dims)
{
    return a && standinClass(a) == STANDIN_DOUBLE && !mxIsComplex(a) && !mxIsSparse(a) &&
           mxGetNumberOfDimensions(a) == nd && memcmp(mxGetDimensions(a), dims, sizeof(int) * nd) == 0;
}

bool realDouble(const mxArray *a) { return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a); }
bool realScalar(const mxArray *a)
{
    return mxIsNumeric(a) && !mxIsComplex(a) && !mxIsSparse(a) && mxGetNumberOfElements(a) == 1;
}

/* Inputs past the module's own are fine when the first is a real numeric
 * scalar >= 0: the optional thread count. */
bool trailingValid(const std::vector<mxArray *> &in)
{
    return in.size() <= static_cast<size_t>(takesInputs) ||
           (realScalar(in[takesInputs]) && mxGetScalar(in[takesInputs]) >= 0.0);
}

#ifdef FUZZ_OSTRAVE
bool plainlyValid(const std::vector<mxArray *> &in)
{
    if (in.size() < 4 || !trailingValid(in) || !realDouble(in[0]) || !realDouble(in[1]) || !realDouble(in[2]) ||
        !realScalar(in[3]))
        return false;
    size_t pixels = static_cast<size_t>(mxGetDimensions(in[0])[0]) * mxGetDimensions(in[0])[1];
    if (mxGetNumberOfElements(in[0]) < pixels || mxGetNumberOfElements(in[1]) < pixels ||
        mxGetNumberOfElements(in[2]) < 57760)
        return false;
    int a = referenceInt(mxGetScalar(in[3]));
    if (a < 0 || a > 79)
        return false;
    for (size_t k = 0; k < pixels; ++k) {
        int d = referenceInt(mxGetPr(in[1])[k]);
        if (d < 0 || d > 360)
            return false;
    }
    return true;
}

#else
/* A call the module must accept: the decided checks all pass. */
bool plainlyValid(const std::vector<mxArray *> &in)
{
    if (in.size() < 7 || !trailingValid(in) || !realDouble(in[0]) || !realDouble(in[2]))
        return false;
    for (int k = 4; k < 7; ++k)
        if (!realScalar(in[k]))
            return false;
    size_t all = mxGetNumberOfElements(in[0]);
    size_t pixels = static_cast<size_t>(mxGetDimensions(in[0])[0]) * mxGetDimensions(in[0])[1];
    return all == 0 || mxGetNumberOfElements(in[2]) >= pixels;
}

#endif

/* The outputs a successful call must return, given nlhs; how many. */
int checkOutputs(int nlhs, mxArray **plhs, int room, const std::vector<mxArray *> &in)
{
#ifdef FUZZ_OSTRAVE
    if (in.empty())
        violated("succeeded without inputs");
    const int dims[2] = {mxGetDimensions(in[0])[0], mxGetDimensions(in[0])[1]};
    const int made = nlhs >= 2 ? 2 : 1;
    for (int k = 0; k < made; ++k)
        if (!realDoubleWithDims(plhs[k], 2, dims))
            violated("an output is not a real double M x N matrix");
#else
    (void)nlhs;
    if (in.size() < 7)
        violated("succeeded with fewer than 7 inputs");
    const int made = 1;
    if (!realDoubleWithDims(plhs[0], mxGetNumberOfDimensions(in[0]), mxGetDimensions(in[0])))
        violated("the output does not have the image's class and size");
#endif
    for (int k = made; k < room; ++k)
        if (plhs[k])
            violated("an output slot beyond the module's outputs was filled");
    return made;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char why[512];
    moduleAllocator = &counted;
    module = standinLoadModule(FUZZ_MODULE_PATH, why, sizeof why);
    if (!module) {
        fprintf(stderr, "%s\n", why);
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes in{data, size};
    const int nlhs = static_cast<int>(in.byte() % 4);
    const int nrhs = static_cast<int>(in.byte() % (takesInputs + 3));
    const unsigned armed = in.byte();
    /* Mostly no fault; otherwise the k-th host or module allocation. */
    const long hostFault = (armed & 0x0f) < 3 ? (armed & 0x0f) + 1 : 0;
    const long moduleFault = (armed >> 4) < 6 ? (armed >> 4) + 1 : 0;

    DriverCase c = okCase("fuzz", [&] {
        std::vector<mxArray *> inputs;
        for (int k = 0; k < nrhs; ++k)
            inputs.push_back(makeInput(in, inputs.empty() ? nullptr : inputs[0]));
        tame(inputs);
        return inputs;
    }, nlhs);
    c.failAllocation = hostFault;
    c.failModuleAllocation = moduleFault;
    /* The outcome is judged here; the harness checks everything else. */
    const unsigned faults = runCase(module, moduleName, c, [&](const CallResult &r) {
        const StandinReport &report = r.report;
        char prefix[16], oomId[32];
        snprintf(prefix, sizeof prefix, "%s:", moduleName);
        snprintf(oomId, sizeof oomId, "%s:outOfMemory", moduleName);
        if (report.raised) {
            bool hostOom = hostFault > 0 && strcmp(report.id, "standin:outOfMemory") == 0;
            if (!hostOom && strncmp(report.id, prefix, strlen(prefix)) != 0)
                violated("error without the module's identifier:", report.id);
            if (report.text[0] == '\0')
                violated("error without a text:", report.id);
            if (r.moduleFaultHit && strcmp(report.id, oomId) != 0)
                violated("a failed allocation gave another error:", report.id);
            if (!hostFault && !r.moduleFaultHit && nlhs <= givesOutputs && plainlyValid(r.inputs))
                violated("a valid call was refused:", report.text);
#ifndef FUZZ_OSTRAVE
            if (strcmp(report.id, oomId) == 0 && strcmp(report.text, "memAllocDouble: Memory is too huge.\n") != 0)
                violated("the memory error has another text:", report.text);
#endif
            return;
        }
        if (r.moduleFaultHit)
            violated("a failed allocation went unreported");
        if (nlhs > givesOutputs)
            violated("more outputs were asked for than there are, and the call went on");
        std::vector<mxArray *> plhs(r.out, r.out + r.room);
        checkOutputs(nlhs, plhs.data(), r.room, r.inputs);
#ifndef FUZZ_OSTRAVE
        if (mxGetNumberOfElements(r.inputs[0]) > 4096) /* the reference is slow */
            return;
#endif
        /* A NaN may come out of either of two NaN operands. */
        const std::string d = referenceMismatch(moduleName, r, true);
        if (!d.empty())
            violated("result differs from the reference:", d.c_str());
    });
    /* Output counts beyond the module's are judged by checkOutputs. */
    if (faults & ~static_cast<unsigned>(FAULT_WRONG_OUTCOME | FAULT_SLOT_UNSET))
        violated(faultWords(faults).c_str());
    return 0;
}
