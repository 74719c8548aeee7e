#!/bin/sh
# Builds and runs every test: a plain build, then one under AddressSanitizer
# and UndefinedBehaviorSanitizer, then the fuzz harnesses (clang) over their
# committed inputs and for PELTRIN_FUZZ_SECONDS (60) each (fuzz/run.sh), then
# the build and the tests for 32-bit and 64-bit ARM under qemu-user, then the Debian
# packages (built, checked by lintian, and the amd64 ones installed,
# printed with and purged; tests/packages.sh), for amd64, arm64 and armhf,
# the apt repository of them (scripts/release.sh) and an install from it in
# a clean Debian 13 root (tests/repo_install.sh). Here compiler warnings are
# errors. Each step's time is logged.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
timed() {
    begin=$(date +%s)
    "$@"
    echo "== $(($(date +%s) - begin)) s: $*"
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON
timed cmake --build build -j "$jobs"
timed ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELTRIN_SANITIZE=ON -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON
timed cmake --build build-sanitize -j "$jobs"
timed env ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

timed fuzz/run.sh "${PELTRIN_FUZZ_SECONDS:-60}"

timed scripts/cross.sh armhf
timed scripts/cross.sh arm64

# After ctest, never beside it: the install test puts the driver into the
# system's filter and PPD folders for a while.
# The .debs are kept for the repository below.
rm -rf packages
PACKAGES_OUT=packages/bookworm timed tests/packages.sh build armhf arm64

# The Debian 13 packages: where the suite runs in the Debian 13 root (its
# tree in /src, built in /src/build), the same test keeps them, e.g.
#   timed scripts/in-root.sh ROOT sh -c 'cd /src && PACKAGES_OUT=packages/trixie tests/packages.sh build armhf arm64'
# and release.sh takes them with --debs trixie; without them it builds them
# in a root of its own.
timed scripts/release.sh packages/repo --debs bookworm packages/bookworm \
    $([ ! -d packages/trixie ] || echo --debs trixie packages/trixie)
timed tests/repo_install.sh packages/repo
