/* Writes what the tools compute from a PNG, so that the MATLAB helpers can
 * be compared with them bit for bit. Usage: imageops_dump IMAGE.png SIGMA OUT
 * OUT holds raw doubles (native order): rows, cols, then the luma, the
 * weights for SIGMA, the directions across and along edges (each rows x cols,
 * column-major) and the 80 x 722 straight-line table. */
#include "imageops.h"
#include "pngio.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4) {
        fputs("usage: imageops_dump IMAGE.png SIGMA OUT\n", stderr);
        return 2;
    }
    PngImage img;
    std::string why;
    if (!readPng(argv[1], &img, &why)) {
        fprintf(stderr, "imageops_dump: %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    const int m = img.height, n = img.width, c = img.channels >= 3 ? 3 : 1;
    const std::vector<double> luma = lumaPlane(img);
    const std::vector<double> parts[] = {luma, edgeWeights(colourPlanes(img), m, n, c, std::atof(argv[2])),
                                         gradientDirections(luma, m, n, 0.0), gradientDirections(luma, m, n, 90.0),
                                         straightLineTable()};
    FILE *f = fopen(argv[3], "wb");
    const double size[2] = {static_cast<double>(m), static_cast<double>(n)};
    bool ok = f && fwrite(size, sizeof(double), 2, f) == 2;
    for (const std::vector<double> &p : parts)
        ok = ok && fwrite(p.data(), sizeof(double), p.size(), f) == p.size();
    if (!f || fclose(f) != 0 || !ok) {
        fprintf(stderr, "imageops_dump: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
