#include "cases.h"
#include "snapshot.h"

#include <cstring>

const char anyError[] = "*";
const ModuleAllocator *moduleAllocator = nullptr;

bool casesFor(const std::string &module, std::vector<DriverCase> &cases)
{
    if (module == "Lantrel")
        lantrelCases(cases);
    else if (module == "Ostrave")
        ostraveCases(cases);
    else if (module == "Faulty")
        faultyCases(cases);
    else if (module == "lantrelops")
        lantrelopsCases(cases);
    else
        return false;
    return true;
}

namespace {

bool outcomeAsExpected(const std::string &module, const DriverCase &c, const CallResult &r)
{
    const StandinReport &rep = r.report;
    if (!c.expectId)
        return !rep.raised;
    if (!rep.raised || (c.expectId != anyError && strcmp(rep.id, c.expectId) != 0))
        return false;
    if (c.expectText && !strstr(rep.text, c.expectText))
        return false;
    /* The host puts the module's name before the text itself. */
    return !strstr(rep.text, module.c_str());
}

bool literalValuesMatch(const DriverCase &c, const CallResult &r)
{
    for (size_t k = 0; k < c.want.size(); ++k) {
        const mxArray *a = static_cast<int>(k) < r.room ? r.out[k] : nullptr;
        if (!a || !bitIdentical(hostValues(a), c.want[k]))
            return false;
    }
    return true;
}

} // namespace

unsigned runCase(MexFunction fn, const std::string &module, const DriverCase &c,
                 const std::function<void(const CallResult &)> &inspect)
{
    const long arrays0 = standinLiveArrays();
    const long long bytes0 = standinLiveBytes();
    CallResult r{c.make(), {}, c.nlhs > 1 ? c.nlhs : 1, StandinReport{}, -1, false, 0};
    std::vector<Snapshot> before;
    for (mxArray *a : r.inputs)
        before.push_back(snapshot(a));

    std::vector<const mxArray *> prhs(r.inputs.begin(), r.inputs.end());
    const long held0 = moduleAllocator ? moduleAllocator->held() : 0;
    const long made0 = moduleAllocator ? moduleAllocator->made() : 0;
    if (moduleAllocator)
        moduleAllocator->fail(c.failModuleAllocation);
    standinFailAllocation(c.failAllocation);
    standinInterruptAfter(c.interruptAfter);
    standinCall(fn, c.nlhs, r.out, static_cast<int>(prhs.size()), prhs.data(), &r.report);
    standinInterruptAfter(0);
    standinFailAllocation(0);
    if (moduleAllocator) {
        r.moduleFaultHit = c.failModuleAllocation > 0 && moduleAllocator->fail(0) == 0;
        r.moduleAllocations = moduleAllocator->made() - made0;
        if (moduleAllocator->held() != held0)
            r.faults |= FAULT_MEMORY_HELD;
    }

    for (size_t k = 0; k < r.inputs.size(); ++k)
        if (!sameSnapshot(snapshot(r.inputs[k]), before[k]))
            r.faults |= FAULT_INPUT_WRITTEN;
    for (int k = 0; k < MAX_OUTPUTS; ++k)
        for (mxArray *a : r.inputs)
            if (r.out[k] && r.out[k] == a)
                r.faults |= FAULT_RETURNED_INPUT;
    if (r.report.foreignOutput)
        r.faults |= FAULT_RETURNED_INPUT;
    for (int k = 0; k < c.nlhs; ++k)
        if (!r.report.raised && !r.out[k])
            r.faults |= FAULT_SLOT_UNSET;
    if (r.report.strayArrays)
        r.faults |= FAULT_STRAY_ARRAYS;
    if (r.report.slotsOverrun)
        r.faults |= FAULT_SLOTS_OVERRUN;
    for (int k = 0; k < MAX_OUTPUTS; ++k)
        if (r.out[k] && (r.report.raised || k >= r.room))
            r.faults |= FAULT_SLOTS_OVERRUN;
    if (!outcomeAsExpected(module, c, r) || (!c.expectId && !literalValuesMatch(c, r)) ||
        ((c.flags & CASE_UNREAD) && r.moduleAllocations > 0))
        r.faults |= FAULT_WRONG_OUTCOME;
    if (inspect)
        inspect(r);

    /* An input handed back is destroyed once, as an input. */
    for (mxArray *o : r.out) {
        bool isInput = false;
        for (mxArray *a : r.inputs)
            isInput = isInput || o == a;
        if (!isInput)
            standinDestroy(o);
    }
    for (mxArray *a : r.inputs)
        standinDestroy(a);
    if (standinLiveArrays() != arrays0 || standinLiveBytes() != bytes0)
        r.faults |= FAULT_LEAK;
    return r.faults;
}

std::string faultWords(unsigned faults)
{
    static const char *const names[FAULT_COUNT] = {
        "an input was written",       "an input came back as an output",
        "a requested output was left unset", "arrays were left behind",
        "it wrote past its output slots",    "host arrays leaked",
        "the outcome differs from the expected one", "the module still holds memory"};
    std::string s;
    for (unsigned bit = 0; bit < FAULT_COUNT; ++bit)
        if (faults & (1u << bit))
            s += (s.empty() ? "" : "; ") + std::string(names[bit]);
    return s;
}
