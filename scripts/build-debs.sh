#!/bin/sh
# Builds the Debian packages from a copy of the tree into OUT: for this
# machine and, cross-built, for each ARCH given (its libraries installed by
# scripts/cross.sh). The version is the changelog's with ~debN appended, N
# being the Debian release built on (1.4.8~deb12, 1.4.8~deb13), so that one
# repository holds a build for each release and an upgrade of the release
# brings its build (its changelog entry dated a second after the last one,
# which keeps builds reproducible). A compiler warning fails the build.
#
#   scripts/build-debs.sh OUT [ARCH...]
set -eu
export LC_ALL=C
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
"$src/scripts/setup.sh" debhelper build-essential
for arch in "$@"; do CROSS_SETUP_ONLY=1 "$src/scripts/cross.sh" "$arch"; done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
# The files git knows or would add (uncommitted changes too), not the build folders.
# (A copy with no git, as in a Debian root, is taken whole.)
if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -x -C "$work/src"
else
    cp -a "$src/." "$work/src"
fi
release=$(. /etc/os-release && echo "${VERSION_ID%%.*}")
version=$(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Version)~deb$release
{
    printf 'peltrin (%s) %s; urgency=medium\n\n  * Built for Debian %s.\n\n' \
        "$version" "$(. /etc/os-release && echo "$VERSION_CODENAME")" "$release"
    printf ' -- %s  %s\n\n' "$(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Maintainer)" \
        "$(date -R -u -d "@$(($(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Timestamp) + 1))")"
    cat "$work/src/debian/changelog"
} >"$work/changelog" && mv "$work/changelog" "$work/src/debian/changelog"
for arch in "" "$@"; do
    (cd "$work/src" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" \
        dpkg-buildpackage -us -uc -b ${arch:+-a "$arch"} -P${arch:+cross,}nocheck) \
        >>"$work/build.log" 2>&1 || { tail -40 "$work/build.log"; echo "build-debs: the package build (${arch:-native}) failed" >&2; exit 1; }
done
if grep -E ': warning: ' "$work/build.log" | grep -v '^dpkg-'; then
    echo "build-debs: the package build has compiler warnings" >&2
    exit 1
fi
cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
