#!/usr/bin/env bash
# Builds the fuzz targets (request reader, base64 decoder, catalog merge) with clang and runs each for a
# bounded number of runs from its committed seed corpus. Exits non-zero on a crash, a failed check or a sanitizer
# report. Installs nothing: it needs the packages of `scripts/install-deps.sh --test`.
#   PVO_FUZZ_RUNS       number of runs (default 200000)
#   PVO_FUZZ_BUILD_DIR  build directory (default build/fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PVO_FUZZ_BUILD_DIR:-$root/build/fuzz}
runs=${PVO_FUZZ_RUNS:-200000}
fuzz_dir=$root/parvello/fuzz

mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-16 \
      -DPVO_WITH_FUZZ=ON -DPVO_BUILD_TESTS=OFF >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target request-fuzz base64-fuzz status-fuzz catalog-fuzz

# New inputs the fuzzer finds go to a scratch directory, never into the committed seeds.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/parvello/fuzz/request-fuzz" -runs="$runs" -max_len=4096 -dict="$fuzz_dir/request.dict" \
    -artifact_prefix="$build/" -print_final_stats=1 "$work" "$fuzz_dir/corpus"

mkdir "$work/base64"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/parvello/fuzz/base64-fuzz" -runs="$runs" -max_len=512 \
    -artifact_prefix="$build/base64-" -print_final_stats=1 "$work/base64" "$fuzz_dir/base64_corpus"

# The status reply parsers, one seed per parser.
mkdir "$work/status"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/parvello/fuzz/status-fuzz" -runs="$runs" -max_len=512 \
    -artifact_prefix="$build/status-" -print_final_stats=1 "$work/status" "$fuzz_dir/status_corpus"

mkdir "$work/catalog"
catalog_fuzz_dir=$root/pvo-catalog/fuzz
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/pvo-catalog/fuzz/catalog-fuzz" -runs="$runs" -max_len=4096 \
    -dict="$catalog_fuzz_dir/catalog.dict" -artifact_prefix="$build/catalog-" \
    -print_final_stats=1 "$work/catalog" "$catalog_fuzz_dir/corpus"
