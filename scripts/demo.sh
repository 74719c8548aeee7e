#!/bin/sh
# Builds the filter and runs it on the bundled sample job: the printer bytes
# go to out/receipt.bin and the filter's log is shown.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRIN_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target rastertoPeltrin >/dev/null
mkdir -p out
set +e
PPD=samples/peltrin-tp80.ppd build/rastertoPeltrin 1 demo receipt 1 "PageCut=2" \
    < samples/receipt.ras > out/receipt.bin 2> out/receipt.log
status=$?
set -e
cat out/receipt.log
echo "exit status $status; $(wc -c < out/receipt.bin) printer bytes in out/receipt.bin"
