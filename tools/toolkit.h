/* What the command-line tools share: finding and calling the modules through
 * the stand-in host, option values, output names and folders. */
#ifndef TOOLKIT_H
#define TOOLKIT_H

#include "pngio.h"
#include "standin.h"

#include <string>
#include <vector>

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

/* Reads one input, reporting a failure with the file's name. */
bool readInput(const char *tool, const std::string &path, PngImage *img);

/* False, with a message, if an earlier input of this run already wrote
 * `output` (two inputs of the same name from different folders). */
bool claimOutput(const char *tool, const std::string &input, const std::string &output,
                 std::vector<std::string> *claimed);

/* Reports how many of the inputs failed; returns the exit status. */
int finishTool(const char *tool, int failed, int count);

/* Milliseconds since an arbitrary start. */
double nowMs();

#endif
