# Cross build for 32-bit ARM hard-float (the shipped target) on a Debian
# host with crossbuild-essential-armhf, qemu-user and the armhf libraries
# installed through multiarch (see scripts/cross.sh).
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER   arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Multiarch: the armhf libraries and their CMake packages live under
# /usr/lib/arm-linux-gnueabihf; the headers are shared with the host.
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

# Programs (ppdc, qemu) are the host's; libraries and packages are armhf,
# and so are the pkg-config files (PAPPL's).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE arm-linux-gnueabihf-pkg-config)

# GCC's notes that the ARM argument passing of some types changed in GCC 7.1
# concern only code built by GCC 6 and older; nothing here mixes with that.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")

# ctest and gtest_discover_tests run the armhf binaries through qemu-user.
# The armhf libraries pull in the multiarch libc6:armhf, whose loader is
# /lib/ld-linux-armhf.so.3; the programs must run with that libc. Pointing
# qemu at the cross toolchain's copy (-L /usr/arm-linux-gnueabihf) mixes its
# loader with the multiarch libc.so.6 when the two versions differ, and
# every fork() then crashes in the child.
if(EXISTS /lib/ld-linux-armhf.so.3)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/usr/arm-linux-gnueabihf)
endif()
