#!/usr/bin/env bash
# Sets up, builds, makes the demo file and starts Splicor on it.
#
#   bash scripts/run.sh                        on a desktop session; the program runs until its
#                                              window is closed (Ctrl+Q)
#   bash scripts/run.sh --screenshot FILE.png  anywhere, also without a display: starts Splicor on
#                                              a virtual display of its own, waits until the demo's
#                                              thumbnails are shown, saves a picture of the window
#                                              to FILE.png and ends the program
#   xvfb-run -a bash scripts/run.sh            on a virtual display nobody sees; Ctrl+C ends it
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/src/shell/splicor
demo="$PWD/build/media/demo.wmv"

# Runs on the virtual display that xvfb-run made for it (see --screenshot below).
if [ "${1:-}" = "--on-virtual-display" ]; then
    picture=$2
    "$program" "$demo" &
    pid=$!
    window=
    # The title names the demo once its thumbnails are all read.
    for _ in $(seq 600); do
        window=$(xdotool search --name 'demo\.wmv - splicor2' 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && break
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "Splicor ended at once: another Splicor runs (only one runs at a time)." >&2
            exit 1
        fi
        sleep 0.1
    done
    if [ -z "$window" ]; then
        kill "$pid"
        echo "Splicor did not show the demo within a minute." >&2
        exit 1
    fi
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    ffmpeg -nostdin -loglevel error -y -f x11grab -video_size "${WIDTH}x$HEIGHT" \
        -i "$DISPLAY+$X,$Y" -frames:v 1 "$picture"
    xdotool windowfocus --sync "$window" key ctrl+q
    wait "$pid"
    echo "The window as it was: $picture"
    exit 0
fi

bash scripts/setup.sh default
bash tests/media/make_test_media.sh build/media

if [ "${1:-}" = "--screenshot" ]; then
    picture=$(realpath -m "${2:?usage: run.sh --screenshot FILE.png}")
    exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --on-virtual-display "$picture"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Splicor is built, but there is no display to show its window on (DISPLAY and"
    echo "WAYLAND_DISPLAY are unset). Run it on a desktop session, or see it work on a virtual"
    echo "display, in a picture of its window:"
    echo
    echo "    bash scripts/run.sh --screenshot splicor.png"
    exit 1
fi
echo "Splicor runs until its window is closed: ファイル > アプリケーションの終了 (Ctrl+Q)."
echo "On a virtual display, where the window is not seen, press Ctrl+C here to end it."
# The thumbnail directory is build/src/shell/thum/, beside the program.
exec "$program" "$demo"
