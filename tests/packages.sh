#!/bin/sh
# The Debian packages: built from a copy of the tree (for this machine and,
# cross-built, for each ARCH given; scripts/build-debs.sh), checked by lintian,
# unpacked and checked (filter modes, every PPD, a sample job's bytes against
# BUILD's filter), then installed, printed through a CUPS scheduler of its
# own that uses the system's filter folder, and purged again; the machine is
# left as it was found (checked against a file list of /usr and /etc).
#
#   tests/packages.sh BUILD [ARCH...]    (BUILD: a build folder of the same tree)
#
# With PACKAGES_OUT=DIR the .debs are kept in DIR (for scripts/release.sh).
set -eu
export LC_ALL=C
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shift
[ "$(id -u)" -eq 0 ] || { echo "packages: FAIL: installing packages needs root"; exit 1; }
"$src/scripts/setup.sh" debhelper lintian
work=$(mktemp -d)
chmod 755 "$work" # the scheduler's filters run as lp
cupsd=""
installed=""
packages="printer-driver-peltrin peltrin-tools peltrin-printer-app"
cleanup() {
    [ -z "$cupsd" ] || { kill "$cupsd"; wait "$cupsd" || true; }
    [ -z "$installed" ] || apt-get purge -y -qq -o DPkg::Lock::Timeout=300 $packages >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM
fail() { echo "packages: $*" >&2; exit 1; }
start=$(date +%s)
step() { echo "== packages: $* ($(($(date +%s) - start)) s)"; }

step "building the packages"
"$src/scripts/build-debs.sh" "$work" "$@" || fail "the package build failed"
[ -z "${PACKAGES_OUT:-}" ] || { mkdir -p "$PACKAGES_OUT" && cp "$work"/*.deb "$PACKAGES_OUT"/; }
arch=$(dpkg --print-architecture)
driver=$(echo "$work"/printer-driver-peltrin_*_"$arch".deb)
tools=$(echo "$work"/peltrin-tools_*_"$arch".deb)
app=$(echo "$work"/peltrin-printer-app_*_"$arch".deb)

step "lintian"
lintian --fail-on error,warning --display-info "$work"/*.changes

step "the packages' contents"
dpkg-deb -c "$driver" >"$work/contents"
for f in rastertoPeltrin pdftoPeltrin; do
    grep -q "^-rwxr-xr-x root/root .* ./usr/lib/cups/filter/$f\$" "$work/contents" ||
        fail "$f is not a root-owned 0755 file in /usr/lib/cups/filter"
done
dpkg -x "$driver" "$work/root"
dpkg -x "$tools" "$work/root"
dpkg -x "$app" "$work/root"
version=$(dpkg-deb -f "$driver" Version)
version=${version%%~deb*}
for p in usr/lib/cups/filter/rastertoPeltrin usr/lib/cups/filter/pdftoPeltrin usr/bin/peltrin-preview \
    usr/bin/peltrin-printer-app; do
    "$work/root/$p" --version | grep -qx "\(${p##*/} \)\?$version" || fail "$p --version is not $version"
done
ppds=$(ls "$work"/root/usr/share/ppd/peltrin/*.ppd | wc -l)
[ "$ppds" -eq 65 ] || fail "$ppds PPDs instead of 65"
cupstestppd -q -R "$work/root" "$work"/root/usr/share/ppd/peltrin/*.ppd || fail "cupstestppd failed"
job() { PPD=$1 "$2" 1 user title 1 "PageCut=2 LogoPosition=1" <"$src/samples/receipt.ras" 2>&1; }
job "$work/root/usr/share/ppd/peltrin/peltrin-030.ppd" "$work/root/usr/lib/cups/filter/rastertoPeltrin" >"$work/a"
job "$build/ppds/peltrin-030.ppd" "$build/rastertoPeltrin" >"$work/b"
cmp "$work/a" "$work/b" || fail "the packaged filter prints other bytes than $build/rastertoPeltrin"

step "installing, printing a PDF receipt, purging"
for p in $packages; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ] ||
        { echo "packages: $p is installed already: no install test"; exit 0; }
done
[ ! -e /usr/lib/cups/filter/rastertoPeltrin ] ||
    { echo "packages: a rastertoPeltrin is installed already: no install test"; exit 0; }
find /usr /etc -xdev | sort >"$work/before"
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 --no-install-recommends "$driver" "$tools" "$app" \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt could not install the packages"; }
w=$work/cups
mkdir -p "$w/etc"
cat >"$w/etc/cups-files.conf" <<END
ServerRoot $w/etc
RequestRoot $w/spool
CacheDir $w/cache
StateDir $w/run
ErrorLog $w/error_log
AccessLog $w/access_log
PageLog $w/page_log
Printcap $w/printcap
FileDevice Yes
END
host=127.0.0.1:$((20000 + $$ % 20000))
cat >"$w/etc/cupsd.conf" <<END
Listen $host
Browsing No
WebInterface No
LogLevel debug
DefaultPolicy open
<Policy open>
  <Limit All>
    Order allow,deny
    Allow 127.0.0.1
  </Limit>
</Policy>
END
cupsd -f -c "$w/etc/cupsd.conf" -s "$w/etc/cups-files.conf" &
cupsd=$!
wait_for() { # seconds, command...
    t=$(($1 * 10))
    shift
    until "$@" >/dev/null 2>&1; do
        t=$((t - 1))
        [ "$t" -gt 0 ] || return 1
        sleep 0.1
    done
}
scheduler_up() { lpstat -h "$host" -r | grep -qx 'scheduler is running'; }
wait_for 20 scheduler_up || fail "the scheduler did not start"
lpinfo -h "$host" -m 2>"$work/lpinfo.err" | grep -o '^[^ ]*peltrin/peltrin-[0-9]*\.ppd' >"$work/drivers" || true
[ "$(wc -l <"$work/drivers")" -eq 65 ] ||
    { cat "$work/lpinfo.err"; fail "lpinfo -m lists $(wc -l <"$work/drivers") Peltrin drivers, not 65"; }
lpadmin -h "$host" -p receipt -E -v "file:$w/receipt.bin" -m "$(grep 'peltrin-030' "$work/drivers")"
lp -h "$host" -d receipt -o PageCut=2 "$src/samples/receipt.pdf" >/dev/null
queue_empty() { [ -z "$(lpstat -h "$host" -o receipt)" ]; }
wait_for 60 queue_empty || { tail -30 "$w/error_log"; fail "the job did not print"; }
peltrin-preview --dump "$w/receipt.bin" | grep -q -E 'GS v 0|compressed band|GS \( L 112' ||
    { tail -30 "$w/error_log"; fail "the receipt holds no raster image"; }
[ "$(HOME=$work peltrin-printer-app drivers 2>/dev/null | grep -c '^peltrin_')" -eq 65 ] &&
    [ -f /lib/systemd/system/peltrin-printer-app.service ] || fail "the printer application is not installed whole"
kill "$cupsd"
wait "$cupsd" || true
cupsd=""
apt-get purge -y -qq -o DPkg::Lock::Timeout=300 $packages >/dev/null
installed=""
find /usr /etc -xdev | sort >"$work/after"
diff "$work/before" "$work/after" || fail "purging left the files above behind or took them away"
step "done"
