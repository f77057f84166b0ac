/* What the GoogleTest suites add to the case table and harness of
 * driver/cases.h: bit comparisons, the modules loaded once, every case of a
 * module checked against the literal reference, thread counting. */
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include "cases.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

/* A module's mexFunction, loaded by file name as a host does; a test
 * failure (and null) if it cannot be loaded. */
inline MexFunction loadModuleOrFail(const char *path)
{
    char why[512];
    MexFunction f = standinLoadModule(path, why, sizeof why);
    if (!f)
        ADD_FAILURE() << why;
    return f;
}

/* Lantrel, Ostrave or lantrelops, loaded once. */
MexFunction moduleNamed(const std::string &name);

/* The module's cases from the one table. */
std::vector<DriverCase> casesOf(const std::string &module);

inline uint64_t bitsOf(double v)
{
    uint64_t u;
    memcpy(&u, &v, sizeof u);
    return u;
}

/* Equal to the last bit (NaN payloads and the sign of zero included). */
inline ::testing::AssertionResult sameBits(const std::vector<double> &got, const std::vector<double> &want,
                                           bool anyNan = false)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.size() << " vs " << want.size();
    for (size_t k = 0; k < got.size(); ++k)
        if (bitsOf(got[k]) != bitsOf(want[k]) && !(anyNan && got[k] != got[k] && want[k] != want[k]))
            return ::testing::AssertionFailure()
                   << "element " << k << ": " << got[k] << " vs " << want[k] << " (bits differ)";
    return ::testing::AssertionSuccess();
}

/* A successful call's outputs against the literal reference on its inputs;
 * with anyNan, a NaN matches any NaN. */
::testing::AssertionResult matchesReference(const std::string &module, const CallResult &r, bool anyNan = false);

/* Runs c through the harness; a test failure names every fault beyond the
 * case's own. inspect sees the call before its arrays are released. */
void expectCase(const std::string &module, const DriverCase &c,
                const std::function<void(const CallResult &)> &inspect = {});

/* Threads of this process now ("Threads:" of /proc/self/status). */
inline int processThreads()
{
    FILE *f = fopen("/proc/self/status", "r");
    char line[256];
    int n = 0;
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "Threads: %d", &n) == 1)
            break;
    if (f)
        fclose(f);
    return n;
}

/* The most threads that fn started at once, as a watcher polling the
 * process's thread count saw it (a thread that lives for a whole call is
 * seen; one that lives for microseconds may not be). */
template <class Fn> int threadsStartedDuring(const Fn &fn)
{
    std::atomic<bool> done{false};
    std::atomic<int> most{0};
    std::thread watcher([&] {
        while (!done.load()) {
            const int n = processThreads();
            if (n > most.load())
                most.store(n);
        }
    });
    while (most.load() == 0)
        std::this_thread::yield();
    const int before = most.load();
    fn();
    done.store(true);
    watcher.join();
    return most.load() - before;
}

#endif
