#!/bin/sh
# The build (warnings as errors) and the whole plain suite on Debian 13, in
# a root of it (scripts/debian-root.sh, cached) at PELTRIN_TRIXIE_ROOT
# (/var/tmp/peltrin-trixie): the tree's files copied into /src, the build in
# /build, with GCC and then with clang (built only: the same code). Each
# step's time is logged.
#
#   scripts/test-debian13.sh [prepare|test]   both by default
#
# prepare makes the root, copies the tree in and installs the cross
# compilers and the armhf and arm64 libraries there (for its packages); it is
# mostly download, and scripts/test.sh runs it beside the host's tests.
set -eu
cd "$(dirname "$0")/.."
release=trixie
root=${PELTRIN_TRIXIE_ROOT:-/var/tmp/peltrin-$release}
timed() {
    begin=$(date +%s)
    "$@"
    echo "== $(($(date +%s) - begin)) s: $release: $*"
}
run() { scripts/in-root.sh "$root" sh -c "cd /src && $*"; }
stage=${1:-all}
if [ "$stage" != test ]; then
    timed scripts/debian-root.sh "$release" "$root" full
    mkdir -p "$root/src"
    git ls-files -z | tar --null -T - --ignore-failed-read -cf - | tar -xf - -C "$root/src"
    timed run CROSS_SETUP_ONLY=1 scripts/cross.sh armhf '>/dev/null' '&&' \
        CROSS_SETUP_ONLY=1 scripts/cross.sh arm64 '>/dev/null'
fi
if [ "$stage" != prepare ]; then
    timed run cmake -S . -B /build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON \
        '>/dev/null' '&&' cmake --build /build -j 2
    timed run ctest --test-dir /build --output-on-failure -j 2
    timed run CC=clang CXX=clang++ cmake -S . -B /build-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON \
        -DPELTRIN_WERROR=ON '>/dev/null' '&&' cmake --build /build-clang -j 2
fi
