#!/bin/sh
# The build (warnings as errors) and the whole plain suite on Debian 13, in
# a root of it (scripts/debian-root.sh, cached) at PELTRIN_TRIXIE_ROOT
# (/var/tmp/peltrin-trixie): the tree's files copied into /src, the build in
# /build, with GCC and then with clang (built only: the same code). Each
# step's time is logged.
#
#   scripts/test-debian13.sh [RELEASE]      trixie by default
set -eu
cd "$(dirname "$0")/.."
release=${1:-trixie}
root=${PELTRIN_TRIXIE_ROOT:-/var/tmp/peltrin-$release}
timed() {
    begin=$(date +%s)
    "$@"
    echo "== $(($(date +%s) - begin)) s: $release: $*"
}
timed scripts/debian-root.sh "$release" "$root" full
mkdir -p "$root/src"
git ls-files -z | tar --null -T - --ignore-failed-read -cf - | tar -xf - -C "$root/src"
run() { scripts/in-root.sh "$root" sh -c "cd /src && $*"; }
timed run cmake -S . -B /build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON -DPELTRIN_WERROR=ON '>/dev/null' \
    '&&' cmake --build /build -j 2
timed run ctest --test-dir /build --output-on-failure -j 2
timed run CC=clang CXX=clang++ cmake -S . -B /build-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=ON \
    -DPELTRIN_WERROR=ON '>/dev/null' '&&' cmake --build /build-clang -j 2
