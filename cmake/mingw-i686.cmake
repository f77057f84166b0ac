# Cross build for 32-bit Windows (.mexw32) with MinGW-w64; cmake/flags.txt adds
# -msse2 -mfpmath=sse for 32-bit x86.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
