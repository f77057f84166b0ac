/* The C allocator as a module built against the stand-in sees it.
 *
 * The stand-in builds of the modules are linked with
 * -Wl,--wrap=malloc (and calloc, realloc, free, aligned_alloc,
 * posix_memalign), so every allocation a module makes comes through the
 * __wrap_ functions here. They count allocations and live blocks and can be
 * told to fail the k-th allocation, which lets a test make each allocation
 * of a call fail in turn. Linux builds only; the Octave and Windows modules
 * call the C runtime directly.
 *
 * A module that allocates through C++'s operator new (the private helper)
 * is also linked with --wrap=_Znwm and --wrap=_Znam: those allocations are
 * counted and can be failed (as std::bad_alloc), but not followed to their
 * release, which may happen inside the C++ runtime (a thread's state), so
 * they do not count as live blocks. */
#ifndef STANDIN_FAULTALLOC_H
#define STANDIN_FAULTALLOC_H

#ifdef __cplusplus
extern "C" {
#endif

/* Fail the module's k-th allocation from now on (1 = the next); 0 turns it
 * off. Returns how many allocations were still to go before the failure
 * (0 if it happened or none was armed). */
long standinFailModuleAllocation(long k);
/* Allocations the modules have asked for since the process started. */
long standinModuleAllocations(void);
/* Blocks the modules hold: allocated and not yet freed. */
long standinModuleLiveBlocks(void);
/* The most bytes the modules have held at once since the last reset (the
 * allocator's usable sizes); a reset starts from what they hold now. */
long long standinModulePeakBytes(void);
void standinResetModulePeak(void);

#ifdef __cplusplus
}
#endif

#endif
