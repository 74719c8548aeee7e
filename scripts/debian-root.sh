#!/bin/sh
# Makes a Debian root of RELEASE (trixie, bookworm) at DIR, from the mirror
# the host's apt uses, with mmdebstrap:
#   base  just enough for apt (a clean system to install our packages into);
#   full  base, then what the build and the tests need, installed by the
#         tree's own scripts/setup.sh run inside it.
# Each is kept as a tarball in /var/cache/peltrin (PELTRIN_ROOT_CACHE), named
# by the release, the variant and a hash of what goes into it (the mirror and,
# for full, scripts/setup.sh), and made again when older than 7 days. DIR is
# unpacked from it, replacing what was there.
#
#   scripts/debian-root.sh RELEASE DIR [base|full]
set -eu
[ $# -ge 2 ] || { echo "usage: $0 RELEASE DIR [base|full]" >&2; exit 2; }
release=$1 dir=$2 variant=${3:-base}
case $variant in base|full) ;; *) echo "debian-root: variant base or full, not $variant" >&2; exit 2 ;; esac
here=$(cd "$(dirname "$0")" && pwd)
cache=${PELTRIN_ROOT_CACHE:-/var/cache/peltrin}
mkdir -p "$cache"

# The first URIs of the host's Debian sources (deb822 or one-line form).
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb  *\(\[[^]]*\]  *\)\{0,1\}\([^ ]*\) .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n1)
[ -n "$mirror" ] || { echo "debian-root: no Debian mirror in the host's apt sources" >&2; exit 1; }
mirror=${mirror%% *}

command -v mmdebstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap

key() { # VARIANT: the name of its tarball
    if [ "$1" = base ]; then
        sum=$(echo "$release $mirror" | sha256sum | cut -c1-12)
    else
        sum=$( (echo "$release $mirror"; cat "$here/setup.sh") | sha256sum | cut -c1-12)
    fi
    echo "$cache/root-$release-$1-$sum.tar"
}

# DIR goes, unless something is still mounted inside it (a /dev bind mount
# would take the host's devices with it).
clear_dir() {
    if [ -e "$1" ]; then
        if findmnt -rn -o TARGET | grep -q "^$(realpath "$1")\(/\|$\)"; then
            echo "debian-root: something is mounted under $1; not removing it" >&2
            exit 1
        fi
        rm -rf --one-file-system "$1"
    fi
}

fresh() { [ -s "$1" ] && [ -n "$(find "$1" -mtime -7)" ]; }

make_base() { # TARBALL
    mmdebstrap --mode=root --format=tar --variant=apt --quiet "$release" "$1.part" \
        "deb $mirror $release main" "deb $mirror $release-updates main"
    mv "$1.part" "$1"
}

make_full() { # TARBALL
    base=$(key base)
    exec 8>"$base.lock"
    flock 8
    fresh "$base" || make_base "$base"
    flock -u 8
    work=$1.dir
    clear_dir "$work"
    mkdir -p "$work"
    tar --numeric-owner -xpf "$base" -C "$work"
    cp "$here/setup.sh" "$work/root/setup.sh"
    # Nothing starts services in a root (cups' postinst would start cupsd).
    printf '#!/bin/sh\nexit 101\n' > "$work/usr/sbin/policy-rc.d"
    chmod 0755 "$work/usr/sbin/policy-rc.d"
    "$here/in-root.sh" "$work" sh -c 'sh /root/setup.sh && apt-get clean && rm -rf /var/lib/apt/lists/* /root/setup.sh'
    tar --numeric-owner -C "$work" -cf "$1.part" .
    clear_dir "$work"
    mv "$1.part" "$1"
}

tarball=$(key "$variant")
# One maker of a tarball at a time; the others wait for it and reuse it.
exec 9>"$tarball.lock"
flock 9
if ! fresh "$tarball"; then
    begin=$(date +%s)
    rm -f "$cache/root-$release-$variant-"*.tar # older hashes and ages
    "make_$variant" "$tarball"
    echo "debian-root: made $tarball in $(($(date +%s) - begin)) s" >&2
fi
clear_dir "$dir"
mkdir -p "$dir"
tar --numeric-owner -xpf "$tarball" -C "$dir"
flock -u 9
