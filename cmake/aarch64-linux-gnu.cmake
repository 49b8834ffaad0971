# SPDX-License-Identifier: Apache-2.0
# Cross build for the camera with Debian's AArch64 toolchain; arm64 -dev packages come
# from multiarch (/usr/lib/aarch64-linux-gnu, headers shared under /usr/include).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr/lib/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Build-time tools built for the camera (the documentation generator) run under emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)

# The Cortex-A53 erratum 843419 fixed by rewriting the ADRP of each affected sequence as
# an ADR, never by a branch to a veneer: a veneer island costs a 4 KiB page of padding.
# An ADR reaches 1 MiB either way, and scripts/test keeps the program under 256 KiB, so
# every sequence can be rewritten.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--fix-cortex-a53-843419=adr")
