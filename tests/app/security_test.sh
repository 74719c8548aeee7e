#!/bin/sh
# peltrin-printer-app on a shop's network: the server runs as the service
# unit runs it (its ExecStart options and environment, as a system user of
# its own in group lp, without new privileges) in a network namespace; a
# client in another one (a veth pair, addresses inside the two only) tries
# each attack: the admin web pages and their forms (with a real session
# token), PAPPL's IPP operations, printers on file:// and on this machine's
# own services, another user's Cancel-Job; user nobody tries the
# command-line socket and loopback. Every one is refused, and the
# administrators' ways (root on the socket, a PAM user of the group over
# TLS) still work, as does printing from the network.
#
#   security_test.sh APP UNIT_FILE PAM_FILE
set -u
APP=$1 UNIT=$2 PAMFILE=$3
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLS="ip setpriv useradd socat ipptool curl" . "$HERE/server.sh"
[ "$(id -u)" -eq 0 ] || { fail "the test makes network namespaces and users: run it as root"; exit 1; }
id=$$ S=pltS$$ C=pltC$$ U=pltsvc$$ A=pltadm$$ PW=Adm-$$-pw PORT=8631
made=
cleanup() {
    [ -z "$SERVER" ] || { kill "$SERVER"; wait "$SERVER"; } 2>/dev/null
    for p in $LISTENER; do kill "$p" 2>/dev/null; done
    ip netns del $S 2>/dev/null; ip netns del $C 2>/dev/null
    case $made in *users*) userdel $A; userdel $U; groupdel $U 2>/dev/null ;; esac
    rm -f /etc/pam.d/$U
    [ $failures -eq 0 ] && rm -rf "$W" || echo "kept $W (the server's log: $W/log.txt)"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The service's user (a system user and group of its own, in lp; shadow for
# PAM's passwords, as README.md's drop-in gives it) and an administrator.
useradd --system --user-group --no-create-home --home-dir "$W/state" --shell /usr/sbin/nologin -G lp,shadow $U &&
    useradd --no-create-home --home-dir /nonexistent -G $U $A && made=users &&
    echo "$A:$PW" | chpasswd || { fail "the users were not made"; exit 1; }
cp "$PAMFILE" /etc/pam.d/$U

ip netns add $S && ip netns add $C && ip link add $S-v type veth peer name $C-v &&
    ip link set $S-v netns $S && ip link set $C-v netns $C &&
    ip -n $S addr add 10.211.$((id % 200)).1/24 dev $S-v && ip -n $C addr add 10.211.$((id % 200)).2/24 dev $C-v &&
    ip -n $S link set lo up && ip -n $C link set lo up && ip -n $S link set $S-v up && ip -n $C link set $C-v up ||
    { fail "the network namespaces were not made"; exit 1; }
SA=10.211.$((id % 200)).1 CA=10.211.$((id % 200)).2
inS() { ip netns exec $S "$@"; }
inC() { ip netns exec $C "$@"; }
nobody="setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs"

# The unit's ExecStart options and Environment, its folders moved into $W.
mkdir -p "$W/state" "$W/run" "$W/tmp" && chown $U:$U "$W/state" "$W/run" "$W/tmp" && chmod 0700 "$W/state" &&
    chmod 0750 "$W/run"
moved() { sed -e "s|/var/lib/peltrin-printer-app|$W/state|g" -e "s|/run/peltrin-printer-app|$W/run|g"; }
options=$(sed -n 's/^ExecStart=[^ ]* server //p' "$UNIT" | moved | sed "s|log-file=-|log-file=$W/state/log.txt|")
environment=$(sed -n 's/^Environment=//p' "$UNIT" | moved)
[ -n "$options" ] && [ -n "$environment" ] || { fail "no ExecStart or Environment in $UNIT"; exit 1; }
# (the port is the only option added, and the PAM service, as an administrator sets it up)
ip netns exec $S env -i PATH=/usr/bin:/bin TMPDIR="$W/tmp" $environment ASAN_OPTIONS="$ASAN_OPTIONS" \
    setpriv --reuid=$U --regid=$U --init-groups --no-new-privs --inh-caps=-all \
    "$APP" server $options -o server-port=$PORT -o auth-service=$U -o log-level=debug >"$W/server.out" 2>&1 &
SERVER=$!
export SNAP_COMMON=$W/run HOME=$W # root's command line, through the service's socket
waitFor 30 sh -c "\"$APP\" status | grep -q ^Running" || { fail "the server did not start"; cat "$W/server.out"; exit 1; }
# (its TLS credentials are made on the first TLS connection, which takes a while)
waitFor 30 inS curl -sfk -o /dev/null "https://$SA:$PORT/" || fail "no TLS"
[ "$(ps -o user= -p $SERVER)" = $U ] || fail "the server does not run as $U"

# A printer on the network (in the client's namespace), which keeps each job's bytes.
mkdir "$W/cap" && chmod 777 "$W/cap"
ip netns exec $C socat TCP-LISTEN:9100,bind=$CA,reuseaddr,fork SYSTEM:"f=\$(mktemp '$W/cap/part.XXXXXX'); cat >\"\$f\"; mv \"\$f\" \"\$f.done\"" &
LISTENER=$!
ip netns exec $S socat -u TCP-LISTEN:6379,bind=127.0.0.1,reuseaddr,fork OPEN:"$W/redis",creat,append &
LISTENER="$LISTENER $!"
"$APP" add -d shop -v socket://$CA:9100 -m peltrin_030 >/dev/null || fail "root could not add a network printer"

# Refused devices, even to root: files, this machine's services (loopback, its own address), other schemes.
for uri in file://$W/owned file://$W/ socket://127.0.0.1:6379 socket://[::1]:6379 socket://$SA:6379 \
    socket://localhost:6379 dnssd://x._pdl-datastream._tcp.local/ snmp://$CA; do
    ! "$APP" add -d bad -v "$uri" -m peltrin_030 >/dev/null 2>&1 || fail "root added a printer on $uri"
done

# IPP: $1 operation, $2 expected status, $3 URI path, then ATTR lines; sent from the client's namespace.
ipp() {
    { ippHead "$(case $3 in */system) echo system-uri ;; *) echo printer-uri ;; esac)" "$1"
      shift 3 && for a; do echo "$a"; done
      echo 'STATUS successful-ok'; echo '}'; } >"$W/op.test"
    ipptool -T 10 $IPPFLAGS "$IPPURI" "$W/op.test"
}
job() { # user file hold: the job's id
    ipptool -T 10 -d owner=$1 -d hold=$3 -f "$2" -tv "ipps://$SA:$PORT/ipp/print/shop" "$W/job.test" |
        sed -n 's/^ *job-id (integer) = //p'
}
{ ippHead printer-uri Print-Job && cat <<'EOF'
ATTR name requesting-user-name $owner
ATTR mimeMediaType document-format application/vnd.peltrin-commands
GROUP job-attributes-tag
ATTR keyword job-hold-until $hold
FILE $filename
STATUS successful-ok }
EOF
} >"$W/job.test"
refused='client-error-forbidden\|client-error-not-authorized\|client-error-not-authenticated'
remote() { # operation path attributes...: refused from the client's namespace
    op=$1 path=$2 && shift 2
    IPPFLAGS="-d status=successful-ok -tv" IPPURI="ipps://$SA:$PORT$path" ipp "$op" x "$path" "$@" >"$W/ipp.out" 2>&1
    grep -q "$refused" "$W/ipp.out" || fail "$op from the network not refused: $(grep -m1 'status-code\|GOT' "$W/ipp.out")"
}
ipptool() { inC /usr/bin/ipptool "$@"; } # every IPP request from the client's namespace
remote Create-Printer /ipp/system 'ATTR name printer-name evil' 'ATTR keyword printer-service-type print' \
    'ATTR keyword smi55357-driver peltrin_030' "ATTR uri smi55357-device-uri file://$W/owned"
remote Delete-Printer /ipp/system 'ATTR integer printer-id 1'
remote Pause-Printer /ipp/print/shop
remote Set-Printer-Attributes /ipp/print/shop 'GROUP printer-attributes-tag' 'ATTR integer page-cut-default 0'
remote Shutdown-All-Printers /ipp/system
remote Disable-All-Printers /ipp/system

# Another user's Cancel-Job is refused, the owner's and an administrator's are not.
printf '\033@held\n' >"$W/held.bin"
j1=$(job alice "$W/held.bin" indefinite) j2=$(job alice "$W/held.bin" indefinite)
[ -n "$j1" ] && [ -n "$j2" ] || fail "jobs were not held"
IPPFLAGS="-d status=successful-ok -d job=$j1 -tv" IPPURI="ipps://$SA:$PORT/ipp/print/shop" ipp Cancel-Job x /ipp/print/shop \
    'ATTR name requesting-user-name mallory' 'ATTR integer job-id $job' >"$W/ipp.out" 2>&1
grep -q "$refused" "$W/ipp.out" || fail "mallory cancelled alice's job"
IPPFLAGS="-d status=successful-ok -d job=$j1 -t" IPPURI="ipps://$SA:$PORT/ipp/print/shop" ipp Cancel-Job x /ipp/print/shop \
    'ATTR name requesting-user-name alice' 'ATTR integer job-id $job' >/dev/null || fail "alice could not cancel her job"
"$APP" cancel -d shop -j "$j2" >/dev/null || fail "root could not cancel alice's job"

# The web pages that change anything, from the network: refused over TLS without a
# password (and moved to TLS over http), even with a session token of a real page.
token() { sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' | head -1; }
T=$(inS curl -s "http://127.0.0.1:$PORT/addprinter" | token) # root's own page, on loopback
[ -n "$T" ] || fail "root's add-printer page has no session token"
for page in /addprinter /config /logs /logfile.txt /shop/config /shop/delete /shop/printing /shop/media; do
    code=$(inC curl -sk -o /dev/null -w '%{http_code}' "https://$SA:$PORT$page")
    case $code in 401 | 403) ;; *) fail "GET $page from the network: $code" ;; esac
done
post() { inC curl -sk -o /dev/null -w '%{http_code}' "$@"; }
code=$(post -d "session=$T&printer_name=evil&device_uri=file://$W/owned&driver_name=peltrin_030" "https://$SA:$PORT/addprinter")
case $code in 401 | 403) ;; *) fail "POST /addprinter from the network: $code" ;; esac
code=$(post -d "session=$T" "https://$SA:$PORT/shop/delete")
case $code in 401 | 403) ;; *) fail "POST /shop/delete from the network: $code" ;; esac
code=$(post -d "session=$T&page-cut=0" "https://$SA:$PORT/shop/printing")
case $code in 401 | 403) ;; *) fail "POST /shop/printing from the network: $code" ;; esac
code=$(post -u "$A:wrong" -d "session=$T&printer_name=evil&device_uri=socket&hostname=$CA&driver_name=peltrin_030" \
    "https://$SA:$PORT/addprinter")
case $code in 401 | 403) ;; *) fail "POST /addprinter with a wrong password: $code" ;; esac
[ "$(inC curl -s -o /dev/null -w '%{http_code}' "http://$SA:$PORT/security")" = 404 ] || fail "a password page is served"

# User nobody: no way to the socket, and no administration on loopback.
[ "$($nobody curl -s -o /dev/null -w '%{http_code}' --unix-socket "$W/run/peltrin-printer-app.sock" \
    http://localhost/addprinter)" = 000 ] || fail "nobody reached the socket"
code=$(inS $nobody curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$PORT/addprinter")
[ "$code" = 401 ] || [ "$code" = 403 ] || fail "nobody on loopback opened /addprinter: $code"
"$APP" printers >"$W/printers" 2>&1
! grep -q evil "$W/printers" || fail "a printer 'evil' was added"
grep -q shop "$W/printers" || fail "the printer 'shop' is gone"

# The administrator's ways: PAM over TLS on the web page (its own token), root on the socket.
inC curl -sk -u "$A:$PW" -o "$W/add.html" "https://$SA:$PORT/addprinter" && T=$(token <"$W/add.html") && [ -n "$T" ] &&
    [ "$(post -u "$A:$PW" -d "session=$T&printer_name=second&device_uri=socket&hostname=$CA:9100&driver_name=peltrin_013" \
        "https://$SA:$PORT/addprinter")" = 302 ] && "$APP" printers | grep -q second ||
    fail "the administrator could not add a printer on the web page (its token '$T')"
"$APP" modify -d shop -o raw-commands-default=0 >/dev/null || fail "root could not turn printer commands off"

# Root's Find-Devices on loopback looks for USB printers only (a DNS-SD search, with no Avahi, stopped the server).
{ ippHead system-uri 0x402b && echo '}'; } >"$W/find.test"
inS /usr/bin/ipptool -T 10 -t "ipp://127.0.0.1:$PORT/ipp/system" "$W/find.test" >/dev/null 2>&1
kill -0 "$SERVER" || fail "Find-Devices stopped the server"

# Printing stays open to the network: a text job prints, printer commands are refused now.
seen=0
printf 'Receipt\n' >"$W/note.txt"
inC ipptool -T 10 -tf "$W/note.txt" -d owner=bob -d hold=no-hold "ipps://$SA:$PORT/ipp/print/second" "$W/job.test" \
    >/dev/null 2>&1
waitFor 30 sh -c "ls '$W/cap' | grep -q done" || fail "a job from the network did not print"
j3=$(job bob "$W/held.bin" no-hold)
waitFor 30 sh -c "\"$APP\" jobs -d shop | grep -q '^$j3 aborted'" || fail "printer commands printed though turned off"
[ ! -s "$W/redis" ] && [ ! -e "$W/owned" ] || fail "bytes reached a file or a loopback service"
kill -0 "$SERVER" || fail "the server stopped"

[ $failures -eq 0 ] && echo PASS || echo "$failures failures"
[ $failures -eq 0 ]
