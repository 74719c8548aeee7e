#!/bin/sh
# Builds the filter and runs it on the bundled sample job, as CUPS would for
# a raster job: samples/receipt.ras on standard input, samples/peltrin-tp80.ppd
# as the PPD. The printer bytes go to out/receipt.bin, the filter's log to
# out/receipt.log, which is shown.
#
#   scripts/demo.sh                  the job with the options "PageCut=2"
#   scripts/demo.sh 'PageCut=3 CashDrawer=1'   the job with other options
#
# Exits with the filter's exit status.
set -eu
cd "$(dirname "$0")/.."

options=${1-PageCut=2}
ppd=samples/peltrin-tp80.ppd
raster=samples/receipt.ras
build=build-demo

for f in "$ppd" "$raster"; do
    [ -r "$f" ] || { echo "demo: $f is missing (see samples/README.md)" >&2; exit 2; }
done

scripts/setup.sh
mkdir -p out
echo "== building the filter in $build/"
# Its own build folder: the tests' build folder keeps its own settings.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=OFF >out/build.log 2>&1 &&
    cmake --build "$build" -j "$(nproc)" --target rastertoPeltrin >>out/build.log 2>&1 || {
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
exit "$status"
