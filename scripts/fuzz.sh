#!/bin/sh
# Fuzzes each libFuzzer target of a Clang sanitizer build for a while:
#   sh scripts/fuzz.sh [BUILD_FOLDER [SECONDS]]    (build/sanitize, 60)
# New inputs collect in BUILD_FOLDER/fuzz/<target>/corpus, the committed seeds
# (tests/fuzz/corpus and the folders its CMakeLists names) stay as they are.
# A finding (crash, sanitizer report, leak, timeout, memory beyond the limit)
# stops the run with a non-zero exit and leaves its input in
# BUILD_FOLDER/fuzz/<target>/. A build without libFuzzer targets (GCC runs
# them as ordinary tests) is skipped.
set -e
cd "$(dirname "$0")/.."
build=${1:-build/sanitize}
seconds=${2:-60}
found=0
for seeds in "$build"/tests/fuzz/kivo_fuzz_*.seeds; do
    [ -f "$seeds" ] || continue
    found=1
    program=${seeds%.seeds}
    name=$(basename "$program")
    out=$build/fuzz/$name
    mkdir -p "$out/corpus"
    echo "Fuzzing $name for $seconds s"
    # The folders go in as arguments, one each, whatever they hold.
    # shellcheck disable=SC2046
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$program" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/" "$out/corpus" $(cat "$seeds") 2>"$out/log"; then
        tail -n 80 "$out/log"
        echo "$name found a fault; its input is in $out/" >&2
        exit 1
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE' "$out/log"
done
[ "$found" = 1 ] || echo "No libFuzzer targets in $build: skipped."
