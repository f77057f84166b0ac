# Cross build for 64-bit ARM Linux: the stand-in host, the modules,
# module_driver and the kernel tests, which qemu-aarch64 runs here against
# the cross toolchain's libraries (scripts/test-arm64.sh). GCC (Debian's g++-aarch64-linux-gnu) by
# default; -DAARCH64_COMPILER=clang builds with Clang, the compiler family
# of Apple silicon, against the same GCC libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(AARCH64_TRIPLE aarch64-linux-gnu)

if(AARCH64_COMPILER STREQUAL "clang")
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET ${AARCH64_TRIPLE})
  set(CMAKE_CXX_COMPILER_TARGET ${AARCH64_TRIPLE})
else()
  set(CMAKE_C_COMPILER ${AARCH64_TRIPLE}-gcc)
  set(CMAKE_CXX_COMPILER ${AARCH64_TRIPLE}-g++)
endif()

set(AARCH64_SYSROOT /usr/${AARCH64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# CTest runs the tests through it (scripts/test-arm64.sh); the dynamic
# loader and libraries are the cross toolchain's.
find_program(QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64} -L ${AARCH64_SYSROOT})
endif()
