# Cross-build for the older logger board: ARM9 (ARMv5TE, AT91-class ARM926EJ-S),
# no FPU, Debian's armel ABI (EABI, soft float).
#
#   cmake -S . -B build-armel -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armel.cmake \
#         -DKOMAIN_GTEST_SOURCE=/usr/src/googletest
#
# scripts/cross-test.sh does this and runs the unit tests under qemu-arm.
#
# Things that differ from the x86 host and that the code must not assume:
# long and pointers are 32 bits, time_t is 32 bits (glibc without
# _TIME_BITS=64), plain char is unsigned, and an unaligned word access through
# a pointer into a packed record is not guaranteed to work (ARMv5 rotates the
# loaded word instead of faulting). Byte order is little-endian, as on x86.

set(CMAKE_SYSTEM_PROCESSOR armv5te)
set(KOMAIN_CROSS_TRIPLE arm-linux-gnueabi)

# Pin the architecture rather than rely on the compiler's default, so the
# build keeps matching the board if the distribution raises its baseline.
set(CMAKE_C_FLAGS_INIT "-march=armv5te -mtune=arm926ej-s -mfloat-abi=soft -marm")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te -mtune=arm926ej-s -mfloat-abi=soft -marm")

include(${CMAKE_CURRENT_LIST_DIR}/toolchain-arm-common.cmake)
