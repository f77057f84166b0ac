/* Reading and writing PNG files for the command-line tools. */
#ifndef PNGIO_H
#define PNGIO_H

#include <cstdint>
#include <string>
#include <vector>

/* Samples interleaved by pixel, rows top to bottom: channel k of pixel
 * (row i, column j) at (i * width + j) * channels + k. channels: 1 grey,
 * 2 grey + alpha, 3 RGB, 4 RGBA. depth: 8 or 16 bits per sample. */
struct PngImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    int depth = 0;
    std::vector<uint16_t> samples;
};

/* Reads any PNG: palette images become RGB(A), grey below 8 bits becomes
 * 8-bit, a transparency chunk becomes an alpha channel. On failure returns
 * false with the reason in `why` ("no such file", "not a PNG file", "too
 * large: ...", "out of memory", ...); the file name is left to the caller.
 * An image of more than maxPixels pixels (when > 0) is refused from its
 * header, before anything its size decides is allocated. */
bool readPng(const std::string &path, PngImage *img, std::string *why, long long maxPixels = 0);

/* Writes through a temporary file in the same folder, renamed into place
 * only once complete: a failed write leaves no partial file behind. */
bool writePng(const std::string &path, const PngImage &img, std::string *why);

#endif
