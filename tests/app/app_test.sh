#!/bin/sh
# peltrin-printer-app as a server on 127.0.0.1 (its own home, state, spool
# and ports), its printers' socket:// devices pointed at a listener on this
# machine that keeps each job's bytes: the drivers, a printer's attributes,
# raster jobs (PWG and Apple) printed exactly as rastertoPeltrin prints the
# same raster (raster_jobs.txt), a text job as the filter prints it, a PDF
# job in two colors, a PNG picture, printer commands passed through unchanged (each
# job sent with submit and with ipptool), a job cancelled while it prints,
# the web page's vendor options, Debian's IPP conformance tests, and the
# printer kept across a restart.
#
#   app_test.sh APP FILTER PPD_DIR SAMPLES_DIR PREVIEW
# Fails when a tool it needs is missing.
set -u
APP=$1 FILTER=$2 PPDS=$3 SAMPLES=$4 PREVIEW=$5
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLS="socat ipptool gs curl ps ss" . "$HERE/server.sh"
trap 'touch "$W/go"; cleanup' EXIT # (the slow listener's connection ends on it)
watchdog 280 # within CTest's 300 s
# Five ports of its own, below the ephemeral ones, the spooler tests'
# (20000-24999) and the hostile-document test's (25000-28999): the server,
# the listener, the slow one, the one that discards, the one that closes early.
ports 10000 19999 5
PORT=$B DPORT=$((B + 1)) SPORT=$((B + 2)) NPORT=$((B + 3)) CPORT=$((B + 4))
seen=0
gsRun() { gs -q -dSAFER -dBATCH -dNOPAUSE "$@" 2>>"$W/gs.err"; }

# The listener: each connection's bytes go to cap/part.N, renamed to
# cap/done.N once the device closes it (the job has ended).
mkdir -p "$W/cap"
socat TCP-LISTEN:$DPORT,bind=127.0.0.1,reuseaddr,fork \
    SYSTEM:"f=\$(mktemp '$W/cap/part.XXXXXX'); cat >\"\$f\"; mv \"\$f\" \"\$f.done\"" &
LISTENER=$!
socat -u TCP-LISTEN:$NPORT,bind=127.0.0.1,reuseaddr,fork OPEN:/dev/null &
LISTENER="$LISTENER $!"

# Waits for the bytes of one more job; got is then their file.
nextJob() {
    waitFor 60 sh -c "[ \$(ls '$W/cap' | grep -c done) -gt $seen ]" || return 1
    seen=$((seen + 1)) got=$(ls -t "$W"/cap/*.done | head -1)
}
# Prints a document with submit and with ipptool's Print-Job, which must
# print the same bytes; got is then their file.
#   printed PRINTER DOCUMENT [ATTRIBUTE=VALUE ...]
printed() {
    p=$1 doc=$2 format= && shift 2
    { ippHead printer-uri Print-Job && printf 'ATTR mimeMediaType document-format $filetype\nGROUP job-attributes-tag\n'
      for a; do
          case $a in
          document-format=*) format="-d filetype=${a#*=}" ;;
          orientation-requested=*) echo "ATTR enum ${a%%=*} ${a#*=}" ;;
          *=*[!0-9]*) echo "ATTR keyword ${a%%=*} ${a#*=}" ;;
          *) echo "ATTR integer ${a%%=*} ${a#*=}" ;;
          esac
      done
      printf 'FILE $filename\nSTATUS successful-ok }\n'; } >"$W/job.test"
    "$APP" submit -d "$p" $([ $# -eq 0 ] || printf ' -o %s' "$@") "$doc" >/dev/null && nextJob && first=$got &&
        ipptool -tf "$doc" $format "ipp://127.0.0.1:$PORT/ipp/print/$p" "$W/job.test" >"$W/job.out" && nextJob ||
        { fail "$doc on $p ($*) not printed"; got=/dev/null; return 1; }
    cmp -s "$first" "$got" || fail "$doc on $p ($*): ipptool's job printed other bytes than submit's"
}

# The server the command line starts for itself, finding none, listens on its socket alone.
mkdir "$W/own" && HOME=$W/own SNAP_COMMON=$W/own "$APP" server -o private-server=true >/dev/null 2>&1 & own=$!
waitFor 30 test -S "$W/own/peltrin-printer-app.sock" && ! ss -Htlnp | grep -q "pid=$own," ||
    fail "the command line's own server listens on the network"
kill $own && wait $own
startServer debug
[ "$("$APP" drivers | wc -l)" -eq 65 ] || fail "drivers does not list 65 drivers"
"$APP" drivers | grep -qx 'peltrin_030 "Peltrin Model 30, 80 mm receipt printer with cutter, black and red" ""' ||
    fail "driver of model 30 not named as its PPD"
# The conformance tests' printers, added first: PAPPL 1.3 gives a printer's
# printer-up-time as 0, which the tests refuse, in the second after it is added.
for driver in peltrin_013 peltrin_030 peltrin_092; do
    "$APP" add -d $driver -v socket://127.0.0.1:$NPORT -m $driver >/dev/null || fail "add $driver"
done

# Raster jobs: the same raster (and settings) through the application and the filter.
n=0
grep -v '^#' "$HERE/raster_jobs.txt" >"$W/cases"
while read -r driver roll document raster attrs options; do
    n=$((n + 1))
    name=p$n model=$(echo "$driver" | sed 's/peltrin_0*//')
    "$APP" add -d $name -v socket://127.0.0.1:$DPORT -m "$driver" >/dev/null || { fail "add $driver"; continue; }
    # The media's size in dots (PAPPL's page is the media's, whatever the raster's length).
    case $roll in 80) size="576 2373" ;; 58) size="384 2373" ;; 216) size="1728 2233" ;; 144) size="1152 1598" ;; esac
    gsPage="-r203 -dDEVICEWIDTH=${size% *} -dDEVICEHEIGHT=${size#* } -dFIXEDMEDIA"
    # The application's raster, and the filter's of the same page (the same
    # file for 1-bit black; for two colors 1-bit banded CMYK, pure black in K
    # only and pure red in M and Y only, color management off).
    in=$W/$n.pwg ras=
    case $raster in
    black_1) app="-sDEVICE=pwgraster -dcupsColorSpace=3 -dcupsBitsPerColor=1" ;;
    urf_gray) # 8-bit gray: PAPPL makes the 1-bit page of it
        in=$W/$n.urf app="-sDEVICE=appleraster -dcupsColorSpace=18 -dcupsBitsPerColor=8"
        ras="-sDEVICE=cups -dcupsColorSpace=3 -dcupsBitsPerColor=1" ;;
    srgb_8) app="-sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8"
        ras="-sDEVICE=cups -dcupsColorSpace=6 -dcupsColorOrder=1 -dcupsBitsPerColor=1 -dUseFastColor=true" ;;
    esac
    gsRun $gsPage $app -sOutputFile="$in" "$SAMPLES/$document"
    if [ -n "$ras" ]; then gsRun $gsPage $ras -sOutputFile="$W/$n.ras" "$SAMPLES/$document"; else cp "$in" "$W/$n.ras"; fi
    printed $name "$in" $(echo "$attrs" | tr , ' ' | sed 's/^-$//') || continue
    PPD=$(printf '%s/peltrin-%03d.ppd' "$PPDS" "$model") "$FILTER" 1 u t 1 "$(echo "$options" | tr , ' ' | sed 's/^-$//')" \
        "$W/$n.ras" >"$W/$n.expected" 2>/dev/null
    cmp -s "$got" "$W/$n.expected" || fail "$driver $document $attrs: the application's bytes differ from the filter's"
done <"$W/cases"

# A job (PDF, raster) cancelled while it prints ends as the filter's cancel does: 720 zero
# bytes, ESC @, and nothing after. The device reads its first megabyte, then
# nothing until the cancel (its small receive buffer holds the job back).
socat TCP-LISTEN:$SPORT,bind=127.0.0.1,reuseaddr,fork,rcvbuf=65536 SYSTEM:"{ dd bs=1000000 count=1 iflag=fullblock \
status=none; touch '$W/printing'; until [ -e '$W/go' ]; do sleep 0.1; done; cat; } >'$W/slow.part'; mv '$W/slow.part' '$W/slow'" &
LISTENER="$LISTENER $!"
gsRun -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=204 -dDEVICEHEIGHTPOINTS=5669 -dFIXEDMEDIA \
    -sOutputFile="$W/long.pdf" -c '1 1 20 { pop 0 0 204 5669 rectfill showpage } for' # 20 pages of 16000 rows
printf '%720s\033@' | tr ' ' '\0' >"$W/cancel.end"
gsRun -sDEVICE=pwgraster -r203 -dDEVICEWIDTH=576 -dDEVICEHEIGHT=15984 -dFIXEDMEDIA \
    -dcupsColorSpace=3 -dcupsBitsPerColor=1 -sOutputFile="$W/long.pwg" "$W/long.pdf"
"$APP" add -d slow -v socket://127.0.0.1:$SPORT -m peltrin_013 >/dev/null || fail "add slow"
for doc in long.pdf long.pwg; do
    rm -f "$W/printing" "$W/go" "$W/slow"
    # (In the background: a raster job prints while it is sent, so its sending waits for the device.)
    "$APP" submit -d slow -o media=om_80-mm-long-receipt_72.08x2000mm "$W/$doc" >/dev/null 2>&1 &
    waitFor 60 test -e "$W/printing" && "$APP" cancel -d slow -a && touch "$W/go" && waitFor 60 test -e "$W/slow" &&
        [ $(wc -c <"$W/slow") -lt 20000000 ] && tail -c 722 "$W/slow" | cmp -s - "$W/cancel.end" ||
        fail "a job ($doc) cancelled while printing"
done
# A device that takes a megabyte of each job, then closes: the jobs (PDF,
# raster, printer commands) end aborted, with the reason as their message.
socat -u TCP-LISTEN:$CPORT,bind=127.0.0.1,reuseaddr,fork SYSTEM:'head -c 1000000 >/dev/null' 2>/dev/null &
LISTENER="$LISTENER $!"
head -c 20000000 /dev/zero >"$W/zeros.bin"
"$APP" add -d closing -v socket://127.0.0.1:$CPORT -m peltrin_013 >/dev/null || fail "add closing"
{ ippHead printer-uri Get-Jobs && printf 'ATTR keyword which-jobs completed\nATTR keyword requested-attributes job-state-message
DISPLAY job-state-message }\n'; } >"$W/jobs.test"
n=0
for doc in long.pdf long.pwg zeros.bin; do
    n=$((n + 1))
    "$APP" submit -d closing -o media=om_80-mm-long-receipt_72.08x2000mm $([ $doc = zeros.bin ] &&
        echo -o document-format=application/vnd.peltrin-commands) "$W/$doc" >/dev/null 2>&1
    waitFor 60 sh -c "[ \$(\"$APP\" jobs -d closing | grep -cE ' (aborted|completed) ') -eq $n ]"
done
ipptool -tv "ipp://127.0.0.1:$PORT/ipp/print/closing" "$W/jobs.test" | grep -c "= The printer did not take the job's data" |
    grep -qx 3 && [ "$("$APP" jobs -d closing | grep -c ' aborted ')" -eq 3 ] || fail "jobs on a device that closes early"

"$APP" add -d mono -v socket://127.0.0.1:$DPORT -m peltrin_013 >/dev/null || fail "add mono"

"$APP" add -d text -v socket://127.0.0.1:$DPORT -m peltrin_030 >/dev/null || fail "add text"
# The web page of the printing defaults offers the vendor options and their choices, by the PPD's texts.
curl -sf "http://127.0.0.1:$PORT/text/printing" | sed 's/></>\n</g' >"$W/web.html"
sed -n '/<select name="page-cut">/,/<\/select>/p' "$W/web.html" | grep -o 'value="[0-9]*"[ a-z]*' | tr -d '\n' |
    grep -qx 'value="0"value="1"value="2" selectedvalue="3"value="4"value="5"' &&
    grep -q '<select name="cash-drawer-1-pulse-width">' "$W/web.html" && grep -q '<th>Cut:</th>' "$W/web.html" &&
    grep -q '<option value="0">No cut</option>' "$W/web.html" || fail "the web page's vendor options"
# A custom length (80 x 1100 mm): the long receipt whole at its size (8792 rows), the middle 576 dots of its 577.
ipptool -tf "$SAMPLES/long-receipt.pdf" "ipp://127.0.0.1:$PORT/ipp/print/text" "$HERE/custom_length.test" >/dev/null &&
    nextJob && "$PREVIEW" --dump "$got" |
    awk '/band width=576 /{sub("rows=", "", $5); n += $5} END {exit n != 8792}' || fail "a custom length"
# A raster page of that length (640 dots), its right half black: of each row, 36 bytes white, 36 black.
gsRun -sDEVICE=pwgraster -r203 -dDEVICEWIDTH=640 -dDEVICEHEIGHT=8791 -dFIXEDMEDIA -dcupsColorSpace=3 -dcupsBitsPerColor=1 \
    -sOutputFile="$W/right.pwg" -c '72 203 div dup scale 320 0 320 8791 rectfill showpage'
ipptool -tf "$W/right.pwg" "ipp://127.0.0.1:$PORT/ipp/print/mono" "$HERE/custom_length.test" >/dev/null && nextJob &&
    "$PREVIEW" --dump "$got" | grep -qx '000002 GS v 0 raster mode=0 bytes-per-line=72 rows=8791' &&
    [ "$(tail -c +11 "$got" | head -c 632952 | od -An -v -tx1 -w72 | tr -d ' ' | sort -u)" = \
        "$(printf '00%.0s' $(seq 36); printf 'ff%.0s' $(seq 36))" ] || fail "a raster page of a custom length"
printed text "$SAMPLES/note.txt" logo-position=3
PPD="$PPDS/peltrin-030.ppd" "$FILTER" 1 u t 1 "LogoPosition=3" "$SAMPLES/note.txt" >"$W/text.expected" 2>/dev/null
cmp -s "$got" "$W/text.expected" || fail "a text job differs from the filter's"

printed text "$SAMPLES/two-color.pdf" print-color-mode=color
"$PREVIEW" --dump "$got" >"$W/pdf.dump" 2>&1 && grep -q 'store color=49' "$W/pdf.dump" &&
    grep -q 'store color=50' "$W/pdf.dump" || fail "a two-color PDF job is not printed in both colors"

# A PDF page turns only when orientation-requested asks: the receipt (738
# rows of ink upright) turned is scaled to the roll's width, 349 rows.
for o in 3:738 4:349; do
    printed text "$SAMPLES/receipt.pdf" orientation-requested=${o%:*} && "$PREVIEW" --dump "$got" |
        awk -v rows=${o#*:} '/band width=576 /{sub("rows=", "", $5); n += $5} END {exit n != rows}' ||
        fail "a PDF with orientation-requested=${o%:*}"
done

printf '\033@raw\000bytes\035V\101\001' >"$W/commands.bin"
printed text "$W/commands.bin" document-format=application/vnd.peltrin-commands
cmp -s "$got" "$W/commands.bin" || fail "printer commands were not passed through unchanged"

# A PNG picture (the corpus prints JPEG and PNG receipts), black in its top
# left quarter and 50 % gray in its top right one, at the roll's width (an
# 8-bit gray page for model 30): ink there and nowhere else, the gray dithered
# by the color rule to every other dot (55 and AA rows), then the cut.
gsRun -sDEVICE=pnggray -r203 -dDEVICEWIDTHPOINTS=204.3 -dDEVICEHEIGHTPOINTS=144 \
    -sOutputFile="$W/box.png" -c '0 72 102 72 rectfill 0.5 setgray 102.3 72 102 72 rectfill showpage'
half() { printf "ff%.0s" $(seq 36); printf "$1%.0s" $(seq 36); }
printed text "$W/box.png" comp-printing=0 && "$PREVIEW" --dump "$got" >"$W/png.dump" &&
    set -- $(sed -n 's/^\([0-9]*\) GS ( L 112 store color=49 width=576 rows=\([0-9]*\) .*/\1 15 \2/p' "$W/png.dump") &&
    [ "${3:-0}" -ge 200 ] && [ "$3" -le 208 ] && tail -n 1 "$W/png.dump" | grep -q ' cut$' &&
    [ "$(tail -c +$(($1 + $2 + 1)) "$got" | head -c $((72 * $3)) | od -An -v -tx1 -w72 | tr -d ' ' | sort -u)" = \
        "$(half 55; echo; half aa)" ] || fail "a PNG picture"

ipptool -t "ipp://127.0.0.1:$PORT/ipp/print/text" "$HERE/printer_attributes.test" >"$W/ipptool.out" 2>&1 ||
    { fail "printer attributes"; cat "$W/ipptool.out"; }

# Debian's IPP conformance tests on a printer of each kind, with the sample
# documents of ipp-everywhere.test made beside a copy of it; the checks no
# printer can pass are listed, with their reasons, in everywhere_failures.txt.
mkdir "$W/ipp" && cp /usr/share/cups/ipptool/ipp-1.1.test /usr/share/cups/ipptool/ipp-2.0.test \
    /usr/share/cups/ipptool/ipp-everywhere.test "$W/ipp/"
for f in $(sed -n 's/^\tFILE //p' "$W/ipp/ipp-everywhere.test" | sort -u); do
    case $f in
    *black-1*) color="-dcupsColorSpace=3 -dcupsBitsPerColor=1" ;; *sgray-8*) color="-dcupsColorSpace=18 -dcupsBitsPerColor=8" ;;
    *cmyk-8*) color="-dcupsColorSpace=6 -dcupsBitsPerColor=8" ;; *srgb-8*) color="-dcupsColorSpace=19 -dcupsBitsPerColor=8" ;;
    *) color="-dcupsColorSpace=19 -dcupsBitsPerColor=16" ;;
    esac
    case $f in
    *4x6*) page="-dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432" doc=two-color.pdf ;;
    *-a4-*) page=-sPAPERSIZE=a4 doc=receipt.pdf ;; *) page=-sPAPERSIZE=letter doc=letter.pdf ;;
    esac
    res=${f#pwg-raster-samples-} && mkdir -p "$W/ipp/${f%/*}"
    gsRun -sDEVICE=pwgraster -r${res%%dpi*} $page -dFIXEDMEDIA -dPDFFitPage $color \
        -sOutputFile="$W/ipp/$f" "$SAMPLES/$doc" >/dev/null 2>&1 || fail "sample $f"
done
grep -v '^#' "$HERE/everywhere_failures.txt" | tr -s ' ' | sort -u >"$W/fails"
pids= # the three at once: the tests wait 5 s for each job of theirs to end
for driver in peltrin_013 peltrin_030 peltrin_092; do
    uri=ipp://127.0.0.1:$PORT/ipp/print/$driver
    { waitFor 60 sh -c "ipptool -tv $uri get-printer-attributes.test | grep -q 'printer-up-time (integer) = [1-9]'"
      ipptool -V 2.0 -tf "$SAMPLES/receipt.pdf" $uri "$W/ipp/ipp-2.0.test" >"$W/$driver-2.0.out" 2>&1
      ipptool -I -V 2.0 -tf "$SAMPLES/receipt.pdf" $uri "$W/ipp/ipp-everywhere.test" >"$W/$driver.out" 2>&1; } &
    pids="$pids $!"
done
wait $pids
for driver in peltrin_013 peltrin_030 peltrin_092; do # ipptool's exit status is 0 on failures of an included file
    ! grep -q '\[FAIL\]' "$W/$driver-2.0.out" || fail "$driver: ipp-2.0.test (in $W/$driver-2.0.out)"
    grep -E '\[FAIL\]|EXPECTED:|GOT:' "$W/$driver.out" | sed 's/^ *//' | tr -s ' ' | sort -u | cmp -s - "$W/fails" ||
        fail "$driver: ipp-everywhere.test fails other checks (in $W/$driver.out)"
done

# The printers and their defaults are kept across a restart.
"$APP" modify -d text -o page-cut-default=0 >/dev/null || fail "modify page-cut-default"
# PAPPL saves its state from its main loop once it is woken after a change.
waitFor 60 sh -c "\"$APP\" status; grep -q '^page-cut-default 0' '$W/.peltrin-printer-app.state'" ||
    fail "page-cut-default not saved"
stopServer
startServer debug
"$APP" status -d text >/dev/null 2>&1 || fail "printer lost at restart"
ipptool -tv "ipp://127.0.0.1:$PORT/ipp/print/text" "$HERE/printer_attributes.test" 2>&1 |
    grep -q 'page-cut-default (keyword) = 0' || fail "page-cut-default not kept across a restart"

[ $failures -eq 0 ] && echo "PASS" || echo "$failures failures"
[ $failures -eq 0 ]
