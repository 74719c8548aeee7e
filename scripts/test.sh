#!/bin/sh
# Builds and runs every test: a plain build, then one under AddressSanitizer
# and UndefinedBehaviorSanitizer, then the Debian packages (built, checked
# by lintian, installed, printed with and purged; tests/packages.sh). Here
# compiler warnings are errors.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELTRIN_SANITIZE=ON -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# After ctest, never beside it: the install test puts the driver into the
# system's filter and PPD folders for a while.
tests/packages.sh build
