# The part of the ARM toolchain files that both board generations share.
# The including file sets KOMAIN_CROSS_TRIPLE, the processor and the flags.

set(CMAKE_SYSTEM_NAME Linux)
set(KOMAIN_CROSS_SYSROOT /usr/${KOMAIN_CROSS_TRIPLE})

set(CMAKE_C_COMPILER ${KOMAIN_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KOMAIN_CROSS_TRIPLE}-g++)
set(CMAKE_STRIP ${KOMAIN_CROSS_TRIPLE}-strip CACHE FILEPATH "strip for the target")

# Libraries and headers come from the target's multiarch tree only; build
# tools (qemu, strip) from the host.
set(CMAKE_FIND_ROOT_PATH ${KOMAIN_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Target programs run on this machine through user-mode emulation: ctest and
# GoogleTest's test discovery use this, and so does scripts/cross-test.sh.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${KOMAIN_CROSS_SYSROOT})
