#!/bin/sh
# Builds the libFuzzer harnesses (clang) in build-fuzz/ (BUILD_DIR overrides),
# runs each once over its committed seeds (fuzz/seeds/<harness>/) and
# reproducers (fuzz/crashes/<harness>/), then fuzzes each for SECONDS. An
# input that fails is kept in build-fuzz/findings/ and printed in base64, and
# the script fails.
#
#   fuzz/run.sh [SECONDS]                       each harness (raster, preview); 60 s by default
#   fuzz/run.sh repro raster|preview FILE...    run inputs once
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-fuzz}
# PELTRIN_FUZZ_EXTRA_FLAGS, e.g. -fno-sanitize=enum, looks past a known finding.
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELTRIN_FUZZ=ON -DPELTRIN_TESTS=OFF -DPELTRIN_WERROR=ON "-DPELTRIN_FUZZ_EXTRA_FLAGS=${PELTRIN_FUZZ_EXTRA_FLAGS-}" >/dev/null
cmake --build "$build" -j 2 --target peltrin_raster_fuzz peltrin_preview_fuzz >/dev/null

# cupsRasterReadHeader allocates a line buffer from the header's bytes per line: let that fail.
export ASAN_OPTIONS="allocator_may_return_null=1:max_allocation_size_mb=256:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
if [ "${1-}" = repro ]; then
    harness=$build/fuzz/peltrin_$2_fuzz
    shift 2
    exec "$harness" -runs=1 "$@"
fi

seconds=${1:-60}
findings=$build/findings
rm -rf "$findings"
mkdir -p "$findings"
failed=0
for name in raster preview; do
    mkdir -p "$build/corpus-$name" # grows from run to run
    set -- -max_len=16384 -timeout=20 -rss_limit_mb=2560 -artifact_prefix="$findings/$name-"
    committed="fuzz/seeds/$name $(ls -d "fuzz/crashes/$name" 2>/dev/null || true)"
    # shellcheck disable=SC2086 # two folders
    if ! "$build/fuzz/peltrin_${name}_fuzz" "$@" -runs=0 $committed >"$findings/$name.log" 2>&1 ||
       ! "$build/fuzz/peltrin_${name}_fuzz" "$@" -max_total_time="$seconds" -print_final_stats=1 \
           "$build/corpus-$name" "fuzz/seeds/$name" >>"$findings/$name.log" 2>&1; then
        failed=1
        tail -n 40 "$findings/$name.log"
    fi
    grep -h '^#.*DONE' "$findings/$name.log" | sed "s/^/$name: /" || true
done
for input in "$findings"/*-*; do
    [ -f "$input" ] && echo "fuzz finding $input (kept; base64):" && base64 "$input"
done
exit "$failed"
