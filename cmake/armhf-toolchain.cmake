# Cross build for 32-bit ARM hard-float on a Debian host (scripts/cross.sh armhf).
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(PELTRIN_TRIPLET arm-linux-gnueabihf)
set(PELTRIN_LOADER /lib/ld-linux-armhf.so.3)
set(PELTRIN_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/arm-toolchain.cmake)
