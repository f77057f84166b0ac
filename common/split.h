/* Runs fn(t, team) for t = 0..team-1, share 0 on the calling thread and the
 * others on threads of their own; returns when every share is done. A share
 * whose thread cannot be started (std::thread throws) is run here instead,
 * so nothing escapes and the work is always complete. */
#ifndef SPLIT_H
#define SPLIT_H

#include <system_error>
#include <thread>

enum { MAX_SPLIT = 64 };

/* For tests: when >= 0, starting a thread beyond this many extra threads in
 * one team fails as std::thread does when the system refuses. */
inline int threadStartLimit = -1;

/* Starts fn on a new thread, as std::thread does (and may throw as it does). */
template <class Fn> std::thread startThread(int index, Fn &&fn)
{
    if (threadStartLimit >= 0 && index > threadStartLimit)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(static_cast<Fn &&>(fn));
}

template <class Fn> void runSplit(int team, const Fn &fn)
{
    if (team > MAX_SPLIT)
        team = MAX_SPLIT;
    if (team < 1)
        team = 1;
    std::thread workers[MAX_SPLIT];
    bool started[MAX_SPLIT] = {};
    for (int t = 1; t < team; ++t) {
        try {
            workers[t] = startThread(t, [&fn, t, team] { fn(t, team); });
            started[t] = true;
        } catch (...) {
        }
    }
    fn(0, team);
    for (int t = 1; t < team; ++t) {
        if (started[t])
            workers[t].join();
        else
            fn(t, team);
    }
}

/* The team for `work` items: `requested` if > 0, otherwise one per core but
 * no more than one per minPerThread items; at most maxTeam. */
inline int teamSize(int requested, long long work, long long minPerThread, int maxTeam)
{
    long long team = requested;
    if (team <= 0) {
        /* Asking for the core count reads a file on Linux: not for work
         * that one thread does anyway (a stack of small planes asks per plane). */
        team = work / minPerThread;
        if (team > 1 && team > static_cast<long long>(std::thread::hardware_concurrency()))
            team = std::thread::hardware_concurrency();
    }
    if (team > maxTeam)
        team = maxTeam;
    return team < 1 ? 1 : static_cast<int>(team);
}

/* An explicit thread count from a caller is an upper bound: no more threads
 * than `work` items can keep busy at minPerThread each, the default's rule
 * (a thread start costs more than a small image's whole solve). 0 (the
 * default) stays 0. */
inline int capRequested(int requested, long long work, long long minPerThread)
{
    if (requested <= 0)
        return requested;
    const long long usable = work / minPerThread > 1 ? work / minPerThread : 1;
    return requested < usable ? requested : static_cast<int>(usable);
}

/* Share t of `count` items split `team` ways: [*first, *last). */
inline void shareOf(long long count, int t, int team, long long *first, long long *last)
{
    *first = count * t / team;
    *last = count * (t + 1) / team;
}

#endif
