/* A successful call's outputs against the literal reference run on the
 * call's own inputs, read as the module reads them (first values only,
 * doubles converted to int by truncation). For the GoogleTest suites and the
 * fuzz targets. */
#ifndef DRIVER_HOSTREF_H
#define DRIVER_HOSTREF_H

#include "cases.h"

#include <string>

/* Empty when every output has the image's dimensions and the reference's
 * bits (with anyNan, a NaN matches any NaN); otherwise what differs. */
std::string referenceMismatch(const std::string &module, const CallResult &r, bool anyNan = false);

#endif
