#!/usr/bin/env bash
# Takes the README's pictures of the launcher on a virtual X server, in a demo game
# directory with the banner, a stored Vexel mode and the German language pack:
#   docs/launcher.png      the window
#   docs/launcher-2x.png   the window at a scale factor of 2
# Needs a build (make build) and Xvfb and xdotool (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs
work=$(mktemp -d)
display=:$((200 + RANDOM % 200))
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; pkill -f "$work/KTLaunch" 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1

cp build/KTLaunch examples/kt.iff examples/Karthos.prefs "$work/"
mkdir -p "$work/data/missionsDE"

shoot() { # shoot OUTPUT [ENV...]
    local out=$1
    shift
    env DISPLAY="$display" LANG=de_DE.UTF-8 "$@" "$work/KTLaunch" >/dev/null 2>&1 &
    local pid=$! id=""
    for _ in $(seq 100); do
        id=$(DISPLAY="$display" xdotool search --onlyvisible --name '^Karthos Preferences$' 2>/dev/null | head -1) || true
        [[ -n "$id" ]] && break
        sleep 0.1
    done
    sleep 0.5 # let it paint
    DISPLAY="$display" build/tools/xshot "$out" "$id"
    kill "$pid"
    wait "$pid" || true
    echo "screenshots: $out"
}

shoot docs/launcher.png
shoot docs/launcher-2x.png QT_SCALE_FACTOR=2
