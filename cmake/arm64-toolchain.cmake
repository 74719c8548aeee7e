# Cross build for 64-bit ARM on a Debian host (scripts/cross.sh arm64).
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PELTRIN_TRIPLET aarch64-linux-gnu)
set(PELTRIN_LOADER /lib/ld-linux-aarch64.so.1)
set(PELTRIN_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/arm-toolchain.cmake)
