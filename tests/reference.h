/* Literal, slow transcriptions of the algorithms: the definition that the
 * modules' results must match bit for bit. Kept deliberately naive. */
#ifndef REFERENCE_H
#define REFERENCE_H

#include <vector>

/* Row-major M x N image smoothed in place; one weight map serves both passes. */
void referenceSmooth(std::vector<double> &image, int M, int N, const std::vector<double> &weights, double lambda,
                     int iterations, double attenuation);

#endif
