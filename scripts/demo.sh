#!/bin/sh
# Builds the filter and runs it on the bundled sample job, as CUPS would for
# a raster job: samples/receipt.ras on standard input, samples/peltrin-tp80.ppd
# as the PPD. The printer bytes go to out/receipt.bin and the filter's log to
# out/receipt.log, which is shown; peltrin-preview then lists the printer
# commands and draws the printout into out/receipt.png.
#
#   scripts/demo.sh                            the job with the options "PageCut=2"
#   scripts/demo.sh 'PageCut=3 CashDrawer=1'   the job with other options
#   scripts/demo.sh --spooler [options]        then the same job once more through
#                                              a private CUPS scheduler (below)
#
# With --spooler the receipt document (samples/receipt.ps) is printed through
# a CUPS scheduler of its own on 127.0.0.1 (port PELTRIN_CUPS_PORT, default
# 8631), with the filter installed in a private filter folder and a file:
# queue: the whole chain gstopdf, pdftopdf, gstoraster, rastertoPeltrin. Its
# printer bytes go to out/receipt-cups.bin, the job's log lines to
# out/receipt-cups.log, and they are compared with out/receipt.bin. This part
# needs root (or sudo): CUPS runs filters as user lp and only from root-owned
# files.
#
# Exits with the filter's exit status; 3 when the printer bytes do not decode
# or the spooled job differs.
set -eu
cd "$(dirname "$0")/.."

spooler=no
if [ "${1-}" = --spooler ]; then
    spooler=yes
    shift
fi
options=${1-PageCut=2}
ppd=samples/peltrin-tp80.ppd
raster=samples/receipt.ras
document=samples/receipt.ps
build=build-demo

for f in "$ppd" "$raster" "$document"; do
    [ -r "$f" ] || { echo "demo: $f is missing (see samples/README.md)" >&2; exit 2; }
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

scripts/setup.sh
mkdir -p out
echo "== building the filter and peltrin-preview in $build/"
# Its own build folder: the tests' build folder keeps its own settings.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=OFF >out/build.log 2>&1 &&
    cmake --build "$build" -j "$(nproc)" --target rastertoPeltrin peltrin-preview >>out/build.log 2>&1 || {
        cat out/build.log >&2
        echo "demo: the build failed" >&2
        exit 2
    }

echo "== PPD=$ppd $build/rastertoPeltrin 1 demo receipt 1 '$options' < $raster"
set +e
PPD=$ppd "$build/rastertoPeltrin" 1 demo receipt 1 "$options" \
    < "$raster" > out/receipt.bin 2> out/receipt.log
status=$?
set -e

echo "== log (out/receipt.log)"
cat out/receipt.log
# Some log lines have no line end of their own.
[ -z "$(tail -c 1 out/receipt.log)" ] || echo
size=$(wc -c < out/receipt.bin)
echo "== $size printer bytes in out/receipt.bin; the first and last ones:"
od -An -tx1 -v -N 48 out/receipt.bin
if [ "$size" -gt 48 ]; then
    echo "   ..."
    tail -c 32 out/receipt.bin | od -An -tx1 -v
fi
echo "== exit status $status"

# What the printer prints, decoded from the printer bytes by peltrin-preview:
# the list of commands and a picture of the paper roll.
echo "== printer commands (peltrin-preview --dump -o out/receipt.png out/receipt.bin)"
"$build/peltrin-preview" --dump -o out/receipt.png out/receipt.bin || {
    echo "demo: the printer bytes do not give a printout" >&2
    exit 3
}
echo "== picture of the printout in out/receipt.png"

[ "$spooler" = yes ] || exit "$status"

# ---------------------------------------------------------------------------
# The same job through a private CUPS scheduler on the loopback interface.
echo "== printing $document through a private CUPS scheduler"
need=""
for p in cups-daemon cups-client cups-filters ghostscript; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need="$need $p"
done
if [ -n "$need" ]; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need
fi

port=${PELTRIN_CUPS_PORT:-8631}
host=127.0.0.1:$port
W=$(mktemp -d "${TMPDIR:-/tmp}/peltrin-cups.XXXXXX")
cupsd_pid=""
cleanup() {
    if [ -n "$cupsd_pid" ]; then
        $SUDO kill -TERM "$cupsd_pid" 2>/dev/null || true
        wait "$cupsd_pid" 2>/dev/null || true
    fi
    $SUDO rm -rf "$W"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# CUPS runs filters as lp: every folder on the way must be open to it.
chmod 755 "$W"
mkdir -p "$W/etc" "$W/serverbin/filter" "$W/spool/tmp" "$W/cache" "$W/run" "$W/log" "$W/device"
# ServerBin replaces the whole folder: link the system's programs beside ours.
for d in daemon backend notifier cgi-bin; do
    ln -s "/usr/lib/cups/$d" "$W/serverbin/$d"
done
for f in /usr/lib/cups/filter/*; do
    ln -s "$f" "$W/serverbin/filter/"
done
$SUDO install -m 0755 -o root -g root "$build/rastertoPeltrin" "$W/serverbin/filter/rastertoPeltrin"
cat > "$W/etc/cups-files.conf" <<EOF
ServerRoot $W/etc
ServerBin $W/serverbin
RequestRoot $W/spool
TempDir $W/spool/tmp
CacheDir $W/cache
StateDir $W/run
ErrorLog $W/log/error_log
AccessLog $W/log/access_log
PageLog $W/log/page_log
Printcap $W/run/printcap
FileDevice Yes
User lp
Group lp
SystemGroup root
LogFileGroup root
EOF
cat > "$W/etc/cupsd.conf" <<EOF
Listen $host
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
WebInterface No
LogLevel debug
MaxLogSize 0
PreserveJobHistory No
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow 127.0.0.1
  </Limit>
</Policy>
DefaultPolicy default
EOF

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    n=$1
    shift
    until "$@" >/dev/null 2>&1; do
        n=$((n - 1))
        [ "$n" -gt 0 ] || return 1
        sleep 0.1
    done
}
queue_empty() { [ -z "$(lpstat -h "$host" -o peltrin 2>/dev/null)" ]; }

$SUDO cupsd -t -c "$W/etc/cupsd.conf" -s "$W/etc/cups-files.conf" >"$W/log/cupsd.out" 2>&1 || {
    cat "$W/log/cupsd.out" >&2
    exit 3
}
$SUDO cupsd -f -c "$W/etc/cupsd.conf" -s "$W/etc/cups-files.conf" >"$W/log/cupsd.out" 2>&1 &
cupsd_pid=$!
wait_for 100 lpstat -h "$host" -r || {
    cat "$W/log/cupsd.out" >&2
    echo "demo: the scheduler did not start on $host" >&2
    exit 3
}
lpadmin -h "$host" -p peltrin -v "file:$W/device/receipt.bin" -P "$ppd" -E
lp -h "$host" -d peltrin -o "$options" "$document"
wait_for 600 queue_empty || { echo "demo: the job did not finish within 60 s" >&2; exit 3; }

$SUDO cat "$W/device/receipt.bin" > out/receipt-cups.bin
# The filter's own lines from the scheduler's log, without the log prefix.
$SUDO cat "$W/log/error_log" | sed -n 's/^[DIWE] \[[^]]*\] \[Job [0-9]*\] //p' |
    grep -E 'PELTRIN|Ready to print|No pages found|Set Color|printing\.' > out/receipt-cups.log || true
echo "== the scheduler's job log, filter lines (out/receipt-cups.log)"
cat out/receipt-cups.log
echo "== $(wc -c < out/receipt-cups.bin) printer bytes in out/receipt-cups.bin"
if cmp -s out/receipt.bin out/receipt-cups.bin; then
    echo "== the spooled job printed the same bytes as the direct run"
else
    echo "demo: the spooled job's printer bytes differ from out/receipt.bin" >&2
    "$build/peltrin-preview" -o out/receipt-cups.png out/receipt-cups.bin || true
    exit 3
fi
exit "$status"
