/* Throughput table: Mpixel/s per iteration for the literal reference, the
 * solver on one thread and on all threads, LAPACK dptsv called per line, and
 * a streaming pass over the bytes one iteration must touch.
 *   bench [--quick] [--size MxN] [--octave-seconds S] [--nan] [--poll] [--rounds R]
 * --nan times the smoother on a finite plane against the same plane with one
 * NaN pixel. --poll times instead what the kernels' stop query costs: each
 * kernel with and without one, in turns.
 * --size times that one size instead of the standard list.
 * --nan times only the cost of one NaN pixel: the solver on a finite image
 * against the same image with one NaN (2048^2 unless --size, 4 iterations).
 * --octave-seconds passes in the time of a whole Octave call (2048^2, five
 * iterations) so that it is set against the reference in the same table. */
#include "pathtables.h"
#include "reference.h"
#include "pathwalk.h"
#include "schedule.h"
#include "../common/dispatch.h"
#include "../common/pages.h"
#include "../common/split.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

extern "C" void dptsv_(const int *n, const int *nrhs, double *d, double *e, double *b, const int *ldb, int *info);

namespace {

/* Every variant of a figure is timed in turns: a round runs each variant
 * (a fast one several times, for at least roundSeconds), and a variant's
 * figure is its best call over all rounds. A slow stretch of the machine (a
 * busy moment of the other core, memory bandwidth shared with neighbours)
 * then costs every variant the same round, rather than every call of
 * whichever variant happened to be running. */
int rounds = 5;
double roundSeconds = 0.1;

struct Timed {
    std::function<void()> prepare, run; /* prepare is not timed */
    double best;
};

void timeInRounds(std::vector<Timed> &variants)
{
    for (Timed &v : variants)
        v.best = 1e300;
    for (int r = 0; r < rounds; ++r)
        for (Timed &v : variants) {
            double total = 0.0;
            for (int rep = 0; rep == 0 || (total < roundSeconds && rep < 20); ++rep) {
                v.prepare();
                auto t0 = std::chrono::steady_clock::now();
                v.run();
                double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                v.best = std::min(v.best, seconds);
                total += seconds;
            }
        }
}

struct Scene {
    int M, N;
    std::vector<double> image, weights;
};

Scene makeScene(int M, int N, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.05);
    Scene s{M, N, std::vector<double>(static_cast<size_t>(M) * N), std::vector<double>(static_cast<size_t>(M) * N)};
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            s.image[static_cast<size_t>(i) * N + j] = (j > N / 3 ? 1.0 : 0.0) + (i > M / 2 ? 0.5 : 0.0) + noise(rng);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j) {
            size_t k = static_cast<size_t>(i) * N + j;
            double gx = j + 1 < N ? s.image[k + 1] - s.image[k] : 0.0;
            double gy = i + 1 < M ? s.image[k + N] - s.image[k] : 0.0;
            s.weights[k] = std::exp(-std::sqrt(gx * gx + gy * gy) / 0.2);
        }
    return s;
}

const double benchLambda = 20.0, benchAttenuation = 2.0;

/* The generic route: LAPACK's symmetric positive-definite tridiagonal solver
 * per line, rows then columns. */
void dptsvSmooth(std::vector<double> &img, int M, int N, const std::vector<double> &w, int iterations)
{
    int longest = std::max(M, N);
    std::vector<double> d(longest), e(longest), b(longest);
    const int one = 1;
    double lam = 0.5 * benchLambda;
    for (int it = 0; it < iterations; ++it) {
        for (int pass = 0; pass < 2; ++pass) {
            int L = pass == 0 ? N : M, lines = pass == 0 ? M : N;
            size_t step = pass == 0 ? 1 : N, lineStep = pass == 0 ? N : 1;
            for (int l = 0; l < lines; ++l) {
                double *line = img.data() + l * lineStep;
                const double *wl = w.data() + l * lineStep;
                for (int x = 0; x < L; ++x) {
                    double left = x > 0 ? wl[(x - 1) * step] : 0.0, right = x + 1 < L ? wl[x * step] : 0.0;
                    d[x] = 1.0 + lam * (left + right);
                    if (x + 1 < L)
                        e[x] = -lam * wl[x * step];
                    b[x] = line[x * step];
                }
                int info = 0;
                dptsv_(&L, &one, d.data(), e.data(), b.data(), &L, &info);
                for (int x = 0; x < L; ++x)
                    line[x * step] = b[x];
            }
        }
        lam /= benchAttenuation;
    }
}

/* What one iteration cannot avoid: each pass reads the image and the
 * weights and writes the image once. */
void streamPass(std::vector<double> &img, const std::vector<double> &w, int iterations)
{
    double *d = img.data();
    const double *ww = w.data();
    size_t n = img.size();
    for (int it = 0; it < 2 * iterations; ++it)
        for (size_t k = 0; k < n; ++k)
            d[k] = d[k] * 0.5 + ww[k];
}

/* The kernel's image, filled outside the timed region as the reference's
 * vector is; with the huge-page advice of the module's store. */
double *benchImage = nullptr;
int benchM, benchN;

void storeImage(const std::vector<double> &img, int M, int N)
{
    if (!benchImage) {
        benchImage = static_cast<double *>(malloc(img.size() * sizeof(double)));
        if (!benchImage) {
            fprintf(stderr, "bench: out of memory\n");
            exit(1);
        }
        adviseHugePages(benchImage, img.size() * sizeof(double));
    }
    memcpy(benchImage, img.data(), img.size() * sizeof(double));
    benchM = M;
    benchN = N;
}

void releaseStore()
{
    free(benchImage);
    benchImage = nullptr;
}

/* The team of a timed call, started once for all its calls as a module
 * starts one for all the planes of a call. */
Team *benchTeam = nullptr;

/* Polled as a module polls its host's interrupt state: never set here. */
volatile int benchInterrupt = 0;
bool benchInterruptPending(void *)
{
    return benchInterrupt > 0;
}

KernelRun benchRun(bool polled)
{
    return KernelRun{benchTeam, KERNEL_PATH_AUTO,
                     polled ? StopQuery{benchInterruptPending, nullptr} : StopQuery{nullptr, nullptr}};
}

void moduleSmooth(const std::vector<double> &w, int iterations, bool polled = true)
{
    const WeightView weights{w.data(), benchN};
    if (smoothPlane(PlaneView{benchImage, benchM, benchN, benchN}, weights, weights,
                    SmoothParams{benchLambda, iterations, benchAttenuation}, benchRun(polled)) != KERNEL_DONE) {
        fprintf(stderr, "bench: solver out of memory\n");
        exit(1);
    }
}

void moduleWalk(const Scene &s, const std::vector<int> &dirs, int a, std::vector<double> &nc, std::vector<double> &tv,
                bool polled = true)
{
    static const std::vector<int> table = lineTable();
    nc.resize(s.image.size());
    tv.resize(s.image.size());
    if (walkPaths(PathView{s.image.data(), s.N, dirs.data(), s.N, s.M, s.N}, table.data(), a,
                  PathOutputs{nc.data(), tv.data(), s.N}, benchRun(polled)) != KERNEL_DONE) {
        fprintf(stderr, "bench: walk out of memory\n");
        exit(1);
    }
}

/* One NaN pixel spreads over the whole plane in the first iteration: the
 * solver must give x86's NaN bits at about the finite speed. */
void timeNanCost(int M, int N, Team *one, Team *every)
{
    const int iterations = 4;
    Scene s = makeScene(M, N, 5);
    std::vector<double> withNan = s.image;
    withNan[static_cast<size_t>(M / 2) * N + N / 2] = NAN;
    printf("One NaN pixel, %dx%d, %d iterations: best call of %d rounds, ms\n", M, N, iterations, rounds);
    printf("%-8s %9s %9s %7s\n", "threads", "finite", "one NaN", "ratio");
    Team *teams[2] = {one, every};
    for (Team *team : teams) {
        std::vector<Timed> v = {
            {[&] { storeImage(s.image, M, N); }, [&] { benchTeam = team; moduleSmooth(s.weights, iterations); }, 0},
            {[&] { storeImage(withNan, M, N); }, [&] { benchTeam = team; moduleSmooth(s.weights, iterations); }, 0},
        };
        timeInRounds(v);
        printf("%-8d %9.1f %9.1f %6.2fx\n", team->size, v[0].best * 1e3, v[1].best * 1e3, v[1].best / v[0].best);
    }
    releaseStore();
}

/* Each kernel on one thread and on all, with the stop query and without,
 * the four in turns; the figures are the best calls' times in ms. */
void pollCost(int M, int N, Team *one, Team *every)
{
    const int iterations = 5, a = 8;
    Scene s = makeScene(M, N, 5);
    auto stored = [&] { storeImage(s.image, M, N); };
    std::vector<int> dirs(s.image.size());
    for (size_t k = 0; k < dirs.size(); ++k)
        dirs[k] = static_cast<int>(k * 37 % 361);
    std::vector<double> nc, tv;
    auto none = [] {};
    Team *teams[2] = {one, every};
    std::vector<Timed> v;
    for (Team *team : teams)
        for (bool polled : {false, true}) {
            v.push_back({stored, [&, team, polled] { benchTeam = team; moduleSmooth(s.weights, iterations, polled); }, 0});
            v.push_back({none, [&, team, polled] { benchTeam = team; moduleWalk(s, dirs, a, nc, tv, polled); }, 0});
        }
    timeInRounds(v);
    releaseStore();
    printf("Stop query cost, %dx%d, best of %d rounds (ms): unpolled, polled, polled/unpolled\n", M, N, rounds);
    const char *names[2] = {"smoother, 5 iterations", "walk, half-length 8"};
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 2; ++k) {
            const double off = v[4 * t + k].best, on = v[4 * t + 2 + k].best;
            printf("%-24s %2d thread(s): %9.2f %9.2f %7.4f\n", names[k], teams[t]->size, off * 1e3, on * 1e3, on / off);
        }
}

} // namespace

int main(int argc, char **argv)
{
    double octaveSeconds = 0.0;
    bool quick = false, nanCost = false, poll = false;
    int onlyM = 0, onlyN = 0;
    for (int k = 1; k < argc; ++k) {
        if (!strcmp(argv[k], "--quick"))
            quick = true;
        else if (!strcmp(argv[k], "--size") && k + 1 < argc && sscanf(argv[k + 1], "%dx%d", &onlyM, &onlyN) == 2 &&
                 onlyM > 0 && onlyN > 0)
            ++k;
        else if (!strcmp(argv[k], "--octave-seconds") && k + 1 < argc)
            octaveSeconds = atof(argv[++k]);
        else if (!strcmp(argv[k], "--nan"))
            nanCost = true;
        else if (!strcmp(argv[k], "--poll"))
            poll = true;
        else if (!strcmp(argv[k], "--rounds") && k + 1 < argc && atoi(argv[k + 1]) > 0)
            rounds = atoi(argv[++k]);
    }
    if (quick && rounds == 5) {
        rounds = 3;
        roundSeconds = 0.03;
    }
    const int all = teamSize(0, TEAM_DEFAULT_MAX, 1);
    Team one, every;
    teamStart(&one, 1);
    teamStart(&every, all);
    if (nanCost) {
        timeNanCost(onlyM > 0 ? onlyM : 2048, onlyN > 0 ? onlyN : 2048, &one, &every);
        teamStop(&every);
        return 0;
    }
    if (poll) {
        pollCost(onlyM > 0 ? onlyM : 2048, onlyN > 0 ? onlyN : 2048, &one, &every);
        teamStop(&every);
        return 0;
    }
    /* As many as the whole Octave call below. */
    const int iterations = 5;
    printf("Smoother: Mpixel/s per iteration (%d iterations per call, best call of %d rounds); %s path; %d threads = "
           "all\n",
           iterations, rounds, cpuHasAvx2() ? "AVX2" : "SSE2", all);
    printf("%-11s %9s %9s %9s %9s %9s | %7s %7s %7s %8s %8s %8s\n", "size", "reference", "1 thread", "all", "dptsv",
           "stream", "1T/ref", "all/ref", "all/1T", "1T/dptsv", "all/dptsv", "all/strm");
    std::vector<std::pair<int, int>> sizes = {{512, 512}, {2048, 2048}, {4096, 4096}, {256, 16384}, {16384, 256}};
    if (quick)
        sizes = {{512, 512}, {2048, 2048}};
    if (onlyM > 0)
        sizes = {{onlyM, onlyN}};
    double ref2048 = 0.0;
    for (auto size : sizes) {
        const int M = size.first, N = size.second; /* lambdas cannot capture bindings before C++20 */
        Scene s = makeScene(M, N, 5);
        std::vector<double> work;
        auto fresh = [&] { work = s.image; };
        double mpix = static_cast<double>(M) * N * iterations / 1e6;
        auto stored = [&] { storeImage(s.image, M, N); };
        std::vector<Timed> v = {
            {fresh, [&] { referenceSmooth(work, M, N, s.weights, benchLambda, iterations, benchAttenuation); }, 0},
            {stored, [&] { benchTeam = &one; moduleSmooth(s.weights, iterations); }, 0},
            {stored, [&] { benchTeam = &every; moduleSmooth(s.weights, iterations); }, 0},
            {fresh, [&] { dptsvSmooth(work, M, N, s.weights, iterations); }, 0},
            {fresh, [&] { streamPass(work, s.weights, iterations); }, 0},
        };
        timeInRounds(v);
        releaseStore();
        const double tRef = v[0].best, t1 = v[1].best, tAll = v[2].best, tLapack = v[3].best, tStream = v[4].best;
        if (M == 2048 && N == 2048)
            ref2048 = tRef / iterations;
        char name[32];
        snprintf(name, sizeof name, "%dx%d", M, N);
        printf("%-11s %9.1f %9.1f %9.1f %9.1f %9.1f | %6.1fx %6.1fx %6.2fx %7.1fx %8.1fx %7.2fx\n", name,
               mpix / tRef, mpix / t1, mpix / tAll, mpix / tLapack, mpix / tStream, tRef / t1, tRef / tAll, t1 / tAll,
               tLapack / t1, tLapack / tAll, tStream / tAll);
    }

    const int a = 8;
    const std::vector<int> table = lineTable();
    printf("\nPath variation: Mpixel/s (half-length %d, straight-line table, random directions; best call of %d "
           "rounds)\n",
           a, rounds);
    printf("%-11s %9s %9s %9s | %7s %7s %8s\n", "size", "reference", "1 thread", "all", "1T/ref", "all/ref",
           "all/1T");
    for (auto size : sizes) {
        const int M = size.first, N = size.second; /* lambdas cannot capture bindings before C++20 */
        Scene s = makeScene(M, N, 6);
        std::mt19937_64 rng(9);
        std::uniform_int_distribution<int> pick(0, 360);
        std::vector<int> dirs(s.image.size());
        for (int &d : dirs)
            d = pick(rng);
        std::vector<double> nc, tv;
        double mpix = static_cast<double>(M) * N / 1e6;
        auto none = [] {};
        std::vector<Timed> v = {
            {none, [&] { referenceWalk(s.image, M, N, dirs, table, a, nc, tv); }, 0},
            {none, [&] { benchTeam = &one; moduleWalk(s, dirs, a, nc, tv); }, 0},
            {none, [&] { benchTeam = &every; moduleWalk(s, dirs, a, nc, tv); }, 0},
        };
        timeInRounds(v);
        const double tRef = v[0].best, t1 = v[1].best, tAll = v[2].best;
        char name[32];
        snprintf(name, sizeof name, "%dx%d", M, N);
        printf("%-11s %9.1f %9.1f %9.1f | %6.1fx %6.1fx %7.2fx\n", name, mpix / tRef, mpix / t1, mpix / tAll,
               tRef / t1, tRef / tAll, t1 / tAll);
    }

    if (octaveSeconds > 0.0 && ref2048 > 0.0)
        printf("Whole Octave call, 2048x2048, 5 iterations, best call: %.1f ms; literal reference for 5 iterations: %.1f "
               "ms; ratio %.1fx\n",
               octaveSeconds * 1e3, ref2048 * 5 * 1e3, ref2048 * 5 / octaveSeconds);
    teamStop(&every);
    return 0;
}
