#!/bin/sh
# Runs CMD in the Debian root DIR (made by scripts/debian-root.sh) as root:
# proc, the host's /dev and /dev/pts, a shared-memory and a /tmp tmpfs of its
# own and the host's resolv.conf, all unmounted again, in reverse order, when
# CMD ends or the script is stopped.
#
#   scripts/in-root.sh DIR CMD...
set -eu
[ $# -ge 2 ] || { echo "usage: $0 DIR CMD..." >&2; exit 2; }
root=$(realpath "$1")
shift
[ -x "$root/bin/sh" ] || { echo "in-root: $root is no Debian root" >&2; exit 2; }

mounted=""
release() {
    for m in $mounted; do # the last mounted first
        umount "$m" 2>/dev/null || umount -l "$m" || echo "in-root: $m stays mounted" >&2
    done
    mounted=""
}
trap release EXIT
trap 'exit 130' INT TERM HUP
mountin() { # TARGET MOUNT-ARGUMENTS...
    target=$root/$1
    shift
    mountpoint -q "$target" && { echo "in-root: $target is mounted already" >&2; exit 1; }
    mount "$@" "$target"
    mounted="$target $mounted"
}

mountin proc -t proc proc
mountin dev --bind /dev
mountin dev/pts --bind /dev/pts
mountin dev/shm -t tmpfs -o mode=1777,nosuid,nodev shm # not the host's /dev/shm
mountin tmp -t tmpfs -o mode=1777,nosuid tmp
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

status=0
env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    chroot "$root" "$@" || status=$?
release
exit "$status"
