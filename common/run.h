/* How a kernel call runs and how it ends: the members that share it, its
 * code path, and the caller's question whether to stop. Both kernels take
 * one KernelRun and return a KernelStatus. */
#ifndef RUN_H
#define RUN_H

#include "dispatch.h"

struct Team;

/* pending(context) turns true once the user has asked to abandon the call
 * (Ctrl-C). Only member 0, the thread that called the kernel, asks it,
 * between parts of the work: a host's own query may be bound to that
 * thread. A null pending never stops. */
struct StopQuery {
    bool (*pending)(void *context);
    void *context;
};

struct KernelRun {
    Team *team;      /* started by the caller (common/split.h); null: the calling thread alone */
    KernelPath path; /* results never depend on it */
    StopQuery stop;
};

enum KernelStatus {
    KERNEL_DONE,
    KERNEL_NO_MEMORY, /* scratch could not be had; nothing was written */
    KERNEL_STOPPED    /* the stop query said so; the outputs are partly written */
};

inline bool stopAsked(const StopQuery &q)
{
    return q.pending && q.pending(q.context);
}

#endif
