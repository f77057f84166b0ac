#include "imageops.h"

#include "../imageops/imagemaths.h"
#include "../pathvariation/table.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

int colourCount(const PngImage &img)
{
    return img.channels >= 3 ? 3 : 1;
}

double fullScaleOf(const PngImage &img)
{
    return img.depth == 16 ? 65535.0 : 255.0;
}

/* The colour samples of a PNG (interleaved, row by row) as an image view:
 * each sample divided by the full scale of its depth. */
ImageView colourView(const PngImage &img)
{
    const ptrdiff_t ch = img.channels;
    return ImageView{img.samples.data(), SAMPLE_UINT16, img.height, img.width, colourCount(img),
                     ch * img.width, ch, 1, 0.0, fullScaleOf(img)};
}

ImageView planesView(const std::vector<double> &planes, int rows, int cols, int nplanes)
{
    return unitView(planes.data(), SAMPLE_DOUBLE, rows, cols, nplanes);
}

} // namespace

std::vector<double> colourPlanes(const PngImage &img)
{
    std::vector<double> planes(static_cast<size_t>(img.height) * img.width * colourCount(img));
    toUnit(colourView(img), planes.data(), 0);
    return planes;
}

std::vector<double> lumaPlane(const PngImage &img)
{
    std::vector<double> grey(static_cast<size_t>(img.height) * img.width);
    lumaOf(colourView(img), grey.data(), 0);
    return grey;
}
void storeColourPlanes(const std::vector<double> &planes, PngImage *img)
{
    const int m = img->height, n = img->width, c = colourCount(*img);
    const size_t pixels = static_cast<size_t>(m) * n;
    const double scale = fullScaleOf(*img);
    for (int p = 0; p < c; ++p)
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j) {
                double v = planes[i + static_cast<size_t>(m) * j + pixels * p];
                v = std::isnan(v) ? 0.0 : std::min(std::max(v, 0.0), 1.0);
                img->samples[(static_cast<size_t>(i) * n + j) * img->channels + p] =
                    static_cast<uint16_t>(std::lround(v * scale));
            }
}

PngImage greyImage(const std::vector<double> &plane, int rows, int cols, int depth, double fullScale)
{
    PngImage img;
    img.width = cols;
    img.height = rows;
    img.channels = 1;
    img.depth = depth;
    img.samples.assign(static_cast<size_t>(rows) * cols, 0);
    std::vector<double> scaled(plane.size());
    for (size_t k = 0; k < plane.size(); ++k)
        scaled[k] = fullScale > 0 ? plane[k] / fullScale : 0.0;
    storeColourPlanes(scaled, &img);
    return img;
}

std::vector<double> edgeWeights(const std::vector<double> &planes, int rows, int cols, int nplanes, double sigma)
{
    std::vector<double> w(static_cast<size_t>(rows) * cols);
    ::edgeWeights(planesView(planes, rows, cols, nplanes), sigma, w.data(), 0);
    return w;
}

std::vector<double> gradientDirections(const std::vector<double> &grey, int rows, int cols, double turn)
{
    std::vector<double> dirs(static_cast<size_t>(rows) * cols);
    if (!::gradientDirections(planesView(grey, rows, cols, 1), turn, dirs.data(), 0))
        throw std::bad_alloc();
    return dirs;
}

std::vector<double> straightLineTable()
{
    static_assert(int(PATH_TABLE_STEPS) == int(TABLE_STEPS) && int(PATH_TABLE_DIRECTIONS) == int(DIRECTIONS),
                  "the table's shape is the walk's");
    std::vector<double> table(TABLE_SIZE);
    straightPathTable(table.data());
    return table;
}

double planeNoise(const std::vector<double> &planes, int rows, int cols, int nplanes)
{
    double s;
    if (!noiseEstimate(planesView(planes, rows, cols, nplanes), &s, 0))
        throw std::bad_alloc();
    /* no finite values: no noise read */
    return std::isnan(s) ? 0.0 : s;
}
double planeMax(const std::vector<double> &plane)
{
    double top = 0.0;
    for (double v : plane)
        if (std::isfinite(v) && v > top)
            top = v;
    return top;
}
