#include "loader.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>

MexFunction standinLoadModule(const char *path, char *why, int whySize)
{
    HMODULE h = LoadLibraryA(path);
    if (!h) {
        snprintf(why, static_cast<size_t>(whySize), "cannot load %s (error %lu)", path, GetLastError());
        return nullptr;
    }
    FARPROC f = GetProcAddress(h, "mexFunction");
    if (!f) {
        snprintf(why, static_cast<size_t>(whySize), "%s exports no mexFunction", path);
        return nullptr;
    }
    return reinterpret_cast<MexFunction>(reinterpret_cast<void *>(f));
}

#else
#include <dlfcn.h>

MexFunction standinLoadModule(const char *path, char *why, int whySize)
{
    void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        snprintf(why, static_cast<size_t>(whySize), "cannot load %s: %s", path, dlerror());
        return nullptr;
    }
    void *f = dlsym(h, "mexFunction");
    if (!f) {
        snprintf(why, static_cast<size_t>(whySize), "%s exports no mexFunction", path);
        return nullptr;
    }
    return reinterpret_cast<MexFunction>(f);
}
#endif
