#!/usr/bin/env bash
# Builds the fuzzers (in the clang sanitizer build), the preferences-file reader's and
# the banner decoder's, and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds]   (default 30, for each)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake --preset asan >/dev/null
cmake --build --preset asan --target fuzz_prefs fuzz_picture

for target in prefs picture; do
    # Work on a copy, so that the seeds in the repository stay as they are.
    work=$(mktemp -d)
    cp "fuzz/corpus-$target"/* "$work/"
    status=0
    build-asan/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix=build-asan/ "$work" \
        >"$work.log" 2>&1 || status=$?
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|SUMMARY)' \
        "$work.log" || true
    if ((status != 0)); then
        tail -n 40 "$work.log"
        rm -rf "$work" "$work.log"
        echo "fuzz_$target: FAILED (exit $status); the crashing input is in build-asan/"
        exit 1
    fi
    rm -rf "$work" "$work.log"
    echo "fuzz_$target: no crash, no sanitizer report in ${seconds}s"
done
