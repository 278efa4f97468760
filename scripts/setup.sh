#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing KTLaunch need.
# Only what is missing is installed; a machine that has everything is left alone.
set -euo pipefail

packages=(
    # toolchain
    g++ make cmake ninja-build pkg-config clang libclang-rt-14-dev
    # the window toolkit and display modes
    qt6-base-dev libxrandr-dev
    # the translations: lupdate and lrelease, their CMake functions, and Qt's own texts
    qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
    # the window on Wayland, and a glyph of the pad's hint line (View's) most fonts lack
    qt6-wayland fonts-symbola
    # game controllers (SDL 2 is loaded at run time; its headers, and the tests, need this;
    # udev tells whether a pad is attached)
    libsdl2-dev libudev-dev
    fonts-dejavu-core adwaita-icon-theme
    # the window icon, drawn as SVG and rendered by the build; gio, which starts the desktop entry
    librsvg2-bin libglib2.0-bin
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # the store's peers in the benchmark, never linked into the program
    libinih-dev libsimpleini-dev
    # the real program under a virtual X server, driven by keyboard, and under a headless
    # Wayland compositor
    xvfb xauth xdotool x11-utils weston
    # a headless X server with real display-mode timings
    xserver-xorg-core xserver-xorg-video-dummy
    # the graphics cards' and GameMode's rows: private buses, switcheroo-control's
    # stand-in, and the real GameMode daemon
    dbus-daemon dbus-bin python3-dbusmock gamemode
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
if ((EUID != 0)); then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
