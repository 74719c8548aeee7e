# Sourced by the application's shell tests, after APP is set, with the
# tools they need (dash's "." takes no arguments):
#   TOOLS="TOOL..." . server.sh
# the tools checked; a work folder W of the test's own (HOME, TMPDIR and
# PAPPL's command-line socket there, instead of /run when run as root);
# failures counted by fail; waits by the clock; ports of the test's own; the
# server on 127.0.0.1 and the listeners (LISTENER) stopped by their ids at
# exit, W kept when something failed.
for tool in $TOOLS; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh installs it)"; exit 1; }
done
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" # PAPPL leaves its system's strings at exit
W=$(mktemp -d) && chmod 711 "$W"                       # the scheduler's filters run as lp
export HOME=$W TMPDIR=$W SNAP_COMMON=$W
unset XDG_DATA_HOME XDG_CONFIG_HOME
SERVER= LISTENER= WATCHDOG= failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# waitFor SECONDS COMMAND...: by the clock, however long each try takes.
waitFor() {
    end=$(($(date +%s) + $1)) && shift
    until "$@" >/dev/null 2>&1; do [ "$(date +%s)" -lt $end ] || return 1; sleep 0.1; done
}
# ports FIRST LAST COUNT: B, the first of COUNT ports in FIRST..LAST that
# nothing listens on, from where this process's id points.
ports() {
    span=$((($2 - $1 + 1) / $3)) && B=$(($1 + $$ % span * $3)) tries=$span
    while socatAny $B $3; do
        tries=$((tries - 1)) && [ $tries -gt 0 ] || { fail "no $3 free ports in $1-$2"; exit 1; }
        B=$((B + 2 * $3 - 1 <= $2 ? B + $3 : $1))
    done
}
socatAny() { p=0; while [ $p -lt $2 ]; do socat -u /dev/null TCP:127.0.0.1:$(($1 + p)) 2>/dev/null && return 0; p=$((p + 1)); done; return 1; }
# startServer LOG_LEVEL: on PORT, its log in W/log.txt.
startServer() {
    "$APP" server -o server-port=$PORT -o listen-hostname=127.0.0.1 -o allow-local-devices=yes -o log-level=$1 \
        -o log-file="$W/log.txt" -o spool-directory="$W/spool" >>"$W/server.out" 2>&1 &
    SERVER=$!
    # status exits 0 also when it finds no server.
    waitFor 60 sh -c "\"$APP\" status | grep -q ^Running" || { fail "the server did not start"; cat "$W/server.out"; exit 1; }
}
stopServer() {
    [ -n "$SERVER" ] || return 0
    "$APP" shutdown >/dev/null 2>&1
    # PAPPL's main loop sees the shutdown once a connection wakes it.
    waitFor 20 sh -c "\"$APP\" status; ! kill -0 $SERVER" || kill -9 "$SERVER" 2>/dev/null
    wait "$SERVER" 2>/dev/null
    SERVER=
}
# ippHead URI_ATTRIBUTE OPERATION: the start of an ipptool test of OPERATION
# at $uri, with the attributes every request has.
ippHead() { printf '{ OPERATION %s\nGROUP operation-attributes-tag\nATTR charset attributes-charset utf-8
ATTR naturalLanguage attributes-natural-language en\nATTR uri %s $uri\n' "$2" "$1"; }
# watchdog SECONDS: past SECONDS the test ends (TERM), with the processes and
# threads that still ran, each of them ended. Its sleep holds no output of
# the test's, which CTest would wait for.
watchdog() {
    trap 'failures=$((failures + 1)); exit 1' TERM
    sh -c 'sleep "$2" >/dev/null 2>&1
        tree() { for c in $(ps -o pid= --ppid "$1"); do [ "$c" = $$ ] || { echo "$c"; tree "$c"; }; done; }
        pids=$(tree "$1")
        echo "FAIL: the test still ran after $2 s, in:"
        ps -L -o pid,tid,ppid,stat,etime,wchan:24,args -p "$(echo "$1" $pids | tr " " ,)"
        kill -TERM $pids "$1"' watchdog $$ "$1" &
    WATCHDOG=$!
}
cleanup() {
    [ -z "$WATCHDOG" ] || kill $WATCHDOG 2>/dev/null
    stopServer
    [ -z "$LISTENER" ] || kill $LISTENER 2>/dev/null
    [ $failures -eq 0 ] && rm -rf "$W" || echo "kept $W (the server's log: $W/log.txt)"
}
trap cleanup EXIT
