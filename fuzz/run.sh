#!/bin/sh
# Builds the libFuzzer harness and fuzzes the filter's raster job.
#
#   fuzz/run.sh [seconds] [libFuzzer arguments...]   fuzz (default 600 s, one job)
#   fuzz/run.sh repro <file>...                      run inputs once (reproducers)
#
# Crashes are written to fuzz/crashes/; the growing corpus stays in the build
# folder (build-fuzz, BUILD_DIR overrides it); fuzz/seeds/ is the seed corpus.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-fuzz}

# PELTRIN_FUZZ_EXTRA_FLAGS, e.g. -fno-sanitize=enum, looks past a known finding.
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELTRIN_FUZZ=ON -DPELTRIN_TESTS=OFF -DPELTRIN_WERROR=ON "-DPELTRIN_FUZZ_EXTRA_FLAGS=${PELTRIN_FUZZ_EXTRA_FLAGS-}" >/dev/null
cmake --build "$build" -j 2 --target peltrin_fuzz peltrin_fuzz_seeds

# cupsRasterReadHeader allocates a line buffer from the header's bytes per
# line before the filter sees the header: let such allocations fail instead
# of reporting them.
export ASAN_OPTIONS="allocator_may_return_null=1:max_allocation_size_mb=256:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

if [ "${1-}" = repro ]; then
    shift
    exec "$build/fuzz/peltrin_fuzz" -runs=1 "$@"
fi

seconds=${1:-600}
[ $# -eq 0 ] || shift
mkdir -p "$build/corpus" fuzz/seeds fuzz/crashes
"$build/fuzz/peltrin_fuzz_seeds" fuzz/seeds
exec "$build/fuzz/peltrin_fuzz" "$build/corpus" fuzz/seeds \
    -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=2560 \
    -artifact_prefix=fuzz/crashes/ -print_final_stats=1 "$@"
