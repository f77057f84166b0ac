/* Literal, slow transcriptions of the algorithms: the definition that the
 * modules' results must match bit for bit. Kept deliberately naive. */
#ifndef REFERENCE_H
#define REFERENCE_H

#include <vector>

/* Double to int as the modules convert: truncation toward zero; NaN and
 * values outside int range give INT_MIN. */
int referenceInt(double v);

/* Row-major M x N image smoothed in place; one weight map serves both passes. */
void referenceSmooth(std::vector<double> &image, int M, int N, const std::vector<double> &weights, double lambda,
                     int iterations, double attenuation);

/* The path walk over a row-major M x N image, table row-major 80 x 722,
 * half-length a. Offsets and indices are 64-bit here, so any table value is
 * defined: samples outside the image are skipped. A pixel is interior when it
 * is at least rowMargin rows and colMargin columns from every edge (a + 1
 * each when negative). */
void referenceWalk(const std::vector<double> &image, int M, int N, const std::vector<int> &directionMap,
                   const std::vector<int> &table, int a, std::vector<double> &netChange,
                   std::vector<double> &totalVariation, long long rowMargin = -1, long long colMargin = -1);

#endif
