#include "imageops.h"

#include "../pathvariation/table.h"

#include <algorithm>
#include <cmath>

namespace {

int colourCount(const PngImage &img)
{
    return img.channels >= 3 ? 3 : 1;
}

double fullScaleOf(const PngImage &img)
{
    return img.depth == 16 ? 65535.0 : 255.0;
}

/* Element (i, j) of a column-major plane, with indices clamped into it. */
double clampedAt(const std::vector<double> &plane, int rows, int cols, int i, int j)
{
    i = std::min(std::max(i, 0), rows - 1);
    j = std::min(std::max(j, 0), cols - 1);
    return plane[i + static_cast<size_t>(rows) * j];
}

} // namespace

std::vector<double> colourPlanes(const PngImage &img)
{
    const int m = img.height, n = img.width, c = colourCount(img);
    const size_t pixels = static_cast<size_t>(m) * n;
    const double scale = fullScaleOf(img);
    std::vector<double> planes(pixels * c);
    for (int p = 0; p < c; ++p)
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j)
                planes[i + static_cast<size_t>(m) * j + pixels * p] =
                    img.samples[(static_cast<size_t>(i) * n + j) * img.channels + p] / scale;
    return planes;
}

std::vector<double> lumaPlane(const PngImage &img)
{
    std::vector<double> planes = colourPlanes(img);
    if (colourCount(img) == 1)
        return planes;
    const size_t pixels = static_cast<size_t>(img.height) * img.width;
    std::vector<double> grey(pixels);
    for (size_t k = 0; k < pixels; ++k)
        grey[k] = 0.2126 * planes[k] + 0.7152 * planes[k + pixels] + 0.0722 * planes[k + 2 * pixels];
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
    const size_t pixels = static_cast<size_t>(rows) * cols;
    std::vector<double> w(pixels);
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i) {
            const size_t k = i + static_cast<size_t>(rows) * j;
            double g = 0.0;
            for (int p = 0; p < nplanes; ++p) {
                const double *f = planes.data() + pixels * p;
                const double dx = j + 1 < cols ? f[k + rows] - f[k] : 0.0;
                const double dy = i + 1 < rows ? f[k + 1] - f[k] : 0.0;
                g = std::max(g, std::hypot(dx, dy));
            }
            w[k] = std::exp(-g / sigma);
        }
    return w;
}

std::vector<double> gradientDirections(const std::vector<double> &grey, int rows, int cols, double turn)
{
    const double degrees = 180.0 / 3.14159265358979323846;
    std::vector<double> dirs(static_cast<size_t>(rows) * cols);
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i) {
            auto at = [&](int di, int dj) { return clampedAt(grey, rows, cols, i + di, j + dj); };
            const double gx = (at(-1, 1) + 2 * at(0, 1) + at(1, 1)) - (at(-1, -1) + 2 * at(0, -1) + at(1, -1));
            const double gy = (at(1, -1) + 2 * at(1, 0) + at(1, 1)) - (at(-1, -1) + 2 * at(-1, 0) + at(-1, 1));
            /* The angle of a flat (or NaN) gradient is rounding noise: such pixels get 0. */
            long d = 0;
            if (gx * gx + gy * gy >= FLAT_GRADIENT_SQUARED) {
                d = std::lround(std::atan2(gy, gx) * degrees + turn) % 360;
                d = d < 0 ? d + 360 : d;
            }
            dirs[i + static_cast<size_t>(rows) * j] = static_cast<double>(d);
        }
    return dirs;
}

std::vector<double> straightLineTable()
{
    const double radians = 3.14159265358979323846 / 180.0;
    std::vector<double> table(TABLE_SIZE);
    for (int d = 0; d < DIRECTIONS; ++d)
        for (int p = 0; p < TABLE_STEPS; ++p) {
            table[p + TABLE_STEPS * d] = static_cast<double>(std::lround((p + 1) * std::cos(d * radians)));
            table[p + TABLE_STEPS * (DIRECTIONS + d)] = static_cast<double>(std::lround((p + 1) * std::sin(d * radians)));
        }
    return table;
}

double planeMax(const std::vector<double> &plane)
{
    double top = 0.0;
    for (double v : plane)
        if (std::isfinite(v) && v > top)
            top = v;
    return top;
}
