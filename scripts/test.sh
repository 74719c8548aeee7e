#!/bin/sh
# Builds and runs every test: a plain build, then one under AddressSanitizer
# and UndefinedBehaviorSanitizer; then the fuzz harnesses (clang) over their
# committed inputs and for PELTRIN_FUZZ_SECONDS (60) each (fuzz/run.sh).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELTRIN_SANITIZE=ON -DPELTRIN_TESTS=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

fuzz/run.sh "${PELTRIN_FUZZ_SECONDS:-60}"
