#!/bin/sh
# Builds and runs every test: a plain build, then one under AddressSanitizer
# and UndefinedBehaviorSanitizer, then the fuzz harnesses (clang) over their
# committed inputs and for PELTRIN_FUZZ_SECONDS (30) each (fuzz/run.sh), then
# the build and the tests for 32-bit and 64-bit ARM under qemu-user, then the
# build and the whole plain suite on Debian 13 (scripts/test-debian13.sh, in
# a root of it made while the steps before run), then the Debian
# packages (built, checked by lintian, and the amd64 ones installed,
# printed with and purged; tests/packages.sh), for amd64, arm64 and armhf,
# the apt repository of them (scripts/release.sh) and an install from it in
# a clean Debian 13 root (tests/repo_install.sh). Here compiler warnings are
# errors. Each step's time is logged.
set -eu
cd "$(dirname "$0")/.."
# With the tools of the Debian roots, the packages and the repository.
scripts/setup.sh mmdebstrap apt-utils debhelper lintian build-essential
jobs=$(nproc)
timed() {
    begin=$(date +%s)
    "$@"
    echo "== $(($(date +%s) - begin)) s: $*"
}

# The Debian 13 root (mostly download) is made beside the host's steps.
trixie_log=$(mktemp)
scripts/test-debian13.sh prepare >"$trixie_log" 2>&1 &
trixie_prepare=$!

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON
timed cmake --build build -j "$jobs"
timed ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELTRIN_SANITIZE=ON -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON
timed cmake --build build-sanitize -j "$jobs"
timed env ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

timed fuzz/run.sh "${PELTRIN_FUZZ_SECONDS:-30}"

timed scripts/cross.sh armhf
timed scripts/cross.sh arm64

# The whole suite on Debian 13, never beside the host's (both use loopback
# ports and network namespaces).
wait "$trixie_prepare" || { cat "$trixie_log"; echo "test: the Debian 13 root could not be made" >&2; exit 1; }
cat "$trixie_log"
timed scripts/test-debian13.sh test

# After ctest, never beside it: the install test puts the driver into the
# system's filter and PPD folders for a while.
# The .debs are kept for the repository below.
rm -rf packages
PACKAGES_OUT=packages/bookworm timed tests/packages.sh build armhf arm64

# The Debian 13 packages, tested the same way in the Debian 13 root that
# scripts/test-debian13.sh leaves (the tree in /src, built in /build), are
# kept for the repository; release.sh builds no release it is given.
trixie_root=${PELTRIN_TRIXIE_ROOT:-/var/tmp/peltrin-trixie}
timed scripts/in-root.sh "$trixie_root" sh -c \
    'cd /src && rm -rf /packages && PACKAGES_OUT=/packages tests/packages.sh /build armhf arm64'
rm -rf packages/trixie && cp -r "$trixie_root/packages" packages/trixie
timed scripts/release.sh packages/repo --debs bookworm packages/bookworm --debs trixie packages/trixie
timed tests/repo_install.sh packages/repo
