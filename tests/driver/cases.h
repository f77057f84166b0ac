/* The cases module_driver runs, per module, and the helpers that build
 * their inputs (deterministic on every platform). */
#ifndef DRIVER_CASES_H
#define DRIVER_CASES_H

#include "standin.h"

#include <cstdint>
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
    FAULT_WRONG_OUTCOME = 64
};

struct DriverCase {
    std::string name;
    std::function<std::vector<mxArray *>()> make; /* the inputs, made just before the call */
    int nlhs;
    const char *expectId;  /* null: the call must succeed */
    long failAllocation;   /* fail this host allocation of the call (1 = the first; 0 = none) */
    unsigned expectFaults; /* nonzero only for a module built to misbehave */
};

/* n values uniform in [lo, hi) from a 64-bit seed: integer arithmetic and
 * one exact scaling, so every platform gets the same bits. */
std::vector<double> uniformValues(uint64_t seed, size_t n, double lo, double hi);

/* The double with these bits: NaNs of a chosen sign and payload. */
double fromBits(uint64_t bits);

/* A host array of the given class and dimensions holding v (zero-padded). */
mxArray *arrayOf(const std::vector<int> &dims, const std::vector<double> &v, int cls = STANDIN_DOUBLE,
                 int flags = 0);

inline DriverCase okCase(std::string name, std::function<std::vector<mxArray *>()> make, int nlhs = 1)
{
    return DriverCase{std::move(name), std::move(make), nlhs, nullptr, 0, 0};
}

inline DriverCase errorCase(std::string name, std::function<std::vector<mxArray *>()> make, const char *id,
                            long failAllocation = 0, int nlhs = 1)
{
    return DriverCase{std::move(name), std::move(make), nlhs, id, failAllocation, 0};
}

void lantrelCases(std::vector<DriverCase> &cases);
void ostraveCases(std::vector<DriverCase> &cases);
void faultyCases(std::vector<DriverCase> &cases);

/* False when no cases are known for a module of that name. */
bool casesFor(const std::string &module, std::vector<DriverCase> &cases);

#endif
