#!/usr/bin/env bash
# Builds the preferences-file fuzzer with clang and runs it for a bounded time.
# Usage: scripts/fuzz.sh [seconds]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ not found, fuzzing skipped"
    exit 0
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# Work on a copy, so that the seeds in the repository stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/* "$work/"
status=0
build-fuzz/fuzz/fuzz_prefs -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work" >"$work.log" 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|SUMMARY)' "$work.log" || true
if ((status != 0)); then
    tail -n 40 "$work.log"
    rm -f "$work.log"
    echo "fuzz: FAILED (exit $status); the crashing input is in build-fuzz/"
    exit 1
fi
rm -f "$work.log"
echo "fuzz: no crash, no sanitizer report, saving a fixed point in ${seconds}s"
