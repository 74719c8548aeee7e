#!/bin/sh
# Builds the filter and its tests for 32-bit ARM hard-float (the shipped
# target) and runs the tests under qemu-user.
#
#   scripts/cross-armhf.sh [ctest arguments...]
#
# Part of scripts/test.sh (CI). On first use it adds the armhf
# architecture to dpkg and installs the cross compiler, qemu-user and the
# armhf libraries; keeping the armhf and host versions in step can upgrade
# host packages (nothing is removed). The build folder is build-armhf
# (BUILD_DIR overrides it).
#
# Tests that run the filter executable start an armhf program from an armhf
# program. When the kernel has no qemu-arm handler registered (containers),
# the tests run in a private user and mount namespace with its own
# binfmt_misc instance that hands ARM executables to qemu-arm; the host's
# handlers are not touched. That needs Linux 6.7 or later.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-armhf}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
apt_install() {
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-remove --no-install-recommends "$@"
}
installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# 1. Tools and libraries.
scripts/setup.sh
need=""
for p in crossbuild-essential-armhf qemu-user; do
    installed "$p" || need="$need $p"
done
if [ -n "$need" ]; then
    $SUDO apt-get update -qq
    apt_install $need
fi
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    $SUDO dpkg --add-architecture armhf
    $SUDO apt-get update -qq
fi
need=""
for p in libcups2-dev:armhf libcupsimage2-dev:armhf libgtest-dev:armhf libpng-dev:armhf libfreetype-dev:armhf \
    libpappl-dev:armhf pkgconf:armhf; do
    installed "$p" || need="$need $p"
done
if [ -n "$need" ]; then
    $SUDO apt-get update -qq
    apt_install $need
fi

# 2. Build.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_WERROR=ON
cmake --build "$build" -j "$(nproc)"
file "$build/rastertoPeltrin"

# 3. Tests under qemu-user.
# The programs run with the multiarch libc6:armhf (see the toolchain file).
unset QEMU_LD_PREFIX
# The printer application is built for armhf but its test does not run here
# (nor the document corpus, which prints through it too):
# PAPPL 1.3's command-line client (status, add, submit) ends with SIGSEGV
# under qemu-user as soon as a server answers it (the armhf server itself
# runs and answers; an amd64 client talks to it). The security and
# hostile-document tests use that client too. qemu-user keeps its
# programs' RLIMIT_AS to itself, so the renderer's address-space limit is
# tested on the host only.
ctest_cmd="ctest --test-dir $build --output-on-failure -j $(nproc)"
ctest_cmd="$ctest_cmd -E ^(PrinterApplication|PrinterApplicationSecurity|HostileDocuments|DocumentCorpus|PdfDocument.AddressSpaceLimitEndsTheJob)\$ $*"
binfmt=/proc/sys/fs/binfmt_misc
if [ -e "$binfmt/qemu-arm" ] && grep -q '^enabled' "$binfmt/qemu-arm"; then
    exec $ctest_cmd
fi

# No handler: register one inside a namespace of our own, from the entry
# that qemu-user-binfmt ships, and run ctest there.
entry=/usr/share/binfmts/qemu-arm
if [ ! -r "$entry" ]; then
    installed qemu-user-binfmt || apt_install qemu-user-binfmt
fi
field() { sed -n "s/^$1 //p" "$entry"; }
rule=":qemu-arm:M:$(field offset):$(field magic):$(field mask):$(command -v qemu-arm):"
mount_binfmt='mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc'
if ! unshare --user --map-root-user --mount sh -c "$mount_binfmt" 2>/dev/null; then
    echo "cross-armhf: no way to register qemu-arm (needs Linux 6.7 or a host handler);" \
        "tests that run the filter executable will fail" >&2
    exec $ctest_cmd
fi
exec unshare --user --map-root-user --mount sh -c '
    set -e
    '"$mount_binfmt"'
    printf "%s" "$1" > /proc/sys/fs/binfmt_misc/register
    shift
    exec "$@"' sh "$rule" $ctest_cmd
