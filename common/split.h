/* The one thread team of both modules: a job runs fn(t, size) for
 * t = 0..size-1, share 0 on the calling thread and the others on threads of
 * the team's own, and returns when every share is done. size is the team
 * that actually started: a thread that cannot be started (std::thread
 * throws) ends the team there and its work goes to the shares that run, so
 * nothing escapes and the work is always complete. Members may meet at a
 * TeamBarrier of that size. */
#ifndef SPLIT_H
#define SPLIT_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

/* TEAM_MAX: the most threads a caller may ask for. TEAM_DEFAULT_MAX: the
 * most a call takes by default (beyond it, the copies and solves are bound
 * by memory, not cores). */
enum { TEAM_MAX = 64, TEAM_DEFAULT_MAX = 16 };

/* Members of one team wait here for each other. */
struct TeamBarrier {
    std::mutex mutex;
    std::condition_variable wake;
    int size = 1;
    int arrived = 0;
    unsigned generation = 0;
    bool stopped = false; /* the last round's verdict on `stop` */
};

/* Waits until every member has arrived. Returns whether `stop` was set when
 * the last one arrived: one answer for all, so that every member leaves a
 * loop of barriers at the same round (a flag read by each on its own could
 * change between their reads and leave some waiting for the others). A
 * member that sets `stop` does so before it arrives. */
inline bool teamBarrier(TeamBarrier *b, const std::atomic<bool> *stop)
{
    if (b->size <= 1)
        return stop->load(std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(b->mutex);
    const unsigned generation = b->generation;
    if (++b->arrived == b->size) {
        b->arrived = 0;
        b->stopped = stop->load(std::memory_order_relaxed);
        ++b->generation;
        b->wake.notify_all();
    } else {
        /* Read before the lock is let go: the next round cannot end before
         * this member arrives there. */
        b->wake.wait(lock, [b, generation] { return b->generation != generation; });
    }
    return b->stopped;
}

/* A team started once and given one job after another: the threads of a
 * call's team serve all its copies and solves. Start with teamStart, run
 * jobs with teamRun, end with teamStop (before anything it works on is
 * released). */
struct Team {
    int size = 1;
    std::thread workers[TEAM_MAX];
    std::mutex mutex;
    std::condition_variable wake, idle;
    unsigned job = 0; /* jobs posted */
    int busy = 0;     /* members still at the current job */
    bool stop = false;
    void (*run)(const void *fn, int t, int size, TeamBarrier *barrier) = nullptr;
    const void *fn = nullptr;
    TeamBarrier barrier;
};

inline void teamMemberLoop(Team *team, int t)
{
    unsigned seen = 0;
    std::unique_lock<std::mutex> lock(team->mutex);
    for (;;) {
        team->wake.wait(lock, [team, seen] { return team->stop || team->job != seen; });
        if (team->stop)
            return;
        seen = team->job;
        lock.unlock();
        team->run(team->fn, t, team->size, &team->barrier);
        lock.lock();
        if (--team->busy == 0)
            team->idle.notify_all();
    }
}

/* Starts member t's thread in *slot, or throws as std::thread does when the
 * system refuses one. */
typedef void (*MemberStart)(std::thread *slot, Team *team, int t);

inline void startMember(std::thread *slot, Team *team, int t)
{
    *slot = std::thread(teamMemberLoop, team, t);
}

/* Up to `wanted` members (at most TEAM_MAX), member 0 being the caller; a
 * thread that cannot be started ends the team there. Tests pass a `start`
 * that refuses some. */
inline void teamStart(Team *team, int wanted, MemberStart start = startMember)
{
    team->size = 1;
    for (int t = 1; t < wanted && t < TEAM_MAX; ++t) {
        try {
            start(&team->workers[t], team, t);
        } catch (...) {
            break;
        }
        team->size = t + 1;
    }
    team->barrier.size = team->size;
}

/* Runs fn(t, size, barrier) on every member, share 0 here, and returns when
 * all are done. */
template <class Fn> void teamRun(Team *team, const Fn &fn)
{
    if (team->size > 1) {
        std::lock_guard<std::mutex> lock(team->mutex);
        team->run = [](const void *f, int t, int size, TeamBarrier *barrier) {
            (*static_cast<const Fn *>(f))(t, size, barrier);
        };
        team->fn = &fn;
        team->busy = team->size - 1;
        ++team->job;
    }
    team->wake.notify_all();
    fn(0, team->size, &team->barrier);
    if (team->size > 1) {
        std::unique_lock<std::mutex> lock(team->mutex);
        team->idle.wait(lock, [team] { return team->busy == 0; });
    }
}

inline void teamStop(Team *team)
{
    {
        std::lock_guard<std::mutex> lock(team->mutex);
        team->stop = true;
    }
    team->wake.notify_all();
    for (int t = 1; t < team->size; ++t)
        team->workers[t].join();
    team->size = 1;
}

/* A job on `team`'s members, or, without a team, on the calling thread alone. */
template <class Fn> void runTeam(Team *team, const Fn &fn)
{
    if (team) {
        teamRun(team, fn);
        return;
    }
    TeamBarrier alone;
    fn(0, 1, &alone);
}

/* fn(t, size) on every member of `team`. */
template <class Fn> void runSplit(Team *team, const Fn &fn)
{
    teamRun(team, [&fn](int t, int size, TeamBarrier *) { fn(t, size); });
}

/* The one thread policy of both modules: how many members a call of `work`
 * items takes when asked for `requested` (0: the default). No more than one
 * per minPerThread items (a thread start costs more than a small image's
 * whole solve) and no more than the machine's hardware threads where it
 * tells them; an explicit count is an upper bound within those (at most
 * TEAM_MAX), the default takes them all up to TEAM_DEFAULT_MAX. */
inline int teamSize(int requested, long long work, long long minPerThread)
{
    long long team = work / minPerThread;
    /* Asking for the core count reads a file on Linux: not for work that
     * one thread does anyway. */
    if (team > 1) {
        const long long cores = std::thread::hardware_concurrency();
        if (cores > 0 && team > cores)
            team = cores;
    }
    const long long most = requested > 0 ? (requested < TEAM_MAX ? requested : TEAM_MAX) : TEAM_DEFAULT_MAX;
    if (team > most)
        team = most;
    return team < 1 ? 1 : static_cast<int>(team);
}

/* Share t of `count` items split `team` ways: [*first, *last). */
inline void shareOf(long long count, int t, int team, long long *first, long long *last)
{
    *first = count * t / team;
    *last = count * (t + 1) / team;
}

#endif
