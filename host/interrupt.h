/* The host's answer to "has the user pressed Ctrl-C?", as a stop query for
 * the kernels (common/run.h), which ask it between parts of their work.
 *
 * Octave: its own interrupt state, which its signal handling raises on
 * SIGINT while a module runs. MATLAB (and the stand-in host):
 * utIsInterruptPending, looked up at run time in a library the host process
 * has already loaded (libut), so that the module imports nothing more; where
 * it is absent the call runs to its end, as it always did. */
#ifndef INTERRUPT_H
#define INTERRUPT_H

#include "../common/run.h"

#if defined(MEXAPI_OCTAVE)
#include <quit.h>
#elif defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

/* Where the query is kept for one call: in the entry point's frame. */
struct HostInterrupt {
    bool (*query)(void);
};

#if defined(MEXAPI_OCTAVE)

/* Written by Octave's signal handling on another thread: read afresh. */
inline bool octaveInterruptPending(void *)
{
    return *static_cast<volatile sig_atomic_t *>(&octave_interrupt_state) > 0;
}

inline StopQuery hostStopQuery(HostInterrupt *)
{
    return StopQuery{octaveInterruptPending, nullptr};
}

#else

inline bool askHost(void *context)
{
    return static_cast<HostInterrupt *>(context)->query();
}

inline StopQuery hostStopQuery(HostInterrupt *h)
{
    typedef bool (*Query)(void);
#if defined(_WIN32)
    /* Only a library the host has loaded: GetModuleHandle, not LoadLibrary. */
    HMODULE ut = GetModuleHandleA("libut.dll");
    h->query = ut ? reinterpret_cast<Query>(reinterpret_cast<void (*)(void)>(GetProcAddress(ut, "utIsInterruptPending")))
                  : nullptr;
#else
    h->query = reinterpret_cast<Query>(dlsym(RTLD_DEFAULT, "utIsInterruptPending"));
#endif
    return h->query ? StopQuery{askHost, h} : StopQuery{nullptr, nullptr};
}

#endif

#endif
