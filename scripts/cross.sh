#!/bin/sh
# Builds the filter and its tests for an ARM architecture, 32-bit hard-float
# (armhf, the older Raspberry Pi OS) or 64-bit (arm64, Raspberry Pi OS since
# it moved to 64 bits), and runs the tests under qemu-user.
#
#   scripts/cross.sh armhf|arm64 [ctest arguments...]
#
# Part of scripts/test.sh (CI). On first use it adds the architecture to dpkg
# and installs the cross compiler, qemu-user and the libraries for it;
# keeping their versions in step with the host's can upgrade host packages
# (nothing is removed). The build folder is build-ARCH (BUILD_DIR overrides
# it).
#
# Tests that run the filter executable start an ARM program from an ARM
# program. When the kernel has no qemu handler registered for the
# architecture (containers), the tests run in a private user and mount
# namespace with its own binfmt_misc instance that hands those executables to
# qemu; the host's handlers are not touched. That needs Linux 6.7 or later.
set -eu
cd "$(dirname "$0")/.."
arch=${1:?usage: scripts/cross.sh armhf|arm64 [ctest arguments...]}
shift
case $arch in
armhf) triplet=arm-linux-gnueabihf qemu=qemu-arm ;;
arm64) triplet=aarch64-linux-gnu qemu=qemu-aarch64 ;;
*) echo "cross: no such architecture: $arch (armhf or arm64)" >&2; exit 2 ;;
esac
build=${BUILD_DIR:-build-$arch}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
apt_install() {
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-remove --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "$@"
}
installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# 1. Tools and libraries (those the package build needs too, see debian/control).
scripts/setup.sh
need=""
for p in crossbuild-essential-$arch qemu-user; do
    installed "$p" || need="$need $p"
done
if [ -n "$need" ]; then
    $SUDO apt-get update -qq
    apt_install $need
fi
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
    $SUDO apt-get update -qq
fi
need=""
for p in libcups2-dev libcupsimage2-dev libgtest-dev libpng-dev libfreetype-dev libjpeg-dev libpam0g-dev \
    libpappl-dev pkgconf; do
    installed "$p:$arch" || need="$need $p:$arch"
done
if [ -n "$need" ]; then
    $SUDO apt-get update -qq
    apt_install $need
fi
[ "${CROSS_SETUP_ONLY:-}" = "" ] || exit 0

# 2. Build.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/$arch-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_WERROR=ON
cmake --build "$build" -j "$(nproc)"
file "$build/rastertoPeltrin"

# 3. Tests under qemu-user.
# The programs run with the multiarch libc6:ARCH (see the toolchain files).
unset QEMU_LD_PREFIX
# The printer application is built for ARM but its test does not run here
# (nor the document corpus, which prints through it too):
# PAPPL 1.3's command-line client (status, add, submit) ends with SIGSEGV
# under qemu-user as soon as a server answers it (the ARM server itself
# runs and answers; an amd64 client talks to it). The security and
# hostile-document tests use that client too. qemu-user keeps its
# programs' RLIMIT_AS to itself, so the renderer's address-space limit is
# tested on the host only.
ctest_cmd="ctest --test-dir $build --output-on-failure -j $(nproc)"
ctest_cmd="$ctest_cmd -E ^(PrinterApplication|PrinterApplicationSecurity|HostileDocuments|DocumentCorpus|PdfDocument.AddressSpaceLimitEndsTheJob)\$ $*"
binfmt=/proc/sys/fs/binfmt_misc
if [ -e "$binfmt/$qemu" ] && grep -q '^enabled' "$binfmt/$qemu"; then
    exec $ctest_cmd
fi

# No handler: register one inside a namespace of our own, from the entry
# that qemu-user-binfmt ships, and run ctest there.
entry=/usr/share/binfmts/$qemu
if [ ! -r "$entry" ]; then
    installed qemu-user-binfmt || apt_install qemu-user-binfmt
fi
field() { sed -n "s/^$1 //p" "$entry"; }
rule=":$qemu:M:$(field offset):$(field magic):$(field mask):$(command -v $qemu):"
mount_binfmt='mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc'
if ! unshare --user --map-root-user --mount sh -c "$mount_binfmt" 2>/dev/null; then
    echo "cross: no way to register $qemu (needs Linux 6.7 or a host handler);" \
        "tests that run the filter executable will fail" >&2
    exec $ctest_cmd
fi
# Every user id maps to itself (not only root, as with --map-root-user): the
# scheduler of the Spooler tests runs its helpers and filters as lp.
fifo=$(mktemp -u)
mkfifo "$fifo"
unshare --user --mount sh -c '
    read go <"$1"
    set -e
    '"$mount_binfmt"'
    printf "%s" "$2" > /proc/sys/fs/binfmt_misc/register
    shift 2
    exec "$@"' sh "$fifo" "$rule" $ctest_cmd &
pid=$!
t=200
while [ "$(readlink /proc/$pid/ns/user)" = "$(readlink /proc/$$/ns/user)" ] && [ $t -gt 0 ]; do
    sleep 0.05
    t=$((t - 1))
done
{ echo "0 0 4294967295" >/proc/$pid/uid_map && echo "0 0 4294967295" >/proc/$pid/gid_map; } ||
    { kill $pid; rm -f "$fifo"; echo "cross: mapping the user ids needs root" >&2; exit 1; }
echo go >"$fifo"
rm -f "$fifo"
status=0
wait $pid || status=$?
exit $status
