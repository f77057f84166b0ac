/* What the command-line tools share: finding and calling the modules through
 * the stand-in host, option values, output names and folders. */
#ifndef TOOLKIT_H
#define TOOLKIT_H

#include "pngio.h"
#include "standin.h"

#include <cstdio>
#include <new>
#include <set>
#include <string>
#include <vector>

/* No round of a smoothing may be stronger than this: the solve stays
 * accurate up to it (an image in [0, 1] is off by less than 1e-6 at 1e10)
 * and loses the image to rounding a few decades above (at 1e16 an image in
 * [0, 1] comes out near 250). The strength of round k (0, 1, ...) is
 * lambda / 2 divided k times by the attenuation. */
const double MAX_ROUND_STRENGTH = 1e10;

/* Images of more pixels are refused from their header unless --max-pixels
 * says otherwise: lantrel needs about 100 bytes per pixel for a grey image,
 * 250 for colour. */
const long long DEFAULT_MAX_PIXELS = 50000000;

/* Loads module `name` (for example "Lantrel"): NAME.so in ../standin beside
 * the executable's folder (the build tree), else in the executable's own
 * folder. On failure returns null and says which files were tried. */
MexFunction loadModule(const char *argv0, const char *name, std::string *why);

/* out = Lantrel(planes, [], weights, [], lambda, iterations, attenuation) on
 * a rows x cols x nplanes column-major stack. */
bool callLantrel(MexFunction fn, const std::vector<double> &planes, int rows, int cols, int nplanes,
                 const std::vector<double> &weights, double lambda, double iterations, double attenuation,
                 std::vector<double> *out, std::string *why);

/* [net, total] = Ostrave(image, directions, table, halfLength). */
bool callOstrave(MexFunction fn, const std::vector<double> &image, int rows, int cols,
                 const std::vector<double> &directions, const std::vector<double> &table, double halfLength,
                 std::vector<double> *net, std::vector<double> *total, std::string *why);

/* A whole-string decimal number (finite); false otherwise. */
bool parseNumber(const char *text, double *value);

/* --max-pixels: a whole number >= 1; false otherwise. */
bool parseMaxPixels(const char *text, long long *value);

/* The first round (1-based) whose strength exceeds MAX_ROUND_STRENGTH, with
 * that strength in *strength, computed as the module does; 0 if none. */
int roundAboveLimit(double lambda, double iterations, double attenuation, double *strength);

/* How many values are NaN or infinite. */
size_t countNonFinite(const std::vector<double> &values);

/* FOLDER/STEM + suffix + ".png", where STEM is the input's file name
 * without its extension and FOLDER the output folder, or the input's own
 * folder when `outDir` is empty. */
std::string outputName(const std::string &input, const std::string &outDir, const std::string &suffix);

/* Creates the folder and its parents if missing. */
bool makeFolders(const std::string &dir, std::string *why);

/* The parts every tool's main shares. Each prints its message prefixed by
 * the tool's name. */

/* Reports a usage problem ("TOOL: <fmt with what>" and a pointer to
 * --help); returns the exit status 2. */
int badUsage(const char *tool, const char *fmt, const char *what);

/* The usage problem getopt_long found: a missing value (':') or an unknown
 * option. */
int optionProblem(const char *tool, int opt, char **argv);

/* Loads the module and creates the output folder (if one is given). */
MexFunction startTool(const char *tool, const char *argv0, const char *module, const std::string &outDir);

/* Reads one input (refused if it has more than maxPixels pixels),
 * reporting a failure with the file's name. */
bool readInput(const char *tool, const std::string &path, PngImage *img, long long maxPixels);

/* One input of a run and the files it writes, each with the keys that name
 * it (its resolved directory entry, its resolved path and device:inode when
 * it exists), taken before anything is written. */
struct PlannedInput {
    std::string input;
    std::vector<std::string> outputs;
    std::vector<std::vector<std::string>> keys; /* per output */
};

/* Plans a run: the outputs of each of `count` inputs (one per suffix, see
 * outputName). An output that is one of the inputs or `otherInputs` (by any
 * spelling, symbolic or hard link) is a usage error naming both, reported
 * before anything is written (returns 2); 0 otherwise. */
int planRun(const char *tool, char *const *inputs, int count, const std::vector<std::string> &suffixes,
            const std::string &outDir, const std::vector<std::string> &otherInputs, std::vector<PlannedInput> *plan);

/* False, with a message, if an earlier input of this run already wrote one
 * of the outputs of `in` (two inputs that name the same output); the
 * caller adds the keys of its outputs to `written` once they are written. */
bool claimOutputs(const char *tool, const PlannedInput &in, const std::set<std::string> &written);

/* Adds the keys of the outputs of `in` to `written`. */
void markWritten(const PlannedInput &in, std::set<std::string> *written);

/* Runs one input's work; a std::bad_alloc from it is reported with the
 * input's name and counts as a failure, and the tool goes on. */
template <class Fn> bool runOne(const char *tool, const std::string &input, const Fn &work);

/* Reports how many of the inputs failed; returns the exit status. */
int finishTool(const char *tool, int failed, int count);

/* Milliseconds since an arbitrary start. */
double nowMs();

template <class Fn> bool runOne(const char *tool, const std::string &input, const Fn &work)
{
    try {
        return work();
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "%s: %s: out of memory\n", tool, input.c_str());
        return false;
    }
}

#endif
