#!/usr/bin/env bash
# Runs every fuzz target of BUILD_DIR for SECONDS each, starting from its committed corpus in
# fuzz/corpus/<target>/ (which holds the minimised inputs of every fault found so far). What
# a run finds new stays in BUILD_DIR/corpus/<target>/. Fails on the first crash, sanitizer
# report or broken invariant; the input is then in BUILD_DIR/artifacts/.
#   fuzz/run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
set -euo pipefail
build=${1:?build directory}
seconds=${2:?seconds per target}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_reply_match fuzz_chunkers fuzz_traffic_decoder fuzz_ini_roundtrip
             fuzz_setup_loader fuzz_compare fuzz_cli_options fuzz_sim_frame_parser)
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$here/../tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/artifacts"
status=0
for target in "${targets[@]}"; do
    work="$build/corpus/$target"
    mkdir -p "$work"
    log="$build/$target.log"
    echo "== $target: ${seconds}s"
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$work" "$here/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        echo "   ok: ${runs:-?} executions, corpus $(ls "$work" | wc -l) new inputs"
    else
        echo "   FAILED (log: $log)"
        grep -E "ERROR|BROKEN INVARIANT|runtime error|SUMMARY|Test unit written" "$log" | head -20
        status=1
    fi
done
exit $status
