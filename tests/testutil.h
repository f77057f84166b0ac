/* Small helpers shared by the C++ tests. */
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include "loader.h"
#include "standin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <cstring>
#include <random>
#include <string>
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

inline uint64_t bitsOf(double v)
{
    uint64_t u;
    memcpy(&u, &v, sizeof u);
    return u;
}

/* Equal to the last bit (NaN payloads and the sign of zero included). */
inline ::testing::AssertionResult sameBits(const std::vector<double> &got, const std::vector<double> &want)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.size() << " vs " << want.size();
    for (size_t k = 0; k < got.size(); ++k)
        if (bitsOf(got[k]) != bitsOf(want[k]))
            return ::testing::AssertionFailure()
                   << "element " << k << ": " << got[k] << " vs " << want[k] << " (bits differ)";
    return ::testing::AssertionSuccess();
}

inline std::vector<double> randomValues(std::mt19937_64 &rng, size_t n, double lo, double hi)
{
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(n);
    for (auto &x : v)
        x = u(rng);
    return v;
}

/* Column-major host array of the given dims holding `values` (zero-padded). */
inline mxArray *hostArray(const std::vector<int> &dims, const std::vector<double> &values, int classId = STANDIN_DOUBLE,
                          int flags = 0)
{
    mxArray *a = standinCreateArray(classId, static_cast<int>(dims.size()), dims.data(), flags);
    size_t n = mxGetNumberOfElements(a);
    for (size_t k = 0; k < n && k < values.size(); ++k)
        mxGetPr(a)[k] = values[k];
    return a;
}

inline std::vector<double> hostValues(const mxArray *a)
{
    return std::vector<double>(mxGetPr(a), mxGetPr(a) + mxGetNumberOfElements(a));
}

inline std::vector<double> toRowMajor(const std::vector<double> &colMajor, int M, int N)
{
    std::vector<double> r(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            r[static_cast<size_t>(i) * N + j] = colMajor[i + static_cast<size_t>(M) * j];
    return r;
}

inline std::vector<double> toColMajor(const std::vector<double> &rowMajor, int M, int N)
{
    std::vector<double> c(static_cast<size_t>(M) * N);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            c[i + static_cast<size_t>(M) * j] = rowMajor[static_cast<size_t>(i) * N + j];
    return c;
}

/* Calls fn asking for nlhs outputs, which land in out (room for
 * max(nlhs, 1)), with the given inputs (destroyed afterwards); checks that
 * no input was written, that the module kept to its output slots and that
 * it left no array behind. */
inline void callChecked(MexFunction fn, int nlhs, mxArray *out[], std::vector<mxArray *> inputs, StandinReport *report)
{
    long before = standinLiveArrays();
    std::vector<std::vector<double>> copies;
    for (mxArray *a : inputs)
        copies.push_back(a ? hostValues(a) : std::vector<double>());
    std::vector<const mxArray *> prhs(inputs.begin(), inputs.end());
    standinCall(fn, nlhs, out, static_cast<int>(prhs.size()), prhs.data(), report);
    for (size_t k = 0; k < inputs.size(); ++k)
        if (inputs[k]) {
            EXPECT_TRUE(sameBits(hostValues(inputs[k]), copies[k])) << "input " << k + 1 << " was written";
        }
    for (mxArray *a : inputs)
        standinDestroy(a);
    EXPECT_EQ(report->strayArrays, 0);
    EXPECT_EQ(report->slotsOverrun, 0);
    EXPECT_EQ(report->foreignOutput, 0);
    long made = 0;
    for (int k = 0; k < (nlhs > 1 ? nlhs : 1); ++k)
        made += out[k] != nullptr;
    EXPECT_EQ(standinLiveArrays(), before - static_cast<long>(inputs.size()) + made);
}

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
