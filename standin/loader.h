/* Loading a module by file name, as a host does. */
#ifndef STANDIN_LOADER_H
#define STANDIN_LOADER_H

#include "standin.h"

/* The module's mexFunction, or null (with a reason in why) if the file
 * cannot be loaded or exports no mexFunction. The module stays loaded. */
MexFunction standinLoadModule(const char *path, char *why, int whySize);

#endif
