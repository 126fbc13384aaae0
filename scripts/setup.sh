#!/usr/bin/env bash
# Installs every Debian package Splicor needs (idempotent; as root or through sudo), then
# configures and builds the given CMake presets (default: "default").
#
#   bash scripts/setup.sh [PRESET...]
#   bash scripts/setup.sh --list-packages     (only print the package list)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    # build tools
    build-essential cmake ninja-build pkg-config git clang clang-format-14 libclang-rt-14-dev
    # libraries
    qt6-base-dev libgl-dev libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libboost-dev
    libpng-dev
    libgtest-dev googletest nlohmann-json3-dev
    # the toolkit's own texts (dialogs, the scroll bar's menu) in Japanese
    qt6-translations-l10n
    # X: the program asks the display whether it answers, and publishes its window's state;
    # the end-to-end test's small X client drops files (XDND) and reads that state
    libxcb1-dev libx11-dev
    # tools the tests run: independent readers, media makers, a display and input for the window
    ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-plugins-ugly gstreamer1.0-libav xvfb xauth xdotool fonts-noto-cjk
    # gst-discoverer-1.0: how many streams GStreamer shows, and whether it can seek
    gstreamer1.0-plugins-base-apps
    # benchmarks: peak memory
    time
    # the command line's JSON read back by Python's json module; its manual page checked
    python3 groff-base
)

if [ "${1:-}" = --list-packages ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
