/* The smoother's scheduler: one call's state, the team that shares it, and
 * the order of the passes. Each iteration, the members take row blocks
 * until none is left, meet, then take strips of columns, each solved over
 * the whole height with coefficients in the member's own scratch, and meet
 * again. Parts go to whichever member asks next, so a member on a busy core
 * takes fewer of them. Member 0 asks the caller's stop query before each
 * part it takes; once it says so, no member takes another part, and all
 * leave at the next meeting. */
#include "schedule.h"

#include "kernels.h"

#include <atomic>
#include <cstdlib>

#include "../common/dispatch.h"
#include "../common/nanrules.h"
#include "../common/pages.h"
#include "../common/split.h"

/* Columns solved at once by one member, over the whole height: sixteen
 * AVX2 vectors, a row of the strip eight cache lines. Narrower strips keep
 * less scratch (rows x this, the strip's coefficients) but run slower: a
 * strip's rows lie an image row apart, and each row fetched must bring
 * enough work to cover its wait (at 2048 x 2048, one thread: 16 columns
 * ~1.3x the time of 64, 32 ~1.1x). */
enum { STRIP_COLUMNS = 64 };
static_assert(3 * static_cast<int>(BLOCK_ROWS) <= static_cast<int>(SMOOTH_SCRATCH_PER_THREAD) &&
                  (NATIVE_NAN_CHECK == NAN_CHECK_NONE ? 1 : 2) * static_cast<int>(STRIP_COLUMNS) <=
                      static_cast<int>(SMOOTH_SCRATCH_PER_THREAD),
              "a member's scratch is within its stated bound");
static_assert(static_cast<int>(STRIP_COLUMNS) <= static_cast<int>(STRIP_MAX_COLUMNS), "a strip the kernel takes");

namespace {

struct SmoothCall {
    Pass rowPass, colPass;
    const Kernels *kernels;
    SmoothParams params;
    int rowBlocks, strips;
    /* Scratch of the first rowSlots members' row solves, then of the first
     * stripSlots members' strips: no more members than parts take parts. */
    int rowSlots, stripSlots;
    double *rowScratch, *stripScratch;
    size_t rowScratchSize, stripScratchSize;
    std::atomic<long long> rowsTaken, stripsTaken; /* parts handed out since the call began */
    std::atomic<long long> linesRedone;
    StopQuery stopQuery;
    std::atomic<bool> stop;
};

bool stopping(const SmoothCall *call)
{
    return call->stop.load(std::memory_order_relaxed);
}

/* Whether to take no more parts. Member 0 asks the stop query first and
 * passes a yes on to every member. */
bool pollStop(SmoothCall *call, int t)
{
    if (t == 0 && stopAsked(call->stopQuery))
        call->stop.store(true, std::memory_order_relaxed);
    return stopping(call);
}

/* The next of `count` parts in round `it`, or -1 when none is left. Never
 * hands out beyond the round, so the next round starts at (it+1) * count. */
int takePart(std::atomic<long long> *taken, int it, int count)
{
    const long long base = static_cast<long long>(it) * count;
    long long next = taken->load(std::memory_order_relaxed);
    while (next - base < count)
        if (taken->compare_exchange_weak(next, next + 1, std::memory_order_relaxed))
            return static_cast<int>(next - base);
    return -1;
}

void runMember(SmoothCall *call, int t, TeamBarrier *barrier)
{
    const bool takesRows = t < call->rowSlots;
    const bool takesStrips = t < call->stripSlots;
    double *rowScratch = call->rowScratch + call->rowScratchSize * static_cast<size_t>(t);
    double *c = call->stripScratch + call->stripScratchSize * static_cast<size_t>(t);
    const int M = call->colPass.length;
    const int N = call->colPass.lines;
    const int iterations = call->params.iterations;
    /* The strength's own NaN bits are x86's too (with an invalid lambda or
     * attenuation, every line holds the NaN made here). */
    double lam = nanrules::mul(0.5, call->params.lambda);
    for (int it = 0; it < iterations; ++it) {
        for (int b; takesRows && !pollStop(call, t) && (b = takePart(&call->rowsTaken, it, call->rowBlocks)) >= 0;) {
            const int r1 = (b + 1) * BLOCK_ROWS < M ? (b + 1) * BLOCK_ROWS : M;
            const long long redone = call->kernels->rows(call->rowPass, b * BLOCK_ROWS, r1, lam, rowScratch);
            if (redone)
                call->linesRedone.fetch_add(redone, std::memory_order_relaxed);
        }
        if (teamBarrier(barrier, &call->stop))
            return;
        for (int s; takesStrips && !pollStop(call, t) && (s = takePart(&call->stripsTaken, it, call->strips)) >= 0;) {
            const int i0 = s * STRIP_COLUMNS;
            const int i1 = i0 + STRIP_COLUMNS < N ? i0 + STRIP_COLUMNS : N;
            const long long redone = call->kernels->strip(call->colPass, i0, i1, lam, c);
            if (redone)
                call->linesRedone.fetch_add(redone, std::memory_order_relaxed);
        }
        if (it + 1 < iterations && teamBarrier(barrier, &call->stop))
            return;
        lam = nanrules::div(lam, call->params.attenuation);
    }
}

size_t stripScratch(int rows, int cols, NanCheck check)
{
    return stripScratchDoubles(rows, cols < STRIP_COLUMNS ? cols : STRIP_COLUMNS, check);
}

NanCheck nanCheckFor(const SmoothNanAudit *audit)
{
    if (!audit || audit->check == SMOOTH_NAN_NATIVE)
        return NATIVE_NAN_CHECK;
    /* The invalid flag vouches only for operations that keep their order. */
    if (audit->check == SMOOTH_NAN_INVALID_FLAG && NATIVE_NAN_CHECK != NAN_CHECK_EVERY)
        return NAN_CHECK_INVALID;
    return NAN_CHECK_EVERY;
}

int slotsFor(int team, int parts)
{
    return team < parts ? team : parts;
}

size_t scratchDoubles(int rows, int cols, int team, NanCheck check)
{
    const int blocks = (rows + BLOCK_ROWS - 1) / BLOCK_ROWS;
    const int strips = (cols + STRIP_COLUMNS - 1) / STRIP_COLUMNS;
    return rowScratchDoubles(rows, cols) * static_cast<size_t>(slotsFor(team, blocks)) +
           stripScratch(rows, cols, check) * static_cast<size_t>(slotsFor(team, strips));
}

} // namespace

size_t smoothScratchDoubles(int rows, int cols, int team)
{
    return scratchDoubles(rows, cols, team, NATIVE_NAN_CHECK);
}

KernelStatus smoothPlane(PlaneView image, WeightView h, WeightView v, SmoothParams params, const KernelRun &run,
                         SmoothNanAudit *audit)
{
    if (audit)
        audit->linesRedone = 0;
    const int m = image.rows;
    const int n = image.cols;
    if (params.iterations <= 0 || m <= 0 || n <= 0)
        return KERNEL_DONE;
    const int members = run.team ? run.team->size : 1;

    SmoothCall call;
    call.rowPass = Pass{image.base, h.base, n, m, image.rowStride, 1, h.rowStride, 1};
    call.colPass = Pass{image.base, v.base, m, n, 1, image.rowStride, 1, v.rowStride};
    const NanCheck check = nanCheckFor(audit);
    call.kernels = kernelsFor(run.path, check);
    call.params = params;
    call.rowBlocks = (m + BLOCK_ROWS - 1) / BLOCK_ROWS;
    call.strips = (n + STRIP_COLUMNS - 1) / STRIP_COLUMNS;
    call.rowSlots = slotsFor(members, call.rowBlocks);
    call.stripSlots = slotsFor(members, call.strips);
    call.rowScratchSize = rowScratchDoubles(m, n);
    call.stripScratchSize = stripScratch(m, n, check);
    const size_t total = scratchDoubles(m, n, members, check);
    call.rowScratch = static_cast<double *>(malloc(total * sizeof(double)));
    if (!call.rowScratch)
        return KERNEL_NO_MEMORY;
    adviseHugePages(call.rowScratch, total * sizeof(double));
    call.stripScratch = call.rowScratch + call.rowScratchSize * static_cast<size_t>(call.rowSlots);
    call.rowsTaken.store(0, std::memory_order_relaxed);
    call.stripsTaken.store(0, std::memory_order_relaxed);
    call.linesRedone.store(0, std::memory_order_relaxed);
    call.stopQuery = run.stop;
    call.stop.store(false, std::memory_order_relaxed);

    runTeam(run.team, [&call](int t, int, TeamBarrier *barrier) { runMember(&call, t, barrier); });
    free(call.rowScratch);
    if (audit)
        audit->linesRedone = call.linesRedone.load(std::memory_order_relaxed);
    return stopping(&call) ? KERNEL_STOPPED : KERNEL_DONE;
}
