/* The misdeeds of faulty_mex.cpp and the fault each must be reported as. */
#include "cases.h"

void faultyCases(std::vector<DriverCase> &cases)
{
    const struct {
        const char *name;
        double mode;
        unsigned faults;
    } table[] = {{"well behaved", 0, 0},
                 {"writes its input", 1, FAULT_INPUT_WRITTEN},
                 {"returns its input", 2, FAULT_RETURNED_INPUT},
                 {"leaves the output unset", 3, FAULT_SLOT_UNSET},
                 {"leaves an array behind", 4, FAULT_STRAY_ARRAYS},
                 {"writes past its slots", 5, FAULT_SLOTS_OVERRUN | FAULT_STRAY_ARRAYS},
                 {"raises unasked", 6, FAULT_WRONG_OUTCOME}};
    for (const auto &t : table) {
        const double mode = t.mode;
        DriverCase c = okCase(t.name, [=] { return std::vector<mxArray *>{standinCreateScalar(mode)}; });
        c.expectFaults = t.faults;
        cases.push_back(c);
    }
    /* One output requested and none given back; two requested, one given. */
    DriverCase two = okCase("second of two outputs unset",
                            [] { return std::vector<mxArray *>{standinCreateScalar(0)}; }, 2);
    two.expectFaults = FAULT_SLOT_UNSET;
    cases.push_back(two);
}
