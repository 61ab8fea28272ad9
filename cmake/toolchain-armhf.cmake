# Cross-build for the newer logger board: i.MX (ARMv7-A, Cortex-A class),
# VFP unit, Debian's armhf ABI (EABI, hard float, Thumb-2).
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake \
#         -DKOMAIN_GTEST_SOURCE=/usr/src/googletest
#
# scripts/cross-test.sh does this and runs the unit tests under qemu-arm.
#
# Things that differ from the x86 host and that the code must not assume:
# long and pointers are 32 bits, time_t is 32 bits (glibc without
# _TIME_BITS=64), plain char is unsigned, and while ARMv7 allows a plain
# unaligned load or store, the double-word and multiple-register forms the
# compiler picks for aligned data fault on an unaligned address (a pointer
# into a packed record). Byte order is little-endian, as on x86.

set(CMAKE_SYSTEM_PROCESSOR armv7-a)
set(KOMAIN_CROSS_TRIPLE arm-linux-gnueabihf)

# Pin the architecture rather than rely on the compiler's default, so the
# build keeps matching the board if the distribution raises its baseline.
set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -mthumb")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -mthumb")

include(${CMAKE_CURRENT_LIST_DIR}/toolchain-arm-common.cmake)
