/* ostrave: net change and total variation along short straight paths, for
 * PNG images, with the Ostrave module run through the stand-in host. */
#include "imageops.h"
#include "pngio.h"
#include "toolkit.h"
#include "../pathvariation/table.h"

#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>

/* The usage and the --half-length message spell the range out. */
static_assert(MAX_HALF_LENGTH == 79, "ostrave's texts say 0..79");

static const char usage[] =
    "Usage: ostrave [OPTION]... IMAGE.png...\n"
    "For every pixel, walks a straight path of 2A+2 samples through it (A\n"
    "samples before the pixel, the pixel, A+1 after) and writes two grey images:\n"
    "  NAME_net_change.png        |last sample - first sample|\n"
    "  NAME_total_variation.png   sum of |differences| of successive samples\n"
    "beside the input (or into the folder given with -o). Samples outside the\n"
    "image are skipped. Colour images are analysed as their luma\n"
    "0.2126 R + 0.7152 G + 0.0722 B; values are scaled to [0, 1].\n"
    "\n"
    "Directions: at each pixel the angle of the Sobel gradient, atan2(gy, gx)\n"
    "with x to the right and y down, in whole degrees 0..359; 0 where the\n"
    "gradient is flat (gx^2 + gy^2 < 1e-18), whose angle would be noise. So by\n"
    "default the path crosses the local edge; with --along edge it is turned by\n"
    "90 degrees and follows the edge. Step p (1..A+1) of direction d goes to\n"
    "(round(p cos d), round(p sin d)) columns and rows from the pixel.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR         write the results into DIR (created if missing)\n"
    "  -r, --half-length A      path half-length in pixels, 0..79 (default 4)\n"
    "      --along WHAT         'gradient' (default) or 'edge'\n"
    "      --scale auto|X       full scale of the outputs: 'auto' (default) maps\n"
    "                           each output's own maximum to white; a number X\n"
    "                           maps X (in units of the input's full range) to\n"
    "                           white, the same for every image\n"
    "  -d, --depth 8|16         bit depth of the outputs (default: the input's)\n"
    "      --max-pixels N       refuse images of more than N pixels (default\n"
    "                           50000000; about 90 bytes per pixel are needed)\n"
    "  -q, --quiet              no progress lines\n"
    "  -h, --help               show this help and exit\n"
    "\n"
    "Example:\n"
    "  ostrave -o variation --half-length 6 scans/*.png\n"
    "\n"
    "Exit status: 0 if every image was written, 1 if any failed, 2 on bad usage.\n";

static const char tool[] = "ostrave";

int main(int argc, char **argv)
{
    double halfLength = 4.0, scale = 0.0, turn = 0.0, depth = 0.0;
    std::string outDir;
    long long maxPixels = DEFAULT_MAX_PIXELS;
    bool quiet = false;
    enum { ALONG = 1000, SCALE, MAX_PIXELS };
    static const option longOptions[] = {
        {"output", required_argument, nullptr, 'o'}, {"half-length", required_argument, nullptr, 'r'},
        {"along", required_argument, nullptr, ALONG}, {"scale", required_argument, nullptr, SCALE},
        {"depth", required_argument, nullptr, 'd'},  {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},         {"max-pixels", required_argument, nullptr, MAX_PIXELS},
        {nullptr, 0, nullptr, 0}};
    opterr = 0;
    int opt;
    while ((opt = getopt_long(argc, argv, ":o:r:d:qh", longOptions, nullptr)) != -1) {
        switch (opt) {
        case 'o': outDir = optarg; break;
        case 'q': quiet = true; break;
        case 'h': fputs(usage, stdout); return 0;
        case 'r':
            if (!parseNumber(optarg, &halfLength) || halfLength < 0 || halfLength > MAX_HALF_LENGTH ||
                halfLength != static_cast<int>(halfLength))
                return badUsage(tool, "--half-length needs a whole number from 0 to 79, not '%s'", optarg);
            break;
        case ALONG:
            if (strcmp(optarg, "gradient") == 0)
                turn = 0.0;
            else if (strcmp(optarg, "edge") == 0)
                turn = 90.0;
            else
                return badUsage(tool, "--along takes 'gradient' or 'edge', not '%s'", optarg);
            break;
        case SCALE:
            if (strcmp(optarg, "auto") == 0)
                scale = 0.0;
            else if (!parseNumber(optarg, &scale) || scale <= 0)
                return badUsage(tool, "--scale takes 'auto' or a number > 0, not '%s'", optarg);
            break;
        case 'd':
            if (!parseNumber(optarg, &depth) || (depth != 8 && depth != 16))
                return badUsage(tool, "--depth takes 8 or 16, not '%s'", optarg);
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

    /* Before anything (the output folder too) is written. */
    std::vector<PlannedInput> plan;
    if (const int status =
            planRun(tool, argv + optind, argc - optind, {"_net_change", "_total_variation"}, outDir, {}, &plan))
        return status;

    std::string why;
    MexFunction ostrave = startTool(tool, argv[0], "Ostrave", outDir);
    if (!ostrave)
        return 1;
    const std::vector<double> table = straightLineTable();
    const int count = argc - optind;
    std::set<std::string> written;
    int failed = 0;
    for (int k = 0; k < count; ++k) {
        const std::string &input = plan[k].input, &netName = plan[k].outputs[0], &totalName = plan[k].outputs[1];
        const bool ok = runOne(tool, input, [&] {
            PngImage img;
            if (!claimOutputs(tool, plan[k], written) || !readInput(tool, input, &img, maxPixels))
                return false;
            const int m = img.height, n = img.width;
            const std::vector<double> grey = lumaPlane(img);
            const std::vector<double> directions = gradientDirections(grey, m, n, turn);
            std::vector<double> net, total;
            const double t0 = nowMs();
            if (!callOstrave(ostrave, grey, m, n, directions, table, halfLength, &net, &total, &why)) {
                fprintf(stderr, "ostrave: %s: %s\n", input.c_str(), why.c_str());
                return false;
            }
            const double ms = nowMs() - t0;
            const int outDepth = depth > 0 ? static_cast<int>(depth) : img.depth;
            const double netTop = planeMax(net), totalTop = planeMax(total);
            if (!writePng(netName, greyImage(net, m, n, outDepth, scale > 0 ? scale : netTop), &why)) {
                fprintf(stderr, "ostrave: %s: %s\n", netName.c_str(), why.c_str());
                return false;
            }
            if (!writePng(totalName, greyImage(total, m, n, outDepth, scale > 0 ? scale : totalTop), &why)) {
                fprintf(stderr, "ostrave: %s: %s\n", totalName.c_str(), why.c_str());
                remove(netName.c_str()); /* both outputs or neither */
                return false;
            }
            markWritten(plan[k], &written);
            if (!quiet)
                printf("[%d/%d] %s -> %s, %s (%dx%d; max net change %.4g, max total variation %.4g; %.1f ms)\n",
                       k + 1, count, input.c_str(), netName.c_str(), totalName.c_str(), n, m, netTop, totalTop, ms);
            fflush(stdout);
            return true;
        });
        failed += !ok;
    }
    return finishTool(tool, failed, count);
}
