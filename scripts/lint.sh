#!/usr/bin/env bash
# The formatting and the static checks of `make test`: clang-format must have nothing
# to change, and clang-tidy (the checks in .clang-tidy) must find nothing in src/ and
# tools/. Needs the default build's compile_commands.json (make build).
set -euo pipefail
cd "$(dirname "$0")/.."

git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "lint: formatting is clean"

findings=$(git ls-files 'src/*.cpp' 'tools/*.cpp' |
    xargs -P "$(nproc)" -n 1 clang-tidy -p build --quiet 2>&1 |
    grep -E '^[^ ].*: (warning|error):' | sort -u || true)
if [[ -n "$findings" ]]; then
    echo "$findings"
    echo "lint: clang-tidy found $(wc -l <<<"$findings") problems"
    exit 1
fi
echo "lint: clang-tidy found nothing"
