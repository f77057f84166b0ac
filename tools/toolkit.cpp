#include "toolkit.h"

#include "loader.h"
#include "../pathvariation/table.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <cstring>
#include <climits>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string executableFolder(const char *argv0)
{
    char buf[4096];
    ssize_t len = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe = len > 0 ? std::string(buf, static_cast<size_t>(len)) : std::string(argv0);
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

mxArray *matrixFrom(const std::vector<double> &values, int ndim, const int *dims)
{
    mxArray *a = standinCreateArray(STANDIN_DOUBLE, ndim, dims, 0);
    if (a && !values.empty())
        memcpy(mxGetPr(a), values.data(), values.size() * sizeof(double));
    return a;
}

/* Runs the call and turns a raised error into text; frees the inputs. */
bool run(MexFunction fn, const char *name, int nlhs, mxArray **plhs, int nrhs, mxArray **prhs, std::string *why)
{
    bool made = true;
    for (int k = 0; k < nrhs; ++k)
        made = made && prhs[k];
    StandinReport report;
    bool ok = made && !standinCall(fn, nlhs, plhs, nrhs, const_cast<const mxArray **>(prhs), &report);
    if (!made)
        *why = "out of memory";
    else if (!ok)
        *why = std::string(name) + " failed: " + report.text + " (" + report.id + ")";
    for (int k = 0; k < nrhs; ++k)
        if (prhs[k])
            standinDestroy(prhs[k]);
    return ok;
}

/* Copies each output into its vector and destroys it; every output is
 * destroyed even when a copy runs out of memory. */
void takeOutputs(mxArray **plhs, int n, size_t count, std::vector<double> **to)
{
    bool failed = false;
    for (int k = 0; k < n; ++k) {
        if (!failed) {
            try {
                to[k]->assign(mxGetPr(plhs[k]), mxGetPr(plhs[k]) + count);
            } catch (const std::bad_alloc &) {
                failed = true;
            }
        }
        standinDestroy(plhs[k]);
    }
    if (failed)
        throw std::bad_alloc();
}

} // namespace

MexFunction loadModule(const char *argv0, const char *name, std::string *why)
{
    const std::string folder = executableFolder(argv0);
    const std::string candidates[2] = {folder + "/../standin/" + name + ".so", folder + "/" + name + ".so"};
    std::string tried;
    for (const std::string &path : candidates) {
        if (access(path.c_str(), F_OK) != 0) {
            tried += (tried.empty() ? "" : ", ") + path;
            continue;
        }
        char reason[600];
        MexFunction fn = standinLoadModule(path.c_str(), reason, sizeof reason);
        if (!fn)
            *why = reason;
        return fn;
    }
    *why = std::string("the ") + name + " module was not found (looked for " + tried + "); build it first";
    return nullptr;
}

bool callLantrel(MexFunction fn, const std::vector<double> &planes, int rows, int cols, int nplanes,
                 const std::vector<double> &weights, double lambda, double iterations, double attenuation,
                 std::vector<double> *out, std::string *why)
{
    const int dims[3] = {rows, cols, nplanes};
    const int wdims[2] = {rows, cols};
    const int none[2] = {0, 0};
    mxArray *prhs[7] = {matrixFrom(planes, 3, dims),       matrixFrom({}, 2, none),
                        matrixFrom(weights, 2, wdims),     matrixFrom({}, 2, none),
                        standinCreateScalar(lambda),       standinCreateScalar(iterations),
                        standinCreateScalar(attenuation)};
    mxArray *plhs[1] = {nullptr};
    if (!run(fn, "Lantrel", 1, plhs, 7, prhs, why))
        return false;
    takeOutputs(plhs, 1, planes.size(), &out);
    return true;
}

bool callOstrave(MexFunction fn, const std::vector<double> &image, int rows, int cols,
                 const std::vector<double> &directions, const std::vector<double> &table, double halfLength,
                 std::vector<double> *net, std::vector<double> *total, std::string *why)
{
    const int dims[2] = {rows, cols};
    const int tdims[2] = {TABLE_STEPS, TABLE_COLUMNS};
    mxArray *prhs[4] = {matrixFrom(image, 2, dims), matrixFrom(directions, 2, dims), matrixFrom(table, 2, tdims),
                        standinCreateScalar(halfLength)};
    mxArray *plhs[2] = {nullptr, nullptr};
    if (!run(fn, "Ostrave", 2, plhs, 4, prhs, why))
        return false;
    std::vector<double> *to[2] = {net, total};
    takeOutputs(plhs, 2, image.size(), to);
    return true;
}

bool parseNumber(const char *text, double *value)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    double v = strtod(text, &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool parseMaxPixels(const char *text, long long *value)
{
    double v;
    if (!parseNumber(text, &v) || v < 1 || v > 9e18 || v != static_cast<double>(static_cast<long long>(v)))
        return false;
    *value = static_cast<long long>(v);
    return true;
}

int roundAboveLimit(double lambda, double iterations, double attenuation, double *strength)
{
    double lam = 0.5 * lambda;
    for (int k = 1; k <= iterations; ++k) {
        if (!(lam <= MAX_ROUND_STRENGTH)) {
            *strength = lam;
            return k;
        }
        lam = lam / attenuation;
    }
    return 0;
}

size_t countNonFinite(const std::vector<double> &values)
{
    size_t n = 0;
    for (double v : values)
        n += !std::isfinite(v);
    return n;
}

std::string outputName(const std::string &input, const std::string &outDir, const std::string &suffix)
{
    size_t slash = input.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : input.substr(0, slash + 1);
    std::string stem = slash == std::string::npos ? input : input.substr(slash + 1);
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0)
        stem.resize(dot);
    if (!outDir.empty())
        folder = outDir.back() == '/' ? outDir : outDir + "/";
    return folder + stem + suffix + ".png";
}

bool makeFolders(const std::string &dir, std::string *why)
{
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string prefix = dir.substr(0, pos);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            *why = prefix + ": cannot create the folder: " + strerror(errno);
            return false;
        }
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = dir + ": not a folder";
        return false;
    }
    return true;
}

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int badUsage(const char *tool, const char *fmt, const char *what)
{
    fprintf(stderr, "%s: ", tool);
    fprintf(stderr, fmt, what);
    fprintf(stderr, "\nTry '%s --help' for more information.\n", tool);
    return 2;
}

int optionProblem(const char *tool, int opt, char **argv)
{
    return badUsage(tool, opt == ':' ? "option %s needs a value" : "unknown option %s", argv[optind - 1]);
}

MexFunction startTool(const char *tool, const char *argv0, const char *module, const std::string &outDir)
{
    std::string why;
    MexFunction fn = loadModule(argv0, module, &why);
    if (fn && !outDir.empty() && !makeFolders(outDir, &why))
        fn = nullptr;
    if (!fn)
        fprintf(stderr, "%s: %s\n", tool, why.c_str());
    return fn;
}

bool readInput(const char *tool, const std::string &path, PngImage *img, long long maxPixels)
{
    std::string why;
    if (readPng(path, img, &why, maxPixels))
        return true;
    fprintf(stderr, "%s: %s: %s\n", tool, path.c_str(), why.c_str());
    return false;
}

namespace {

/* The folder part (or "." if none) and the last name of a path, trailing
 * slashes ignored. */
void splitPath(const std::string &path, std::string *folder, std::string *name)
{
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) { /* "/" or "" */
        *folder = path.empty() ? "." : "/";
        *name = ".";
        return;
    }
    const size_t slash = path.rfind('/', end);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    *name = path.substr(start, end + 1 - start);
    if (slash == std::string::npos)
        *folder = ".";
    else {
        const size_t keep = path.find_last_not_of('/', slash);
        *folder = keep == std::string::npos ? "/" : path.substr(0, keep + 1);
    }
}

/* The absolute path a folder has, or will have once created: realpath of
 * its longest existing part, the rest applied name by name (".." of a
 * folder still to be made is its parent, as it will be). */
std::string resolvedFolder(const std::string &dir)
{
    char buf[PATH_MAX];
    if (realpath(dir.c_str(), buf))
        return buf;
    std::string parent, name;
    splitPath(dir, &parent, &name);
    if (parent == dir)
        return dir;
    std::string base = resolvedFolder(parent);
    if (name == ".")
        return base;
    if (name == "..") {
        const size_t slash = base.rfind('/');
        return slash == 0 || slash == std::string::npos ? std::string("/") : base.substr(0, slash);
    }
    return base == "/" ? base + name : base + "/" + name;
}

/* Every key that names the file at `path` (see PlannedInput). */
std::vector<std::string> fileKeys(const std::string &path)
{
    std::string folder, name;
    splitPath(path, &folder, &name);
    std::vector<std::string> keys;
    if (name == "." || name == "..")
        keys.push_back(resolvedFolder(path));
    else {
        const std::string base = resolvedFolder(folder);
        keys.push_back(base == "/" ? base + name : base + "/" + name);
    }
    struct stat st;
    char buf[PATH_MAX];
    if (stat(path.c_str(), &st) == 0) {
        keys.push_back(":" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino));
        if (realpath(path.c_str(), buf) && keys[0] != buf)
            keys.push_back(buf);
    }
    return keys;
}

} // namespace

int planRun(const char *tool, char *const *inputs, int count, const std::vector<std::string> &suffixes,
            const std::string &outDir, const std::vector<std::string> &otherInputs, std::vector<PlannedInput> *plan)
{
    /* key -> the input it names */
    std::map<std::string, std::string> inputKeys;
    auto addInput = [&](const std::string &path) {
        for (const std::string &key : fileKeys(path))
            inputKeys.emplace(key, path);
    };
    for (int k = 0; k < count; ++k)
        addInput(inputs[k]);
    for (const std::string &path : otherInputs)
        addInput(path);
    plan->clear();
    for (int k = 0; k < count; ++k) {
        PlannedInput in;
        in.input = inputs[k];
        for (const std::string &suffix : suffixes) {
            const std::string output = outputName(in.input, outDir, suffix);
            std::vector<std::string> keys = fileKeys(output);
            for (const std::string &key : keys) {
                const auto hit = inputKeys.find(key);
                if (hit == inputKeys.end())
                    continue;
                const std::string text = "the output " + output + " of " + in.input + " is the input " +
                                         hit->second + ": nothing was written";
                return badUsage(tool, "%s", text.c_str());
            }
            in.outputs.push_back(output);
            in.keys.push_back(std::move(keys));
        }
        plan->push_back(std::move(in));
    }
    return 0;
}

bool claimOutputs(const char *tool, const PlannedInput &in, const std::set<std::string> &written)
{
    for (size_t k = 0; k < in.outputs.size(); ++k)
        for (const std::string &key : in.keys[k])
            if (written.count(key)) {
                fprintf(stderr, "%s: %s: skipped: an earlier input already wrote %s\n", tool, in.input.c_str(),
                        in.outputs[k].c_str());
                return false;
            }
    return true;
}

void markWritten(const PlannedInput &in, std::set<std::string> *written)
{
    for (const std::vector<std::string> &keys : in.keys)
        written->insert(keys.begin(), keys.end());
}

int finishTool(const char *tool, int failed, int count)
{
    if (failed && count > 1)
        fprintf(stderr, "%s: %d of %d images failed\n", tool, failed, count);
    return failed ? 1 : 0;
}
