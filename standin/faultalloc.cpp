/* Counting, failable allocator behind the stand-in builds of the modules.
 * The stand-in itself is not linked with --wrap, so malloc and free here are
 * the C runtime's own. Atomics: a module may allocate from worker threads. */
#include "faultalloc.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <malloc.h>
#include <new>

static std::atomic<long> countdown{0};
static std::atomic<long> made{0};
static std::atomic<long> live{0};

/* True if this allocation is the one to fail. */
static bool failNow()
{
    made.fetch_add(1);
    long k = countdown.load();
    while (k > 0) {
        if (countdown.compare_exchange_weak(k, k - 1))
            return k == 1;
    }
    return false;
}

static std::atomic<long long> heldBytes{0};
static std::atomic<long long> peakBytes{0};

static void *counted(void *p)
{
    if (p) {
        live.fetch_add(1);
        long long now = heldBytes.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                        static_cast<long long>(malloc_usable_size(p));
        long long peak = peakBytes.load();
        while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
        }
    }
    return p;
}

static void released(void *p)
{
    if (p) {
        live.fetch_sub(1);
        heldBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
    }
}

extern "C" {

long standinFailModuleAllocation(long k)
{
    return countdown.exchange(k > 0 ? k : 0);
}

long standinModuleAllocations(void) { return made.load(); }
long standinModuleLiveBlocks(void) { return live.load(); }
long long standinModulePeakBytes(void) { return peakBytes.load(); }
void standinResetModulePeak(void) { peakBytes.store(heldBytes.load()); }

void *__wrap_malloc(size_t n)
{
    return failNow() ? nullptr : counted(malloc(n));
}

void *__wrap_calloc(size_t count, size_t n)
{
    return failNow() ? nullptr : counted(calloc(count, n));
}

void *__wrap_aligned_alloc(size_t align, size_t n)
{
    return failNow() ? nullptr : counted(aligned_alloc(align, n));
}

int __wrap_posix_memalign(void **p, size_t align, size_t n)
{
    if (failNow())
        return ENOMEM;
    int rc = posix_memalign(p, align, n);
    if (rc == 0)
        counted(*p);
    return rc;
}

void *__wrap_realloc(void *p, size_t n)
{
    if (!p)
        return __wrap_malloc(n);
    if (n == 0) {
        released(p);
        free(p);
        return nullptr;
    }
    if (failNow())
        return nullptr;
    const size_t before = malloc_usable_size(p);
    void *q = realloc(p, n);
    if (q) {
        heldBytes.fetch_sub(static_cast<long long>(before));
        live.fetch_sub(1);
        counted(q);
    }
    return q;
}

void __wrap_free(void *p)
{
    released(p);
    free(p);
}

/* operator new(size_t) and operator new[](size_t). */
void *__wrap__Znwm(size_t n)
{
    if (failNow())
        throw std::bad_alloc();
    return ::operator new(n);
}

void *__wrap__Znam(size_t n)
{
    if (failNow())
        throw std::bad_alloc();
    return ::operator new[](n);
}

} /* extern "C" */
