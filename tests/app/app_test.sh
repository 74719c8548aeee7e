#!/bin/sh
# peltrin-printer-app as a server on 127.0.0.1 (its own home, state, spool
# and port), its printers' socket:// devices pointed at a listener on this
# machine that keeps each job's bytes: the drivers, a printer's attributes,
# raster jobs printed exactly as rastertoPeltrin prints the same raster
# (raster_jobs.txt), a text job as the filter prints it, a PDF job in two
# colors, printer commands passed through unchanged, and the printer kept
# across a restart.
#
#   app_test.sh APP FILTER PPD_DIR SAMPLES_DIR PREVIEW
# Exit status 77 (skipped) when a tool it needs is missing.
set -u
APP=$1 FILTER=$2 PPDS=$3 SAMPLES=$4 PREVIEW=$5
HERE=$(cd "$(dirname "$0")" && pwd)
for tool in socat ipptool gs; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"; exit 77; }
done

# Under AddressSanitizer: PAPPL 1.3 leaves its system's strings and the
# command line's options unfreed at exit, so leaks are not looked for in
# the application's processes (the engine's are, in the unit tests).
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"

W=$(mktemp -d)
# SNAP_COMMON: PAPPL's command line talks to the server through a socket
# there (instead of /run/peltrin-printer-app.sock when run as root).
export HOME=$W TMPDIR=$W SNAP_COMMON=$W
unset XDG_DATA_HOME XDG_CONFIG_HOME
PORT=$((20000 + $$ % 20000)) DPORT=$((40000 + $$ % 20000))
SERVER= LISTENER= failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Waits (at most 10 s) until the command succeeds.
waitFor() { i=0; until "$@" >/dev/null 2>&1; do i=$((i + 1)); [ $i -le 100 ] || return 1; sleep 0.1; done; }
stopServer() {
    [ -n "$SERVER" ] || return 0
    "$APP" shutdown >/dev/null 2>&1
    waitFor sh -c "! kill -0 $SERVER" || kill -9 "$SERVER" 2>/dev/null
    wait "$SERVER" 2>/dev/null
    SERVER=
}
cleanup() {
    stopServer
    [ -z "$LISTENER" ] || kill "$LISTENER" 2>/dev/null
    [ $failures -eq 0 ] && rm -rf "$W" || echo "kept $W (the server's log: $W/log.txt)"
}
trap cleanup EXIT

startServer() {
    "$APP" server -o server-port=$PORT -o listen-hostname=127.0.0.1 -o log-level=debug \
        -o log-file="$W/log.txt" -o spool-directory="$W/spool" >"$W/server.out" 2>&1 &
    SERVER=$!
    waitFor "$APP" status || { fail "the server did not start"; cat "$W/server.out"; exit 1; }
}

# The listener: each connection's bytes go to cap/part.N, renamed to
# cap/done.N once the device closes it (the job has ended).
mkdir -p "$W/cap"
socat TCP-LISTEN:$DPORT,bind=127.0.0.1,reuseaddr,fork \
    SYSTEM:"f=\$(mktemp '$W/cap/part.XXXXXX'); cat >\"\$f\"; mv \"\$f\" \"\$f.done\"" &
LISTENER=$!

# Submits a document; got is then the file of the bytes the printer got.
printed() {
    got=/dev/null
    before=$(ls "$W/cap" | grep -c done)
    "$APP" submit "$@" >/dev/null || { fail "submit $*"; return 1; }
    waitFor sh -c "[ \$(ls '$W/cap' | grep -c done) -gt $before ]" || { fail "no bytes for: $*"; return 1; }
    got=$(ls -t "$W"/cap/*.done | head -1)
}

startServer
[ "$("$APP" drivers | wc -l)" -eq 65 ] || fail "drivers does not list 65 drivers"
"$APP" drivers | grep -qx 'peltrin_030 "Peltrin Model 30, 80 mm receipt printer with cutter, black and red" ""' ||
    fail "driver of model 30 not named as its PPD"

# Raster jobs: the same raster (and settings) through the application and the filter.
n=0
grep -v '^#' "$HERE/raster_jobs.txt" >"$W/cases"
while read -r driver roll document raster attrs options; do
    n=$((n + 1))
    name=p$n model=$(echo "$driver" | sed 's/peltrin_0*//')
    "$APP" add -d $name -v socket://127.0.0.1:$DPORT -m "$driver" >/dev/null || { fail "add $driver"; continue; }
    width=$([ "$roll" = 80 ] && echo 576 || echo 384)
    gsPage="-r203 -dDEVICEWIDTH=$width -dDEVICEHEIGHT=2373 -dFIXEDMEDIA"
    if [ "$raster" = black_1 ]; then
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster $gsPage -dcupsColorSpace=3 -dcupsBitsPerColor=1 \
            -sOutputFile="$W/$n.pwg" "$SAMPLES/$document" 2>"$W/gs.err"
        cp "$W/$n.pwg" "$W/$n.ras"
    else
        # The filter's two-color raster: 1-bit banded CMYK, pure black in K
        # only and pure red in M and Y only (color management off).
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster $gsPage -dcupsColorSpace=19 -dcupsBitsPerColor=8 \
            -sOutputFile="$W/$n.pwg" "$SAMPLES/$document" 2>"$W/gs.err"
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups $gsPage -dcupsColorSpace=6 -dcupsColorOrder=1 \
            -dcupsBitsPerColor=1 -dUseFastColor=true -sOutputFile="$W/$n.ras" "$SAMPLES/$document" 2>"$W/gs.err"
    fi
    set --
    [ "$attrs" = - ] || for a in $(echo "$attrs" | tr , ' '); do set -- "$@" -o "$a"; done
    printed -d $name "$@" "$W/$n.pwg" || continue
    PPD=$(printf '%s/peltrin-%03d.ppd' "$PPDS" "$model") "$FILTER" 1 u t 1 "$(echo "$options" | tr , ' ' | sed 's/^-$//')" \
        "$W/$n.ras" >"$W/$n.expected" 2>/dev/null
    cmp -s "$got" "$W/$n.expected" || fail "$driver $document $attrs: the application's bytes differ from the filter's"
done <"$W/cases"

"$APP" add -d text -v socket://127.0.0.1:$DPORT -m peltrin_030 >/dev/null || fail "add text"
# The web page of the printing defaults shows the PPD's texts of the vendor options.
curl -sf "http://127.0.0.1:$PORT/text/printing" | grep -q '<th>Cut:</th><td><select name="page-cut"><option value="0">No cut</option>' ||
    fail "the web page does not name the vendor options and choices by their texts"
# A custom length (80 x 1100 mm): the long receipt whole (8791 rows), the roll's middle 576 dots.
before=$(ls "$W/cap" | grep -c done)
ipptool -tf "$SAMPLES/long-receipt.pdf" "ipp://127.0.0.1:$PORT/ipp/print/text" "$HERE/custom_length.test" >/dev/null &&
    waitFor sh -c "[ \$(ls '$W/cap' | grep -c done) -gt $before ]" && "$PREVIEW" --dump "$(ls -t "$W"/cap/*.done | head -1)" |
    awk '/band width=576 /{sub("rows=", "", $5); n += $5} END {exit n != 8791}' || fail "a custom length"
printed -d text -o logo-position=3 "$SAMPLES/note.txt"
PPD="$PPDS/peltrin-030.ppd" "$FILTER" 1 u t 1 "LogoPosition=3" "$SAMPLES/note.txt" >"$W/text.expected" 2>/dev/null
cmp -s "$got" "$W/text.expected" || fail "a text job differs from the filter's"

printed -d text -o print-color-mode=color "$SAMPLES/two-color.pdf"
"$PREVIEW" --dump "$got" >"$W/pdf.dump" 2>&1 && grep -q 'store color=49' "$W/pdf.dump" &&
    grep -q 'store color=50' "$W/pdf.dump" || fail "a two-color PDF job is not printed in both colors"

printf '\033@raw\000bytes\035V\101\001' >"$W/commands.bin"
printed -d text -o document-format=application/vnd.peltrin-commands "$W/commands.bin"
cmp -s "$got" "$W/commands.bin" || fail "printer commands were not passed through unchanged"

ipptool -t "ipp://127.0.0.1:$PORT/ipp/print/text" "$HERE/printer_attributes.test" >"$W/ipptool.out" 2>&1 ||
    { fail "printer attributes"; cat "$W/ipptool.out"; }

# The printers and their defaults are kept across a restart.
"$APP" modify -d text -o page-cut-default=0 >/dev/null || fail "modify page-cut-default"
# PAPPL saves its state from its main loop once it is woken after a change.
waitFor sh -c "\"$APP\" status; grep -q '^page-cut-default 0' '$W/.peltrin-printer-app.state'" ||
    fail "page-cut-default not saved"
stopServer
startServer
"$APP" status -d text >/dev/null 2>&1 || fail "printer lost at restart"
ipptool -tv "ipp://127.0.0.1:$PORT/ipp/print/text" "$HERE/printer_attributes.test" 2>&1 |
    grep -q 'page-cut-default (keyword) = 0' || fail "page-cut-default not kept across a restart"

[ $failures -eq 0 ] && echo "PASS" || echo "$failures failures"
[ $failures -eq 0 ]
