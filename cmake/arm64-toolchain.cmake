# Cross build for 64-bit ARM (arm64) on a Debian
# host with crossbuild-essential-arm64, qemu-user and the arm64 libraries
# installed through multiarch (see scripts/cross.sh arm64).
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER   aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch: the arm64 libraries and their CMake packages live under
# /usr/lib/aarch64-linux-gnu; the headers are shared with the host.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Programs (ppdc, qemu) are the host's; libraries and packages are arm64,
# and so are the pkg-config files (PAPPL's).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config)

# GCC's notes that the AArch64 argument passing of some types changed (GCC 9
# and 13) concern only code built by older compilers; nothing here mixes with
# that.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")

# ctest and gtest_discover_tests run the arm64 binaries through qemu-user.
# The arm64 libraries pull in the multiarch libc6:arm64, whose loader is
# /lib/ld-linux-aarch64.so.1; the programs must run with that libc. Pointing
# qemu at the cross toolchain's copy (-L /usr/aarch64-linux-gnu) mixes its
# loader with the multiarch libc.so.6 when the two versions differ, and
# every fork() then crashes in the child.
if(EXISTS /lib/ld-linux-aarch64.so.1)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64;-L;/usr/aarch64-linux-gnu)
endif()
