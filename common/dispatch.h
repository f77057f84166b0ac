/* The one choice of code path for both kernels: KERNEL_PATH_AUTO takes the
 * widest vectors the processor offers (AVX2 on x86), KERNEL_PATH_BASELINE
 * the vectors every build of the architecture has (SSE2 on x86, NEON or
 * plain code elsewhere). Results never depend on the path. */
#ifndef DISPATCH_H
#define DISPATCH_H

enum KernelPath { KERNEL_PATH_AUTO = 0, KERNEL_PATH_BASELINE = 1 };

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define HAVE_AVX2_PATH 1
#endif

inline bool cpuHasAvx2()
{
#ifdef HAVE_AVX2_PATH
    /* Idempotent; needed where no constructor has run it yet. */
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

/* Whether a kernel asked to take `path` runs its AVX2 code. */
inline bool takesAvx2(KernelPath path)
{
    return path != KERNEL_PATH_BASELINE && cpuHasAvx2();
}

#endif
