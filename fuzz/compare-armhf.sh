#!/bin/sh
# Runs fuzz inputs as jobs of the real executable twice, built for the host
# and for 32-bit ARM (under qemu-user), and reports every job whose printer
# bytes, log or exit status differ: size arithmetic that depends on the
# width of size_t shows up here. Buffer addresses in the log are not compared.
#
#   fuzz/compare-armhf.sh [input folder or file]...   (default: the fuzz corpus and seeds)
#
# Needs scripts/cross-armhf.sh to have built build-armhf/ (ARMHF_BUILD
# overrides it); the host filter and the export tool come from the fuzz
# build folder (BUILD_DIR, default build-fuzz).
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-fuzz}
armhf=${ARMHF_BUILD:-build-armhf}/rastertoPeltrin
[ -x "$armhf" ] || { echo "no $armhf: run scripts/cross-armhf.sh first" >&2; exit 2; }

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELTRIN_FUZZ=ON -DPELTRIN_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target rastertoPeltrin peltrin_fuzz_export >/dev/null
host=$build/rastertoPeltrin

[ $# -gt 0 ] || set -- "$build/corpus" fuzz/seeds
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
find "$@" -type f -print0 | xargs -0 "$build/fuzz/peltrin_fuzz_export" "$W" > "$W/jobs"

total=0
differ=0
tab=$(printf '\t')
while IFS="$tab" read -r name ppd options; do
    total=$((total + 1))
    set +e
    PPD=$ppd "$host" 1 fuzz fuzz 1 "$options" < "$W/$name.ras" > "$W/a.out" 2> "$W/a.err"
    a=$?
    PPD=$ppd qemu-arm "$armhf" 1 fuzz fuzz 1 "$options" < "$W/$name.ras" > "$W/b.out" 2> "$W/b.err"
    b=$?
    set -e
    # Buffer addresses in the log differ by nature.
    sed -i 's/0x[0-9a-f]*/0x?/g' "$W/a.err" "$W/b.err"
    if [ "$a" != "$b" ] || ! cmp -s "$W/a.out" "$W/b.out" || ! cmp -s "$W/a.err" "$W/b.err"; then
        differ=$((differ + 1))
        echo "DIFFERS: $name (model PPD $ppd, options \"$options\"): exit $a / $b," \
            "$(wc -c < "$W/a.out") / $(wc -c < "$W/b.out") printer bytes"
        diff "$W/a.err" "$W/b.err" | head -6 || true
    fi
done < "$W/jobs"
echo "$total jobs, $differ differ between the host and the armhf build"
[ "$differ" -eq 0 ]
