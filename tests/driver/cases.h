/* The one table of module calls: what module_driver runs and records on
 * every platform, what the GoogleTest suites check against the literal
 * reference and fail allocation by allocation, and where the bad-input
 * table of docs/maintainers.md comes from. Also the one harness that makes
 * a call and checks what no host tolerates. */
#ifndef DRIVER_CASES_H
#define DRIVER_CASES_H

#include "arrays.h"
#include "loader.h"

#include <functional>
#include <string>
#include <vector>

enum {
    FAULT_INPUT_WRITTEN = 1,
    FAULT_RETURNED_INPUT = 2,
    FAULT_SLOT_UNSET = 4,
    FAULT_STRAY_ARRAYS = 8,
    FAULT_SLOTS_OVERRUN = 16,
    FAULT_LEAK = 32,
    FAULT_WRONG_OUTCOME = 64,
    FAULT_MEMORY_HELD = 128, /* module blocks still held (counted builds only) */
    FAULT_COUNT = 8
};

/* A case only unit_tests runs: it needs the counting allocator of the Linux
 * stand-in builds, or element counts beyond what a 32-bit host can state. */
const unsigned CASE_LOCAL = 1;
/* Refused before the module allocates anything (checked where counted). */
const unsigned CASE_UNREAD = 2;

/* Where a NaN strength meets NaN weights the module's NaN need not carry
 * the reference's sign and payload (the platforms still agree bit for bit). */
const unsigned CASE_ANY_NAN = 4;

/* expectId value for "some error, whichever". */
extern const char anyError[];

struct DriverCase {
    std::string name;
    std::function<std::vector<mxArray *>()> make; /* the inputs, made just before the call */
    int nlhs;
    const char *expectId;   /* null: the call must succeed */
    long failAllocation;    /* fail this host allocation of the call (1 = the first; 0 = none) */
    unsigned expectFaults;  /* nonzero only for a module built to misbehave */
    const char *expectText; /* a part the error text must hold */
    std::vector<std::vector<double>> want; /* literal values of the first outputs */
    long failModuleAllocation;             /* this allocation of the module's own fails */
    unsigned flags;
    std::string docCall; /* the call as the bad-input table shows it; empty: not a row */
    long interruptAfter = 0; /* the host's interrupt query says yes from its k-th time on (0: never) */

    DriverCase text(const char *t) const { DriverCase c = *this; c.expectText = t; return c; }
    DriverCase doc(std::string call) const { DriverCase c = *this; c.docCall = std::move(call); return c; }
    DriverCase values(std::vector<std::vector<double>> w) const
    {
        DriverCase c = *this;
        c.want = std::move(w);
        return c;
    }
    DriverCase with(unsigned f) const { DriverCase c = *this; c.flags |= f; return c; }
    DriverCase interruptedAt(long k) const { DriverCase c = *this; c.interruptAfter = k; return c; }
};

inline DriverCase okCase(std::string name, std::function<std::vector<mxArray *>()> make, int nlhs = 1)
{
    return DriverCase{std::move(name), std::move(make), nlhs, nullptr, 0, 0, nullptr, {}, 0, 0, {}};
}

inline DriverCase errorCase(std::string name, std::function<std::vector<mxArray *>()> make, const char *id,
                            long failAllocation = 0, int nlhs = 1)
{
    return DriverCase{std::move(name), std::move(make), nlhs, id, failAllocation, 0, nullptr, {}, 0, 0, {}};
}

using Inputs = std::function<std::vector<mxArray *>()>;

/* The base call alone and with each thread count appended (0, 1, 2, 3, 4,
 * 7.9, 1e9, int32 2): results never depend on it. */
void threadCountCases(std::vector<DriverCase> &cases, const std::string &name, const Inputs &base, int nlhs);

/* The base call with each kind of bad thread count appended; docs gives
 * the bad-input table's call for some of them ("-1", "NaN", "1x2", "'a'"). */
void badThreadCases(std::vector<DriverCase> &cases, const char *id, const char *argument, const Inputs &base,
                    int nlhs, const std::vector<std::pair<std::string, std::string>> &docs);

void lantrelCases(std::vector<DriverCase> &cases);
void ostraveCases(std::vector<DriverCase> &cases);
void faultyCases(std::vector<DriverCase> &cases);
void lantrelopsCases(std::vector<DriverCase> &cases); /* the toolbox's private helper */

/* False when no cases are known for a module of that name. */
bool casesFor(const std::string &module, std::vector<DriverCase> &cases);

/* The modules' own allocations, where the stand-in builds count them. */
struct ModuleAllocator {
    long (*fail)(long k);
    long (*made)(void);
    long (*held)(void);
};
extern const ModuleAllocator *moduleAllocator; /* null: not counted here */

/* What one call gave; inputs and outputs stay alive while inspected. */
enum { MAX_OUTPUTS = 8 };
struct CallResult {
    std::vector<mxArray *> inputs;
    mxArray *out[MAX_OUTPUTS];
    int room; /* max(nlhs, 1) */
    StandinReport report;
    long moduleAllocations; /* -1 where not counted */
    bool moduleFaultHit;    /* the module allocation meant to fail was made */
    unsigned faults;        /* seen so far: leaks are counted after the release */
};

/* Makes the case's inputs, calls fn with the case's faults armed, lets
 * inspect see the result, then releases everything. Returns the FAULT_ bits
 * seen: inputs written or handed back, outputs unset or left after an
 * error, arrays left behind or leaked, slots overrun, module memory held,
 * and an outcome other than the case's (identifier, text, literal values,
 * the module's name in a text, an allocation before a refusal). */
unsigned runCase(MexFunction fn, const std::string &module, const DriverCase &c,
                 const std::function<void(const CallResult &)> &inspect = {});

/* The FAULT_ bits as words. */
std::string faultWords(unsigned faults);

#endif
