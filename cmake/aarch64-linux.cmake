# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu: the
# stand-in host, the modules and module_driver, which qemu-aarch64 runs here
# against the cross toolchain's libraries (scripts/test-arm64.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(AARCH64_TRIPLE aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${AARCH64_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${AARCH64_TRIPLE}-g++)

set(AARCH64_SYSROOT /usr/${AARCH64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The dynamic loader and libraries are the cross toolchain's.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${AARCH64_SYSROOT})
