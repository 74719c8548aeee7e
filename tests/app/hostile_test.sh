#!/bin/sh
# Hostile documents end, and the printer goes on: peltrin-printer-app on
# 127.0.0.1 gets the documents that once stopped it (a PWG raster file of
# 1.8 KB whose page claims 400,000,000 rows, in 1 and 8 bits; PostScript
# that loops forever, sent as a PDF), then a few hundred mutated copies of
# real PWG and Apple raster, PDF, JPEG and PNG documents (mutate.py). Each
# job ends within 30 s, with the reason for a refused page; the server
# stays up; a good job prints after them.
#
#   hostile_test.sh APP SAMPLES_DIR PREVIEW [COPIES_PER_SEED]
set -u
APP=$1 SAMPLES=$2 PREVIEW=$3 COPIES=${4:-40}
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLS="socat ipptool gs python3 qrencode ps" . "$HERE/server.sh"
# Two ports of its own, in a range no other test takes (the spooler tests'
# schedulers take 20000-24999, the application test's 10000-19999).
ports 25000 28999 2
PORT=$B DPORT=$((B + 1))
# The whole run ends within CTest's 600 s, with what still ran; each step's
# time is printed as it ends.
watchdog 560
START=$(date +%s)
step() { echo "== $(($(date +%s) - START)) s: $*"; }

mkdir "$W/cap"
socat TCP-LISTEN:$DPORT,bind=127.0.0.1,reuseaddr,fork \
    SYSTEM:"f=\$(mktemp '$W/cap/part.XXXXXX'); cat >\"\$f\"; mv \"\$f\" \"\$f.done\"" &
LISTENER=$!
startServer info
waitFor 10 socat -u /dev/null TCP:127.0.0.1:$DPORT && kill -0 $LISTENER ||
    { fail "the printers' listener did not start on port $DPORT"; exit 1; }
for p in mono:peltrin_013 color:peltrin_030; do
    "$APP" add -d ${p%:*} -v socket://127.0.0.1:$DPORT -m ${p#*:} >/dev/null || fail "add ${p#*:}"
done

# The seeds, made by the programs that make them for users.
gs() { command gs -q -dSAFER -dBATCH -dNOPAUSE -r203 -dDEVICEWIDTH=576 -dDEVICEHEIGHT=400 -dFIXEDMEDIA "$@" \
    -c '/Helvetica 40 selectfont 20 300 moveto (Receipt 42) show 20 100 400 80 rectfill showpage' 2>/dev/null; }
S=$W/seeds && mkdir "$S"
gs -sDEVICE=pwgraster -dcupsColorSpace=3 -dcupsBitsPerColor=1 -sOutputFile="$S/black.pwg"
gs -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$S/gray.pwg"
gs -sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -sOutputFile="$S/rgb.pwg"
gs -sDEVICE=appleraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$S/gray.urf"
gs -sDEVICE=jpeg -sOutputFile="$S/box.jpg"
qrencode -s 6 -o "$S/qr.png" "Receipt 42"
cp "$SAMPLES/receipt.pdf" "$S/receipt.pdf"
for f in black.pwg gray.pwg rgb.pwg gray.urf box.jpg qr.png receipt.pdf; do
    [ -s "$S/$f" ] || fail "seed $f not made"
done

format() { case $1 in *.pwg) echo image/pwg-raster ;; *.urf) echo image/urf ;; *.jpg) echo image/jpeg ;;
    *.png) echo image/png ;; *) echo application/pdf ;; esac; }
# Print-Job of each FILE to PRINTER, as the format its name says, one
# connection each (a refusal, or the server's end of a stalled document,
# leaves ipptool's connection unusable); refusals at submission are fine.
send() {
    p=$1 && shift
    for f; do
        { ippHead printer-uri Print-Job; printf 'NAME "%s"\nATTR name requesting-user-name hostile\n' "${f##*/}"
          printf 'ATTR mimeMediaType document-format %s\nFILE %s\n}\n' "$(format "$f")" "$f"; } >"$W/send-$p.test"
        timeout -k 5 45 ipptool -T 15 -t "ipp://127.0.0.1:$PORT/ipp/print/$p" "$W/send-$p.test" \
            >>"$W/send-$p.out" 2>&1 || [ $? -lt 124 ] || echo "ipptool ended by timeout" >>"$W/send-$p.out"
    done
}
# A printer's jobs not ended, "ID,STATE" each; over IPP, as the command
# line would start a server of its own when it finds none.
{ ippHead printer-uri Get-Jobs; printf 'ATTR keyword which-jobs not-completed\nATTR keyword requested-attributes job-id,job-state
STATUS successful-ok\nDISPLAY job-id\nDISPLAY job-state\n}\n'; } >"$W/open.test"
openJobs() { o=$(timeout -k 5 30 ipptool -T 10 -c "ipp://127.0.0.1:$PORT/ipp/print/$1" "$W/open.test") && echo "$o" | tail -n +2; }
# What holds the printers: open jobs, the listener, the server (threads or last words), the log's end.
held() {
    for p in mono color; do echo "jobs on $p not ended:"; openJobs $p; done
    kill -0 $LISTENER 2>/dev/null || echo "the printers' listener has ended"
    kill -0 $SERVER 2>/dev/null && ps -L -o tid,stat,wchan:24 -p $SERVER ||
        { echo "the server has ended; its output's end:"; tail -n 40 "$W/server.out"; }
    echo "the log's end, its jobs and printers:" && grep '^[^D].*\[\(Job\|Printer\) ' "$W/log.txt" | grep -v 'Aborting job' | tail -n 30
}
# settle SECONDS WHAT: the printers' jobs all end within SECONDS, and the server stays.
settle() {
    waitFor $1 settled || fail "$2 did not all end within $1 s"
    kill -0 $SERVER 2>/dev/null || fail "the server ended on $2"
    [ $failures -eq 0 ] || { held; exit 1; }
    step "$2 ended"
}
settled() { ! kill -0 $SERVER || { m=$(openJobs mono) && c=$(openJobs color) && [ -z "$m$c" ]; }; }
# A good receipt prints, whole: its bytes end with the cut.
goodJob() {
    before=$(ls "$W/cap" | grep -c done)
    send mono "$S/black.pwg"
    waitFor 30 sh -c "[ \$(ls '$W/cap' | grep -c done) -gt $before ]" &&
        "$PREVIEW" --dump "$(ls -t "$W"/cap/*.done | head -1)" | tail -n 1 | grep -q ' cut$' ||
        fail "a good job did not print after $1"
}

# The documents that once stopped the printer.
python3 - "$S/black.pwg" "$S/gray.pwg" "$W" <<'EOF'
import struct, sys
for seed, name in ((sys.argv[1], "tall-1bit.pwg"), (sys.argv[2], "tall-8bit.pwg")):
    d = bytearray(open(seed, "rb").read()[:1800])
    d[380:384] = struct.pack(">I", 400000000)
    open(sys.argv[3] + "/" + name, "wb").write(d)
EOF
printf '%%!PS\n{ } loop\n' >"$W/loop.pdf"
send color "$W/tall-8bit.pwg" "$W/tall-1bit.pwg" "$W/loop.pdf"
settle 60 "the documents that once stopped the printer"
grep -q 'Page 1 refused: a page of 576x400000000 dots' "$W/log.txt" || fail "the 400,000,000 rows page not refused"
goodJob "the documents that once stopped the printer"

# A few hundred mutated documents: the 8-bit PWG ones on the two-color
# printer, the rest on the other, raster first (PAPPL takes a raster job only
# while its printer prints no other).
mkdir "$W/hostile"
python3 "$HERE/mutate.py" "$W/hostile" "$COPIES" "$S"/* >"$W/hostile.txt" || fail "mutate.py"
on() { awk -v w="$W/hostile/" -v re="/($1)\$" '$2 ~ re { print w $1 }' "$W/hostile.txt"; }
# (One printer after the other: the log names a job by its number on its printer.)
send color $(on 'gray.pwg|rgb.pwg')
settle 200 "the mutated PWG documents"
send mono $(on 'black.pwg|gray.urf') $(on 'box.jpg|qr.png|receipt.pdf')
set -- "$W"/hostile/*
settle 200 "the mutated documents"
goodJob "$# mutated documents"

# Each job's time from its start to its end, from the server's log.
awk -v min=$((7 * COPIES)) '/\[Job [0-9]+\] (Starting print job|Completed|Canceled|Aborted)/ {
         split(substr($2, 13, 12), t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3]; j = $4
         if (/Starting/) start[j] = s; else if (j in start) { d = s - start[j]; n++; if (d > max) max = d; if (d > 30) long++ }
     } END { printf "%d jobs ended, the longest after %.1f s\n", n, max; exit long > 0 || n < min }' "$W/log.txt" ||
    fail "a job took longer than 30 s, or fewer jobs ran than were sent"

[ $failures -eq 0 ] && echo PASS || echo "$failures failures"
[ $failures -eq 0 ]
