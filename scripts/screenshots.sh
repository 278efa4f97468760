#!/usr/bin/env bash
# Takes the README's pictures of the launcher on a virtual X server, in a demo game
# directory with the banner, a stored Vexel mode and the German language pack:
#   docs/launcher.png      the window
#   docs/launcher-2x.png   the window at a scale factor of 2
#   docs/launcher-de.png, docs/launcher-de-2x.png, docs/launcher-fr.png
#                          the window in German (at scale factors 1 and 2) and French
#   docs/error.png         an error with its reason
#   docs/gamepad.png       the window with a game controller connected (SDL's virtual
#                          pad, attached inside build/tools/padshot, which opens the
#                          launcher's window as KTLaunch does) and pressed down once
#   docs/gamepad-dark.png  the same in a dark palette
#   docs/screenmode.png    the screen-mode requester, on Xorg's dummy driver with real
#                          mode timings (needs root, as Xorg does)
# Needs a build (make build), Xvfb, Xorg's dummy driver and xdotool (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs
work=$(mktemp -d)
display=:$((200 + RANDOM % 200))
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
xorg=""
trap 'kill $xvfb $xorg 2>/dev/null; pkill -f "$work/KTLaunch" 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1

cp build/KTLaunch examples/kt.iff examples/Karthos.prefs "$work/"
mkdir -p "$work/data/missionsDE" "$work/data/missionsFR"

window_of() { # window_of DISPLAY TITLE
    local id=""
    for _ in $(seq 100); do
        id=$(DISPLAY="$1" xdotool search --onlyvisible --name "^($2)\$" 2>/dev/null | head -1) || true
        [[ -n "$id" ]] && break
        sleep 0.1
    done
    sleep 0.5 # let it paint
    echo "$id"
}

# The window's title in each of its languages.
titles="Karthos Preferences|Karthos-Einstellungen|Pr.+f.+rences de Karthos" # é: bytes to xdotool

shoot() { # shoot OUTPUT [ENV...]: on a German desktop that prefers English, unless ENV says
    local out=$1
    shift
    env DISPLAY="$display" LANG=de_DE.UTF-8 LANGUAGE=en "$@" "$work/KTLaunch" >/dev/null 2>&1 &
    local pid=$!
    DISPLAY="$display" build/tools/xshot "$out" "$(window_of "$display" "$titles")"
    kill "$pid"
    wait "$pid" || true
    echo "screenshots: $out"
}

shoot docs/launcher.png
shoot docs/launcher-2x.png QT_SCALE_FACTOR=2
shoot docs/launcher-de.png LANGUAGE=de
shoot docs/launcher-de-2x.png LANGUAGE=de QT_SCALE_FACTOR=2
shoot docs/launcher-fr.png LANG=fr_FR.UTF-8 LANGUAGE=fr

# An error with its reason: Save & Launch in a game directory without the game.
DISPLAY="$display" "$work/KTLaunch" >/dev/null 2>&1 &
pid=$!
DISPLAY="$display" xdotool windowfocus --sync "$(window_of "$display" "Karthos Preferences")" \
    key alt+l
DISPLAY="$display" build/tools/xshot docs/error.png "$(window_of "$display" "Error")"
echo "screenshots: docs/error.png"
kill "$pid"
wait "$pid" || true

# The pad's hint line and the focus ring after its first press, in a light and a dark palette.
for palette in "" dark; do
    out=docs/gamepad${palette:+-$palette}.png
    DISPLAY="$display" LANG=de_DE.UTF-8 build/tools/padshot "$work" $palette >/dev/null 2>&1 &
    pid=$!
    DISPLAY="$display" build/tools/xshot "$out" "$(window_of "$display" "Karthos Preferences")"
    echo "screenshots: $out"
    kill "$pid"
    wait "$pid" || true
done

# The requester, opened from the screen-mode button by keyboard.
modes=:$((400 + RANDOM % 200))
cat >"$work/xorg.conf" <<'CONF'
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "1920x1080" 148.352 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
    Modeline "1280x720" 74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync
    Modeline "400x300" 20.0 400 440 480 528 300 301 304 314 +hsync +vsync
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1920x1080" "1280x720" "400x300"
        Virtual 1920 1080
    EndSubSection
EndSection
CONF
Xorg "$modes" -noreset -nolisten tcp -sharevts -novtswitch -config "$work/xorg.conf" \
    -logfile "$work/xorg.log" >/dev/null 2>&1 &
xorg=$!
for _ in $(seq 100); do DISPLAY="$modes" xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY="$modes" "$work/KTLaunch" >/dev/null 2>&1 &
launcher=$!
main=$(window_of "$modes" "Karthos Preferences")
DISPLAY="$modes" xdotool windowfocus --sync "$main" key Tab Tab Tab space
DISPLAY="$modes" build/tools/xshot docs/screenmode.png "$(window_of "$modes" "Pick a screenmode")"
echo "screenshots: docs/screenmode.png"
kill "$launcher"
wait "$launcher" || true
