#!/bin/sh
# The main job: prints the bundled receipt (samples/shop-receipt.pdf, a
# shop's receipt that Chromium printed to PDF from samples/shop-receipt.html)
# through the real CUPS chain for the default model, an 80 mm two-color
# receipt printer with cutter (model 30), with cupsfilter (no scheduler
# needed): pdftopdf, then this driver's PDF filter.
# The printer bytes go to out/receipt.bin, the chain's log to
# out/receipt.log (the filter's own lines are shown), and peltrin-preview
# lists the printer commands and draws the paper roll in out/receipt.png.
#
#   scripts/demo.sh                                   model 30, PageCut=2
#   scripts/demo.sh 86 'PageCut=3 PaperReduction=Custom.60'
#   scripts/demo.sh 30 ColorModel=0 samples/two-color.pdf
#
# Exits with cupsfilter's exit status; 3 when the printer bytes do not decode.
set -eu
cd "$(dirname "$0")/.."

model=${1-30}
options=${2-PageCut=2}
document=${3-samples/shop-receipt.pdf}
build=build-demo
[ -r "$document" ] || { echo "demo: $document is missing" >&2; exit 2; }

scripts/setup.sh
mkdir -p out
echo "== building the filters, the PPDs and peltrin-preview in $build/"
# Its own build folder: the tests' build folder keeps its own settings.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=OFF >out/build.log 2>&1 &&
    cmake --build "$build" -j "$(nproc)" --target rastertoPeltrin pdftoPeltrin ppds peltrin-preview \
        >>out/build.log 2>&1 || {
        cat out/build.log >&2
        echo "demo: the build failed" >&2
        exit 2
    }
ppd=$(printf '%s/ppds/peltrin-%03d.ppd' "$build" "$model")
[ -r "$ppd" ] || { echo "demo: no PPD for model $model" >&2; exit 2; }

# A private ServerBin for cupsfilter: the system's filters linked in, this
# build's filters installed beside them (CUPS runs only root-owned filters
# that others cannot write).
serverbin=$(pwd)/out/cups/serverbin
rm -rf out/cups
mkdir -p "$serverbin/filter"
for f in /usr/lib/cups/filter/*; do
    ln -s "$f" "$serverbin/filter/"
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO install -m 0755 -o root -g root "$build/rastertoPeltrin" "$build/pdftoPeltrin" "$serverbin/filter/"
echo "ServerBin $serverbin" > out/cups/cups-files.conf

set -- -c out/cups/cups-files.conf -p "$ppd" -m printer/peltrin -e
for o in $options; do
    set -- "$@" -o "$o"
done
echo "== cupsfilter $* $document > out/receipt.bin"
set +e
cupsfilter "$@" "$document" > out/receipt.bin 2> out/receipt.log
status=$?
set -e

echo "== the filter's log lines (the whole chain's log is in out/receipt.log)"
grep -a -E 'PELTRIN|printing\.|Ready to print|No pages found|Set Color|^ERROR|^PAGE:' out/receipt.log || true
size=$(wc -c < out/receipt.bin)
echo "== $size printer bytes in out/receipt.bin; exit status $status"

echo "== printer commands (peltrin-preview --dump -o out/receipt.png out/receipt.bin)"
"$build/peltrin-preview" --dump -o out/receipt.png out/receipt.bin || {
    echo "demo: the printer bytes do not give a printout" >&2
    exit 3
}
echo "== picture of the printout in out/receipt.png"
exit "$status"
