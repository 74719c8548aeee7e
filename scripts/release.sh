#!/bin/sh
# Makes the apt repository: every package for Debian 12 (bookworm) and 13
# (trixie), each for amd64, arm64 and armhf, in one folder OUT that is ready
# to publish as it is:
#   OUT/pool/main/p/peltrin/*.deb
#   OUT/dists/RELEASE/main/binary-ARCH/Packages(.gz), OUT/dists/RELEASE/Release
#   and, signed with KEYID (gpg), InRelease and Release.gpg beside it;
#   OUT/peltrin.asc, the public key, when signed.
# Without --key the repository is unsigned (for tests: apt's [trusted=yes]).
#
#   scripts/release.sh OUT [--key KEYID] [--debs RELEASE DIR]...
#
# --debs takes the .debs of RELEASE already built in DIR (tests/packages.sh
# keeps them with PACKAGES_OUT=DIR); a release without them is built here:
# bookworm on this machine when it is Debian 12, else (and trixie always) in
# a Debian root of that release (scripts/debian-root.sh, in-root.sh), with
# scripts/build-debs.sh.
set -eu
export LC_ALL=C
src=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 OUT [--key KEYID] [--debs RELEASE DIR]..." >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
key="" bookworm="" trixie=""
while [ $# -gt 0 ]; do
    case $1 in
    --key) key=$2; shift 2 ;;
    --debs)
        case $2 in bookworm | trixie) ;; *) echo "release: no release $2" >&2; exit 2 ;; esac
        eval "$2=\$(cd \"\$3\" && pwd)"; shift 3 ;;
    *) echo "release: unknown argument $1" >&2; exit 2 ;;
    esac
done
releases="bookworm trixie"
archs="amd64 arm64 armhf"
command -v apt-ftparchive >/dev/null || "$src/scripts/setup.sh" apt-utils
work=$(mktemp -d)
root=""
cleanup() { [ -z "$root" ] || rm -rf --one-file-system "$root"; rm -rf "$work"; }
trap cleanup EXIT
trap "exit 1" INT TERM

build() { # RELEASE: its .debs into $work/RELEASE
    mkdir -p "$work/$1"
    if [ "$1" = bookworm ] && [ "$(. /etc/os-release && echo "$VERSION_CODENAME")" = bookworm ]; then
        "$src/scripts/build-debs.sh" "$work/$1" arm64 armhf
        return
    fi
    root=$work/root-$1
    "$src/scripts/debian-root.sh" "$1" "$root" full
    mkdir "$root/src"
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -x -C "$root/src"
    "$src/scripts/in-root.sh" "$root" /src/scripts/build-debs.sh /debs arm64 armhf
    cp "$root"/debs/*.deb "$work/$1"/
    rm -rf --one-file-system "$root"
    root=""
}

for r in $releases; do
    eval "debs=\$$r"
    [ -n "$debs" ] || build "$r"
done
for r in $releases; do
    eval "debs=\$$r"
    [ -n "$debs" ] || debs=$work/$r
    for a in $archs; do
        for p in printer-driver-peltrin peltrin-tools peltrin-printer-app; do
            ls "$debs"/${p}_*~deb*_"$a".deb >/dev/null 2>&1 ||
                { echo "release: no $p for $r $a in $debs" >&2; exit 1; }
        done
    done
    mkdir -p "$out/pool/main/p/peltrin"
    cp "$debs"/*~deb*_*.deb "$out/pool/main/p/peltrin/"
done

# The package lists: each release lists the builds made on it (~deb12, ~deb13).
rm -rf "$out/dists"
cd "$out"
for r in $releases; do
    n=$([ "$r" = bookworm ] && echo 12 || echo 13)
    for a in $archs; do
        d=dists/$r/main/binary-$a
        mkdir -p "$d"
        apt-ftparchive packages pool | awk -v RS= -v ORS='\n\n' -v n="~deb$n" -v a="$a" \
            '$0 ~ ("\nVersion: [^\n]*" n "\n") && $0 ~ ("\nArchitecture: " a "\n")' >"$d/Packages"
        [ -s "$d/Packages" ] || { echo "release: nothing for $r $a" >&2; exit 1; }
        gzip -9n <"$d/Packages" >"$d/Packages.gz"
    done
    apt-ftparchive -o APT::FTPArchive::Release::Origin=Peltrin -o APT::FTPArchive::Release::Label=Peltrin \
        -o APT::FTPArchive::Release::Suite="$r" -o APT::FTPArchive::Release::Codename="$r" \
        -o APT::FTPArchive::Release::Architectures="$archs" -o APT::FTPArchive::Release::Components=main \
        release "dists/$r" >"$work/Release"
    mv "$work/Release" "dists/$r/Release"
    if [ -n "$key" ]; then
        rm -f "dists/$r/InRelease" "dists/$r/Release.gpg"
        gpg --batch --yes --local-user "$key" --clearsign -o "dists/$r/InRelease" "dists/$r/Release"
        gpg --batch --yes --local-user "$key" --armor --detach-sign -o "dists/$r/Release.gpg" "dists/$r/Release"
    fi
done
[ -z "$key" ] || gpg --batch --yes --armor --export "$key" >peltrin.asc
echo "release: $out: $(ls pool/main/p/peltrin | wc -l) packages"
