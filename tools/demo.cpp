/* The demo: a synthetic scene with noisy flat regions, sharp edges, a
 * gradient and fine texture, smoothed by Lantrel and analysed by Ostrave
 * (both through the stand-in host). Writes input.png, smoothed.png,
 * net_change.png, total_variation.png and overview.png (the four side by
 * side) into the folder given (default demo-output), and prints the time of
 * each call and a few measurements of the result. */
#include "imageops.h"
#include "pngio.h"
#include "toolkit.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace {

const int M = 256, N = 256;
const double pi = 3.14159265358979323846;

/* Regions of the scene, for the measurements. */
enum Region { FLAT, SQUARE, TEXTURE, RAMP };

Region regionAt(int i, int j)
{
    if (i >= 40 && i < 120 && j >= 24 && j < 112)
        return SQUARE;
    if (std::hypot(i - 80.0, j - 190.0) < 46.0)
        return TEXTURE;
    if (i >= 168 && i < 232 && j >= 16 && j < 240)
        return RAMP;
    return FLAT;
}

/* The same bits on every machine: the normal deviates come from the
 * 64-bit Mersenne Twister (fully specified) by Box-Muller. */
std::vector<double> makeScene()
{
    std::mt19937_64 rng(20261208);
    auto uniform = [&]() { return (static_cast<double>(rng() >> 11) + 0.5) / 9007199254740992.0; };
    std::vector<double> f(static_cast<size_t>(M) * N);
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M; ++i) {
            double clean = 0.3;
            switch (regionAt(i, j)) {
            case SQUARE: clean = 0.75; break;
            case TEXTURE: clean = ((i / 2 + j / 2) % 2) ? 0.7 : 0.3; break; /* 2-pixel checkerboard */
            case RAMP: clean = 0.05 + 0.9 * (j - 16) / 223.0; break;
            case FLAT: break;
            }
            const double noise = 0.04 * std::sqrt(-2.0 * std::log(uniform())) * std::cos(2 * pi * uniform());
            f[i + static_cast<size_t>(M) * j] = clean + noise;
        }
    return f;
}

/* Mean and standard deviation of a plane over one region, away from its
 * border by `margin` pixels (measured with the region test on shifted
 * points). */
void regionStats(const std::vector<double> &v, Region r, int margin, double *mean, double *sd)
{
    double s = 0, s2 = 0;
    long n = 0;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M; ++i) {
            bool inside = true;
            for (int d = -margin; d <= margin && inside; d += margin > 0 ? margin : 1)
                inside = regionAt(std::min(std::max(i + d, 0), M - 1), j) == r &&
                         regionAt(i, std::min(std::max(j + d, 0), N - 1)) == r;
            if (!inside)
                continue;
            const double x = v[i + static_cast<size_t>(M) * j];
            s += x;
            s2 += x * x;
            ++n;
        }
    *mean = n ? s / n : 0.0;
    *sd = n ? std::sqrt(std::max(0.0, s2 / n - *mean * *mean)) : 0.0;
}

/* 5x7 capitals for the panel titles. */
struct Glyph {
    char c;
    const char *rows[7];
};
const Glyph font[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
};

/* Draws `text` in white, two pixels per font pixel, top-left at (top, left). */
void drawText(PngImage *img, const char *text, int top, int left)
{
    for (int x = left; *text; ++text, x += 12) {
        for (const Glyph &g : font) {
            if (g.c != *text)
                continue;
            for (int r = 0; r < 14; ++r)
                for (int c = 0; c < 10; ++c)
                    if (g.rows[r / 2][c / 2] == '#' && top + r < img->height && x + c < img->width)
                        img->samples[static_cast<size_t>(top + r) * img->width + x + c] = 255;
        }
    }
}

/* The four panels side by side under their titles, on a dark background. */
PngImage overview(const PngImage *panels[4], const char *const titles[4])
{
    const int gap = 8, titleHeight = 26;
    PngImage out;
    out.width = 4 * N + 5 * gap;
    out.height = titleHeight + M + gap;
    out.channels = 1;
    out.depth = 8;
    out.samples.assign(static_cast<size_t>(out.width) * out.height, 40);
    for (int p = 0; p < 4; ++p) {
        const int left = gap + p * (N + gap);
        drawText(&out, titles[p], 7, left);
        for (int i = 0; i < M; ++i)
            for (int j = 0; j < N; ++j)
                out.samples[static_cast<size_t>(titleHeight + i) * out.width + left + j] =
                    panels[p]->samples[static_cast<size_t>(i) * N + j];
    }
    return out;
}

bool save(const std::string &dir, const char *name, const PngImage &img)
{
    std::string why;
    const std::string path = dir + "/" + name;
    if (!writePng(path, img, &why)) {
        fprintf(stderr, "demo: %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    printf("  wrote %s\n", path.c_str());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string dir = argc > 1 ? argv[1] : "demo-output";
    std::string why;
    MexFunction lantrel = loadModule(argv[0], "Lantrel", &why);
    MexFunction ostrave = lantrel ? loadModule(argv[0], "Ostrave", &why) : nullptr;
    if (!lantrel || !ostrave || !makeFolders(dir, &why)) {
        fprintf(stderr, "demo: %s\n", why.c_str());
        return 1;
    }

    /* Not the tools' defaults (lambda 12, sigma 0.03, chosen on a photo): the
     * scene's noise (sd 0.04) makes neighbours differ by about 0.06, which
     * sigma 0.03 would take for edges and keep. */
    const double lambda = 20, iterations = 4, attenuation = 2, sigma = 0.1, halfLength = 4;
    const std::vector<double> scene = makeScene();
    printf("Scene: %dx%d, noisy flat background and square, textured disc, ramp (noise sd 0.04)\n", M, N);

    const std::vector<double> weights = edgeWeights(scene, M, N, 1, sigma);
    std::vector<double> smoothed, net, total;
    double t0 = nowMs();
    if (!callLantrel(lantrel, scene, M, N, 1, weights, lambda, iterations, attenuation, &smoothed, &why)) {
        fprintf(stderr, "demo: %s\n", why.c_str());
        return 1;
    }
    printf("Lantrel (lambda %g, %g iterations, attenuation %g, weights exp(-|grad|/%g), the demo's own for its "
           "noise; the tools default to lambda 12, sigma 0.03): %.2f ms\n",
           lambda, iterations, attenuation, sigma, nowMs() - t0);

    const std::vector<double> directions = gradientDirections(smoothed, M, N, 0.0);
    const std::vector<double> table = straightLineTable();
    t0 = nowMs();
    if (!callOstrave(ostrave, smoothed, M, N, directions, table, halfLength, &net, &total, &why)) {
        fprintf(stderr, "demo: %s\n", why.c_str());
        return 1;
    }
    printf("Ostrave (half-length %g, straight paths across the gradient): %.2f ms\n", halfLength, nowMs() - t0);

    double mean, sdIn, sdOut, edgeIn, edgeOut;
    regionStats(scene, FLAT, 6, &mean, &sdIn);
    regionStats(smoothed, FLAT, 6, &mean, &sdOut);
    printf("Noise (sd) in the flat background: %.4f before, %.4f after\n", sdIn, sdOut);
    regionStats(scene, SQUARE, 6, &mean, &sdIn);
    regionStats(smoothed, SQUARE, 6, &mean, &sdOut);
    printf("Noise (sd) inside the square: %.4f before, %.4f after\n", sdIn, sdOut);
    /* The square's left edge, averaged over its middle rows. */
    edgeIn = edgeOut = 0;
    for (int i = 60; i < 100; ++i) {
        edgeIn += scene[i + M * 24] - scene[i + M * 23];
        edgeOut += smoothed[i + M * 24] - smoothed[i + M * 23];
    }
    printf("Step across the square's edge (true 0.45): %.3f before, %.3f after\n", edgeIn / 40, edgeOut / 40);
    regionStats(scene, TEXTURE, 6, &mean, &sdIn);
    regionStats(smoothed, TEXTURE, 6, &mean, &sdOut);
    printf("Texture contrast (sd in the disc): %.4f before, %.4f after\n", sdIn, sdOut);
    double tvFlat, tvTexture, tvRamp, sd;
    regionStats(total, FLAT, 6, &tvFlat, &sd);
    regionStats(total, TEXTURE, 6, &tvTexture, &sd);
    regionStats(total, RAMP, 6, &tvRamp, &sd);
    printf("Mean total variation: flat %.4f, ramp %.4f, texture %.4f\n", tvFlat, tvRamp, tvTexture);

    PngImage input = greyImage(scene, M, N, 8, 1.0);
    PngImage smooth = greyImage(smoothed, M, N, 8, 1.0);
    PngImage netImage = greyImage(net, M, N, 8, planeMax(net));
    PngImage totalImage = greyImage(total, M, N, 8, planeMax(total));
    const PngImage *panels[4] = {&input, &smooth, &netImage, &totalImage};
    const char *const titles[4] = {"INPUT", "SMOOTHED", "NET CHANGE", "TOTAL VARIATION"};
    const bool ok = save(dir, "input.png", input) && save(dir, "smoothed.png", smooth) &&
                    save(dir, "net_change.png", netImage) && save(dir, "total_variation.png", totalImage) &&
                    save(dir, "overview.png", overview(panels, titles));
    return ok ? 0 : 1;
}
