#!/bin/sh
# One receipt job's time, median of N runs, on model 30 with its defaults:
# - through peltrin-printer-app: from `submit` to the last byte at its
#   socket:// device (a listener on 127.0.0.1 stamps the time the device
#   closes the connection), for the PDF receipt and for the same receipt as
#   PWG raster;
# - through the CUPS filter chain for a PDF (cupsfilter with the model's PPD:
#   the filters its *cupsFilter lines choose), from start to exit;
# - rastertoPeltrin alone on the receipt's CUPS raster, and pdftoPeltrin alone.
#
#   bench/app_vs_filter.sh BUILD_DIR [N [PDF]]  (BUILD_DIR with the app built;
#                                              PDF: samples/receipt.pdf)
set -eu
B=$(cd "$1" && pwd) N=${2:-20}
S=$(cd "$(dirname "$0")/../samples" && pwd)
PDF=$(realpath "${3:-$S/receipt.pdf}")
APP=$B/app/peltrin-printer-app PPD=$B/ppds/peltrin-030.ppd
W=$(mktemp -d)
export HOME=$W TMPDIR=$W SNAP_COMMON=$W PPD
PORT=$((20000 + $$ % 20000)) DPORT=$((40000 + $$ % 20000))
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.1f ms\n", v[int((NR + 1) / 2)] / 1e6 }'; }
cleanup() {
    "$APP" shutdown >/dev/null 2>&1 || true
    kill "$LISTENER" 2>/dev/null || true
    rm -rf "$W"
}
mkdir "$W/cap"
socat TCP-LISTEN:$DPORT,bind=127.0.0.1,reuseaddr,fork \
    SYSTEM:"f=\$(mktemp '$W/cap/part.XXXXXX'); cat >\"\$f\"; date +%s%N >\"\$f.end\"" &
LISTENER=$!
trap cleanup EXIT
"$APP" server -o server-port=$PORT -o listen-hostname=127.0.0.1 -o log-level=warn >/dev/null 2>&1 &
i=0
until "$APP" status >/dev/null 2>&1; do i=$((i + 1)); [ $i -lt 100 ] || exit 1; sleep 0.1; done
"$APP" add -d r -v socket://127.0.0.1:$DPORT -m peltrin_030 >/dev/null

gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -r203 -dDEVICEWIDTH=576 -dDEVICEHEIGHT=2373 -dFIXEDMEDIA \
    -dcupsColorSpace=3 -dcupsBitsPerColor=1 -sOutputFile="$W/receipt.pwg" "$S/receipt.pdf" 2>/dev/null

# Submits N times, one job at a time; prints the median time to the last byte.
appJobs() {
    for i in $(seq "$N"); do
        n=$(ls "$W/cap" | grep -c end || true)
        t=$(now)
        "$APP" submit -d r "$1" >/dev/null
        until [ "$(ls "$W/cap" | grep -c end || true)" -gt "$n" ]; do sleep 0.002; done
        echo $(($(cat "$(ls -t "$W"/cap/*.end | head -1)") - t))
    done | median
}
# Runs a command N times; prints the median time.
runs() {
    for i in $(seq "$N"); do
        t=$(now)
        "$@" >/dev/null 2>&1
        echo $(($(now) - t))
    done | median
}

mkdir -p "$W/serverbin/filter"
for f in /usr/lib/cups/filter/*; do ln -s "$f" "$W/serverbin/filter/"; done
install -m 0755 "$B/rastertoPeltrin" "$B/pdftoPeltrin" "$W/serverbin/filter/"
echo "ServerBin $W/serverbin" >"$W/cups-files.conf"

echo "application, PDF receipt:    $(appJobs "$PDF")"
echo "application, PWG raster:     $(appJobs "$W/receipt.pwg")"
echo "cupsfilter chain, PDF:       $(runs cupsfilter -c "$W/cups-files.conf" -p "$PPD" -m printer/peltrin -e "$PDF")"
echo "pdftoPeltrin alone, PDF:     $(runs "$B/pdftoPeltrin" 1 u t 1 "" "$PDF")"
echo "rastertoPeltrin alone, CUPS raster: $(runs "$B/rastertoPeltrin" 1 u t 1 "" "$S/receipt.ras")"
