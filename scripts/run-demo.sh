#!/usr/bin/env bash
# Stages the launcher in a demo game directory (build/demo) and starts it there.
# The demo's Karthos.prefs is copied only once, so that settings made in the
# launcher stay from one run to the next.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=build/demo
mkdir -p "$demo"
cp -f build/KTLaunch examples/KarthosDemo "$demo/"
cp -rf examples/data "$demo/"
[[ -e examples/kt.iff ]] && cp -f examples/kt.iff "$demo/"
[[ -e "$demo/Karthos.prefs" ]] || cp examples/Karthos.prefs "$demo/"

if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]]; then
    echo "run: no display here; to try it headless: xvfb-run -a $demo/KTLaunch" >&2
fi
echo "run: starting $demo/KTLaunch"
exec "$demo/KTLaunch"
