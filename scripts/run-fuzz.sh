#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded number of runs from its
# committed seed corpus, as many at a time as there are processors. Exits non-zero on a crash,
# a failed check or a sanitizer report, after printing that target's output.
# Installs nothing: it needs the packages of `scripts/install-deps.sh --test`.
#   PVO_FUZZ_RUNS       number of runs (default 200000)
#   PVO_FUZZ_BUILD_DIR  build directory (default build/fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PVO_FUZZ_BUILD_DIR:-$root/build/fuzz}
runs=${PVO_FUZZ_RUNS:-200000}
fuzz_dir=$root/parvello/fuzz

mkdir -p "$build"
# Unity units: each target compiles its sources as a few units instead of one by one.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-16 \
      -DCMAKE_UNITY_BUILD=ON -DPVO_WITH_FUZZ=ON -DPVO_BUILD_TESTS=OFF >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target fuzz-targets

# New inputs the fuzzer finds go to a scratch directory, never into the committed seeds.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# [fuzz_runs=N] fuzz <name> <binary> <max_len> <seed dir> [libFuzzer options...]
# Starts the target in the background, once fewer than `slots` targets are running; its output
# goes to $work/<name>.log and its exit status to $work/<name>.rc.
slots=$(nproc)
names=()
fuzz() {
    local name=$1 binary=$2 max_len=$3 seeds=$4
    shift 4
    mkdir "$work/$name"
    while [ "$(jobs -rp | wc -l)" -ge "$slots" ]; do wait -n || true; done
    (
        set +e
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            "$build/$binary" -runs="${fuzz_runs:-$runs}" -max_len="$max_len" -artifact_prefix="$build/$name-" \
            -print_final_stats=1 "$@" "$work/$name" "$seeds" >"$work/$name.log" 2>&1
        echo $? >"$work/$name.rc"
    ) &
    names+=("$name")
}

fuzz request parvello/fuzz/request-fuzz 4096 "$fuzz_dir/corpus" -dict="$fuzz_dir/request.dict"
fuzz base64 parvello/fuzz/base64-fuzz 512 "$fuzz_dir/base64_corpus"
# The status reply dispatch, one seed per protocol with a status reply.
fuzz status parvello/fuzz/status-fuzz 512 "$fuzz_dir/status_corpus"
# DYMO deliveries, D1 job helpers and DYMO status replies.
fuzz dymo pvo-client-delivery/fuzz/dymo-fuzz 4096 "$root/pvo-client-delivery/fuzz/dymo_corpus"
# The login entry text (quoting of the executable path, reading an entry back).
fuzz entry parvello/fuzz/entry-fuzz 2048 "$fuzz_dir/entry_corpus"
# Catalog merges parse whole TOML documents and run about ten times slower than the others.
fuzz_runs=$((runs / 10)) fuzz catalog pvo-catalog/fuzz/catalog-fuzz 4096 "$root/pvo-catalog/fuzz/corpus" \
    -dict="$root/pvo-catalog/fuzz/catalog.dict"
# NIIMBOT packet search and the GPGL status line.
fuzz device-replies parvello/fuzz/device-replies-fuzz 1024 "$fuzz_dir/device_replies_corpus"

# Every target's last lines (its run count and final stats); all of the output of a failed one.
wait
failed=0
for name in "${names[@]}"; do
    if [ "$(cat "$work/$name.rc")" = 0 ]; then
        echo "== fuzz $name: passed"
        grep -E '^(Done|stat::)' "$work/$name.log" || true
    else
        echo "== fuzz $name: FAILED (exit $(cat "$work/$name.rc"))"
        cat "$work/$name.log"
        failed=1
    fi
done
exit "$failed"
