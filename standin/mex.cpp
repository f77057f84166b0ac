/* Stand-in libmex: the error calls, which abandon the module's call by
 * longjmp, and standinCall, which makes and watches that call. */
#define STANDIN_BUILD_MEX
#include "internal.h"

#include <atomic>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static jmp_buf *abandon = nullptr;
static unsigned long callSerial = 0;
static StandinReport *activeReport = nullptr;

static void raise(const char *id, const char *text)
{
    if (!abandon) {
        fprintf(stderr, "stand-in host: error raised outside a call: %s\n", text);
        abort();
    }
    snprintf(activeReport->id, sizeof activeReport->id, "%s", id ? id : "");
    snprintf(activeReport->text, sizeof activeReport->text, "%s", text ? text : "");
    activeReport->raised = 1;
    longjmp(*abandon, 1);
}

extern "C" {

void mexErrMsgTxt(const char *text)
{
    raise("", text);
}

void mexErrMsgIdAndTxt(const char *id, const char *fmt, ...)
{
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    raise(id, text);
}

/* Atomics: a module may ask from any of its threads. */
static std::atomic<long> interruptCountdown{0};
static std::atomic<long> interruptQueries{0};

bool utIsInterruptPending(void)
{
    interruptQueries.fetch_add(1);
    long k = interruptCountdown.load();
    while (k > 1 && !interruptCountdown.compare_exchange_weak(k, k - 1)) {
    }
    return k == 1;
}

void standinInterruptAfter(long k)
{
    interruptCountdown.store(k > 0 ? k : 0);
}

long standinInterruptQueries(void)
{
    return interruptQueries.load();
}

enum { GUARD_SLOTS = 4 };

int standinCall(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[],
                StandinReport *report)
{
    /* The module gets max(nlhs, 1) slots followed by guard slots that must
     * stay untouched. */
    static char guardMark;
    mxArray *const guard = reinterpret_cast<mxArray *>(&guardMark);
    int room = nlhs > 1 ? nlhs : 1;
    mxArray **slots = static_cast<mxArray **>(calloc(static_cast<size_t>(room + GUARD_SLOTS), sizeof *slots));
    memset(report, 0, sizeof *report);
    if (!slots) {
        report->raised = 1;
        snprintf(report->text, sizeof report->text, "stand-in host: out of memory");
        return 1;
    }
    for (int k = room; k < room + GUARD_SLOTS; ++k)
        slots[k] = guard;

    jmp_buf here;
    jmp_buf *outer = abandon;
    StandinReport *outerReport = activeReport;
    unsigned long serial = ++callSerial;
    abandon = &here;
    activeReport = report;
    standinBeginCall(serial, raise);
    if (setjmp(here) == 0)
        fn(nlhs, slots, nrhs, prhs);
    standinEndCall();
    abandon = outer;
    activeReport = outerReport;

    for (int k = room; k < room + GUARD_SLOTS; ++k)
        if (slots[k] != guard)
            report->slotsOverrun = 1;
    if (report->raised) {
        standinSweep(serial, nullptr, 0);
        for (int k = 0; k < room; ++k)
            plhs[k] = nullptr;
    } else {
        report->strayArrays = standinSweep(serial, slots, room);
        for (int k = 0; k < room; ++k) {
            if (slots[k] && slots[k]->callSerial != serial)
                report->foreignOutput = 1;
            plhs[k] = slots[k];
        }
    }
    free(slots);
    return report->raised;
}

} /* extern "C" */
