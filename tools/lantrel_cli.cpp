/* lantrel: edge-preserving smoothing of PNG images with the Lantrel module,
 * run through the stand-in host (no MATLAB needed). */
#include "imageops.h"
#include "pngio.h"
#include "toolkit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <getopt.h>
#include <string>

static const char usage[] =
    "Usage: lantrel [OPTION]... IMAGE.png...\n"
    "Smooths each PNG image while keeping its edges, and writes NAME_smoothed.png\n"
    "beside it (or into the folder given with -o). 8- and 16-bit images, grey or\n"
    "colour; colour channels are smoothed as separate planes with one shared\n"
    "weight map, an alpha channel is copied unchanged. The output has the\n"
    "input's size, channels and bit depth.\n"
    "\n"
    "Every round replaces each row, then each column, by the exact solution of\n"
    "(I + s*A) u = f, A the line's weighted second-difference matrix; s is\n"
    "LAMBDA/2 in the first round and is divided by ATTENUATION after each.\n"
    "\n"
    "Weights: by default from the image's own edges,\n"
    "    w = exp(-g / SIGMA),  g = |grad I| = hypot(I(x+1,y) - I(x,y), I(x,y+1) - I(x,y))\n"
    "with I scaled to [0, 1] and, for colour, g the largest over the channels.\n"
    "Across an edge g is large and w near 0, so the edge is kept.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR        write the results into DIR (created if missing)\n"
    "  -l, --lambda X          smoothing strength, >= 0 (default: from the noise)\n"
    "  -n, --iterations N      number of rounds, a whole number (default 4)\n"
    "  -a, --attenuation X     divisor of the strength between rounds, > 0 (default 2)\n"
    "  -s, --sigma X           edge scale of the weights, > 0, in units of the full\n"
    "                          intensity range (default: from the noise): a step\n"
    "                          of SIGMA between neighbours gives weight exp(-1)\n"
    "  -w, --weights FILE.png  read the weight map from a PNG of the same size\n"
    "                          instead: its grey level (luma, for colour) scaled\n"
    "                          to [0, 1] is the weight (white smooths, black keeps)\n"
    "      --max-pixels N      refuse images of more than N pixels (default\n"
    "                          50000000; about 100 bytes per pixel are needed for\n"
    "                          a grey image, 250 for colour)\n"
    "  -v, --verbose           print the noise read and the parameters used\n"
    "  -q, --quiet             no progress lines\n"
    "  -h, --help              show this help and exit\n"
    "\n"
    "Defaults from the noise, as lantrelSmooth in MATLAB and Octave: with N the\n"
    "noise's standard deviation on [0, 1] (median of |Immerkaer's mask| over the\n"
    "half of the pixels of weakest Sobel gradient / (0.6745 * 6); colour: the\n"
    "median over the channels) and G = 255 * N: without --sigma or --weights,\n"
    "the weights come from a pilot, the image smoothed with SIGMA0 = 2N + 0.003\n"
    "and LAMBDA0 = 0.5 G^0.75, with SIGMA = min(SIGMA0, 0.035), and LAMBDA is\n"
    "0.8 LAMBDA0; with --sigma or --weights, LAMBDA is LAMBDA0.\n"
    "\n"
    "Limits: the strength of no round may exceed 1e10 (LAMBDA/2, divided by\n"
    "ATTENUATION after each round); beyond it the solve loses the image to\n"
    "rounding, so such options are refused before any file is read. A result\n"
    "that still holds NaN or Inf is reported and not written.\n"
    "\n"
    "Example:\n"
    "  lantrel -o smoothed --lambda 40 photos/*.png\n"
    "\n"
    "Exit status: 0 if every image was written, 1 if any failed, 2 on bad usage.\n";

static const char tool[] = "lantrel";

int main(int argc, char **argv)
{
    /* Sigma and lambda follow each image's noise unless given, as in matlab/lantrelSmooth.m. */
    double lambda = -1.0, iterations = 4.0, attenuation = 2.0, sigma = -1.0;
    bool verbose = false;
    std::string outDir, weightFile;
    long long maxPixels = DEFAULT_MAX_PIXELS;
    bool quiet = false;
    enum { MAX_PIXELS = 1000 };
    static const option longOptions[] = {
        {"output", required_argument, nullptr, 'o'},     {"lambda", required_argument, nullptr, 'l'},
        {"iterations", required_argument, nullptr, 'n'}, {"attenuation", required_argument, nullptr, 'a'},
        {"sigma", required_argument, nullptr, 's'},      {"weights", required_argument, nullptr, 'w'},
        {"quiet", no_argument, nullptr, 'q'},            {"help", no_argument, nullptr, 'h'},
        {"verbose", no_argument, nullptr, 'v'},
        {"max-pixels", required_argument, nullptr, MAX_PIXELS}, {nullptr, 0, nullptr, 0}};
    opterr = 0;
    int opt;
    while ((opt = getopt_long(argc, argv, ":o:l:n:a:s:w:qvh", longOptions, nullptr)) != -1) {
        switch (opt) {
        case 'o': outDir = optarg; break;
        case 'w': weightFile = optarg; break;
        case 'q': quiet = true; break;
        case 'v': verbose = true; break;
        case 'h': fputs(usage, stdout); return 0;
        case 'l':
            if (!parseNumber(optarg, &lambda) || lambda < 0)
                return badUsage(tool, "--lambda needs a number >= 0, not '%s'", optarg);
            break;
        case 'n':
            if (!parseNumber(optarg, &iterations) || iterations < 0 || iterations > 1e6 ||
                iterations != std::floor(iterations))
                return badUsage(tool, "--iterations needs a whole number from 0 to 1000000, not '%s'", optarg);
            break;
        case 'a':
            if (!parseNumber(optarg, &attenuation) || attenuation <= 0)
                return badUsage(tool, "--attenuation needs a number > 0, not '%s'", optarg);
            break;
        case 's':
            if (!parseNumber(optarg, &sigma) || sigma <= 0)
                return badUsage(tool, "--sigma needs a number > 0, not '%s'", optarg);
            break;
        case MAX_PIXELS:
            if (!parseMaxPixels(optarg, &maxPixels))
                return badUsage(tool, "--max-pixels needs a whole number >= 1, not '%s'", optarg);
            break;
        default: return optionProblem(tool, opt, argv);
        }
    }
    if (optind >= argc)
        return badUsage(tool, "%s", "no input image given");
    double strength = 0.0;
    /* A lambda from the noise is at most 0.5 * 255^0.75 (about 32): only a given one can pass the limit. */
    if (const int round = roundAboveLimit(std::max(lambda, 0.0), iterations, attenuation, &strength)) {
        char text[300];
        snprintf(text, sizeof text,
                 "the strength of round %d would be %g (LAMBDA/2, divided by ATTENUATION after each round), above "
                 "the limit of %g, where the solve loses the image to rounding: lower --lambda or raise "
                 "--attenuation",
                 round, strength, MAX_ROUND_STRENGTH);
        return badUsage(tool, "%s", text);
    }

    /* Before anything (the output folder too) is written. */
    std::vector<PlannedInput> plan;
    const std::vector<std::string> weightInput =
        weightFile.empty() ? std::vector<std::string>() : std::vector<std::string>{weightFile};
    if (const int status = planRun(tool, argv + optind, argc - optind, {"_smoothed"}, outDir, weightInput, &plan))
        return status;

    std::string why;
    MexFunction lantrel = startTool(tool, argv[0], "Lantrel", outDir);
    if (!lantrel)
        return 1;
    PngImage weightImage;
    if (!weightFile.empty() && !readPng(weightFile, &weightImage, &why, maxPixels)) {
        fprintf(stderr, "lantrel: %s: %s\n", weightFile.c_str(), why.c_str());
        return 1;
    }

    const int count = argc - optind;
    std::set<std::string> written;
    int failed = 0;
    for (int k = 0; k < count; ++k) {
        const std::string &input = plan[k].input, &output = plan[k].outputs[0];
        const bool ok = runOne(tool, input, [&] {
            PngImage img;
            if (!claimOutputs(tool, plan[k], written) || !readInput(tool, input, &img, maxPixels))
                return false;
            if (!weightFile.empty() && (weightImage.width != img.width || weightImage.height != img.height)) {
                fprintf(stderr, "lantrel: %s: the weight map %s is %dx%d, the image %dx%d\n", input.c_str(),
                        weightFile.c_str(), weightImage.width, weightImage.height, img.width, img.height);
                return false;
            }
            const int m = img.height, n = img.width, c = img.channels >= 3 ? 3 : 1;
            const std::vector<double> planes = colourPlanes(img);
            const bool pilot = sigma < 0 && weightFile.empty();
            const double noise = planeNoise(planes, m, n, c);
            const double sigma0 = 2 * noise + 0.003, lambda0 = 0.5 * std::pow(255 * noise, 0.75);
            const double useSigma = pilot ? std::min(sigma0, 0.035) : sigma;
            const double useLambda = lambda >= 0 ? lambda : pilot ? 0.8 * lambda0 : lambda0;
            std::vector<double> weights, smoothed;
            const double t0 = nowMs();
            if (pilot) {
                std::vector<double> guide;
                if (!callLantrel(lantrel, planes, m, n, c, edgeWeights(planes, m, n, c, sigma0), lambda0, iterations,
                                 attenuation, &guide, &why)) {
                    fprintf(stderr, "lantrel: %s: %s\n", input.c_str(), why.c_str());
                    return false;
                }
                weights = edgeWeights(guide, m, n, c, useSigma);
            } else {
                weights = weightFile.empty() ? edgeWeights(planes, m, n, c, useSigma) : lumaPlane(weightImage);
            }
            if (verbose)
                printf("%s: noise %.6g (%.3g grey levels of 255); sigma %.6g (%s), lambda %.6g, iterations %g, "
                       "attenuation %g\n",
                       input.c_str(), noise, 255 * noise, weightFile.empty() ? useSigma : NAN,
                       pilot ? "on a pilot" : weightFile.empty() ? "on the image" : "weights from a file", useLambda,
                       iterations, attenuation);
            if (!callLantrel(lantrel, planes, m, n, c, weights, useLambda, iterations, attenuation, &smoothed, &why)) {
                fprintf(stderr, "lantrel: %s: %s\n", input.c_str(), why.c_str());
                return false;
            }
            const double ms = nowMs() - t0;
            if (const size_t bad = countNonFinite(smoothed)) {
                fprintf(stderr,
                        "lantrel: %s: not written: %zu values of the result are NaN or Inf (the solve broke down "
                        "with these weights and strengths)\n",
                        input.c_str(), bad);
                return false;
            }
            storeColourPlanes(smoothed, &img);
            if (!writePng(output, img, &why)) {
                fprintf(stderr, "lantrel: %s: %s\n", output.c_str(), why.c_str());
                return false;
            }
            markWritten(plan[k], &written);
            if (!quiet)
                printf("[%d/%d] %s -> %s (%dx%d, %d channel%s, %d-bit; smoothed in %.1f ms)\n", k + 1, count,
                       input.c_str(), output.c_str(), n, m, img.channels, img.channels > 1 ? "s" : "", img.depth,
                       ms);
            fflush(stdout);
            return true;
        });
        failed += !ok;
    }
    return finishTool(tool, failed, count);
}
