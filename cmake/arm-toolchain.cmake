# What the ARM toolchain files share: a Debian host with the cross compiler
# for PELTRIN_TRIPLET, qemu-user and the target's libraries installed through
# multiarch (see scripts/cross.sh).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER   ${PELTRIN_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PELTRIN_TRIPLET}-g++)
# Multiarch: the target's libraries and their CMake packages live under
# /usr/lib/TRIPLET; the headers are shared with the host.
set(CMAKE_LIBRARY_ARCHITECTURE ${PELTRIN_TRIPLET})

# Programs (ppdc, qemu) are the host's; libraries and packages are the
# target's, and so are the pkg-config files (PAPPL's).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE ${PELTRIN_TRIPLET}-pkg-config)

# GCC's notes that ARM's argument passing of some types changed (GCC 7.1 on
# 32 bits, GCC 9 and 13 on 64) concern only code built by older compilers;
# nothing here mixes with that.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")

# ctest and gtest_discover_tests run the target's binaries through
# qemu-user. The target's libraries pull in the multiarch libc6 of the
# target, whose loader is PELTRIN_LOADER; the programs must run with that
# libc. Pointing qemu at the cross toolchain's copy (-L /usr/TRIPLET) mixes
# its loader with the multiarch libc.so.6 when the two versions differ, and
# every fork() then crashes in the child.
if(EXISTS ${PELTRIN_LOADER})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELTRIN_QEMU})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELTRIN_QEMU};-L;/usr/${PELTRIN_TRIPLET})
endif()
