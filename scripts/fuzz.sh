#!/usr/bin/env bash
# Builds the preferences-file fuzzer (in the clang sanitizer build) and runs it for a
# bounded time.
# Usage: scripts/fuzz.sh [seconds]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake --preset asan >/dev/null
cmake --build --preset asan --target fuzz_prefs

# Work on a copy, so that the seeds in the repository stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/* "$work/"
status=0
build-asan/fuzz/fuzz_prefs -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -print_final_stats=1 -artifact_prefix=build-asan/ "$work" >"$work.log" 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|SUMMARY)' "$work.log" || true
if ((status != 0)); then
    tail -n 40 "$work.log"
    rm -f "$work.log"
    echo "fuzz: FAILED (exit $status); the crashing input is in build-asan/"
    exit 1
fi
rm -f "$work.log"
echo "fuzz: no crash, no sanitizer report, saving a fixed point in ${seconds}s"
