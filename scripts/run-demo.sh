#!/usr/bin/env bash
# Stages the launcher in a demo game directory and starts it there.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=build/demo
mkdir -p "$demo"
cp -f build/KTLaunch examples/kt.iff "$demo/"
[[ -e "$demo/Karthos.prefs" ]] || cp examples/Karthos.prefs "$demo/"
echo "run: starting $demo/KTLaunch"
exec "$demo/KTLaunch"
