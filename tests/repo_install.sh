#!/bin/sh
# Installs from the apt repository REPO (scripts/release.sh) as a user would,
# in a clean Debian 13 root (scripts/debian-root.sh trixie, base): REPO as a
# file: source, apt install printer-driver-peltrin peltrin-printer-app; then
# prints the sample receipt through a CUPS scheduler in the root (a queue
# made with lpadmin from the packaged PPD, a file: device) and through the
# printer application (a socket:// device on 127.0.0.1). The root has no
# systemd: the servers are started here and stopped by their pid.
#
#   tests/repo_install.sh REPO
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
repo=$(cd "$1" && pwd)
root=$(mktemp -d)
cleanup() { rm -rf --one-file-system "$root"; }
trap cleanup EXIT
trap "exit 1" INT TERM
"$src/scripts/debian-root.sh" trixie "$root" base
# A copy, not a bind mount: in-root.sh binds the root onto itself, which
# would leave a mount inside it behind.
mkdir -p "$root/work"
cp -r "$repo" "$root/repo"
echo "deb [trusted=yes] file:/repo trixie main" >"$root/etc/apt/sources.list.d/peltrin.list"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" # no services started by postinst
chmod 0755 "$root/usr/sbin/policy-rc.d"
cp "$src/samples/receipt.pdf" "$root/work/"
port=$((20000 + $$ % 20000))
cat >"$root/work/print.sh" <<END
set -eu
W=/work
fail() { echo "repo_install: \$*" >&2; exit 1; }
wait_for() { # seconds, command...
    t=\$((\$1 * 10)); shift
    until "\$@" >/dev/null 2>&1; do t=\$((t - 1)); [ \$t -gt 0 ] || return 1; sleep 0.1; done
}
apt-get update -qq
apt-get install -y -qq printer-driver-peltrin peltrin-printer-app peltrin-tools cups-daemon cups-client socat \
    >\$W/apt.log 2>&1 || { cat \$W/apt.log; fail "apt could not install from the repository"; }
dpkg-query -W -f='\${Version}\n' printer-driver-peltrin | grep -q '~deb13\$' || fail "not the Debian 13 build"

# CUPS: a scheduler with FileDevice, the system's filters and PPDs.
printf 'FileDevice Yes\nErrorLog \$W/error_log\n' >>/etc/cups/cups-files.conf
printf '%s\n' 'Listen 127.0.0.1:$port' 'Browsing No' 'WebInterface No' 'LogLevel debug' 'DefaultPolicy open' \
    '<Policy open>' '<Limit All>' 'Order allow,deny' 'Allow 127.0.0.1' '</Limit>' '</Policy>' >\$W/cupsd.conf
cupsd -f -c \$W/cupsd.conf -s /etc/cups/cups-files.conf & cupsd=\$!
trap 'kill \$cupsd 2>/dev/null || true; [ -z "\${app:-}" ] || kill \$app 2>/dev/null || true; [ -z "\${sock:-}" ] || kill \$sock 2>/dev/null || true' EXIT
H=127.0.0.1:$port
wait_for 20 sh -c "lpstat -h \$H -r | grep -qx 'scheduler is running'" || fail "the scheduler did not start"
lpadmin -h \$H -p receipt -E -v file:\$W/cups.bin -P /usr/share/ppd/peltrin/peltrin-030.ppd
lp -h \$H -d receipt -o PageCut=2 \$W/receipt.pdf >/dev/null
wait_for 60 sh -c "[ -z \"\\\$(lpstat -h \$H -o receipt)\" ]" || { tail -30 \$W/error_log; fail "the CUPS job did not print"; }
peltrin-preview --dump \$W/cups.bin | grep -q -E 'GS v 0|compressed band|GS \( L 112' ||
    { tail -30 \$W/error_log; fail "CUPS: the receipt holds no raster image"; }
kill \$cupsd; wait \$cupsd || true

# The printer application, its printer a socket device on 127.0.0.1.
export HOME=\$W TMPDIR=\$W
mkdir \$W/cap
socat TCP-LISTEN:$((port + 1)),bind=127.0.0.1,reuseaddr,fork \
    SYSTEM:"f=\\\$(mktemp \$W/cap/part.XXXXXX); cat >\\\$f; mv \\\$f \\\$f.done" & sock=\$!
peltrin-printer-app server -o server-port=$((port + 2)) -o listen-hostname=127.0.0.1 -o allow-local-devices=yes -o log-file=\$W/app.log \
    -o log-level=debug >\$W/app.out 2>&1 & app=\$!
wait_for 20 sh -c "peltrin-printer-app status | grep -q ^Running" || { cat \$W/app.out; fail "the application did not start"; }
peltrin-printer-app add -d receipt -v socket://127.0.0.1:$((port + 1)) -m peltrin_030 >/dev/null || fail "add"
peltrin-printer-app submit -d receipt \$W/receipt.pdf >/dev/null || fail "submit"
wait_for 60 sh -c "find \$W/cap -name '*.done' -size +1k | grep -q ." ||
    { tail -30 \$W/app.log; fail "the application's job did not print"; }
peltrin-preview --dump "\$(find \$W/cap -name '*.done' -size +1k | head -1)" | grep -q -E 'GS v 0|compressed band|GS \( L 112' ||
    { tail -30 \$W/app.log; fail "application: the receipt holds no raster image"; }
# PAPPL's main loop sees the shutdown when it wakes, which SIGTERM does (it
# ends on it as asked); the server, our child, is then a zombie until waited for.
peltrin-printer-app shutdown >/dev/null || true
ended() { ! [ -e /proc/\$app ] || grep -q ' Z ' /proc/\$app/stat; }
wait_for 3 ended || kill -TERM \$app 2>/dev/null || true
wait_for 20 ended || fail "the application did not stop"
wait \$app 2>/dev/null || true
app=""
echo "repo_install: printed through CUPS and the application"
END
"$src/scripts/in-root.sh" "$root" sh /work/print.sh
