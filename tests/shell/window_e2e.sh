#!/usr/bin/env bash
# The program as a user drives it, on a virtual display: open two files from the command line,
# delete a thumbnail, save with a number, close a document, exit, start again and find the other
# document back without its video being read again. A second instance changes nothing, and the
# thumbnail directory keeps its document files but never bitmaps.
#
#   window_e2e.sh PROGRAM MEDIA_DIR ARTEFACT_DIR
#
# The program runs as a copy in a temporary directory, so its thumbnail directory ("thum/"
# beside it) is the test's own. A screenshot of the window goes to ARTEFACT_DIR.
set -euo pipefail

program=$1
media=$2
artefacts=$3
mkdir -p "$artefacts"
# Under LeakSanitizer, leave out what the libraries below Qt keep until the process ends.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

work=$(mktemp -d /tmp/splicor-e2e-XXXXXX)
app="$work/app"
sources="$work/sources"
thum="$app/thum"
mkdir -p "$app" "$sources"
cp "$program" "$app/splicor"
cp "$media/wmv1_wmav1.wmv" "$sources/a.wmv"
cp "$media/wmv2_wmav2.wmv" "$sources/b.wmv"
cp "$media/mp43_only.asf" "$sources/c.asf"

xvfb_pid=
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
    done
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    tail -n 40 "$work/out.log" >&2 2>/dev/null || true
    echo "--- Xvfb:" >&2
    tail -n 20 "$work/xvfb.log" >&2 2>/dev/null || true
    exit 1
}

# until SECONDS COMMAND...: runs the command every 0.1 s until it succeeds.
until_true() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# One instance runs per user: wait for one started elsewhere (another build's test) to end.
lock="/tmp/SplicorWin32-$(id -u).lock"
until_true 120 flock -n "$lock" true || fail "another Splicor keeps running"

# A display of our own; Xvfb writes its number once it accepts clients. Without -noreset the
# server starts afresh each time its last client leaves (xdotool's probes, the program between
# two runs), and a program connecting during that reset is turned away.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
until_true 20 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# A client must get through before the program is started on it.
until_true 20 xdotool getdisplaygeometry || fail "display $DISPLAY does not take clients"

start() {
    (cd "$app" && exec ./splicor "$@") >"$work/out.log" 2>&1 &
    running=$!
    pids+=("$running")
}

window_named() {
    xdotool search --name "$1" | head -n 1 | grep .
}

# Waits until the window's title matches, then gives it the keyboard.
wait_for_title() {
    until_true 60 window_named "$1" || fail "no window titled '$1'"
    window=$(window_named "$1")
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
}

# Waits for the program to end; fails unless it ends with 0.
wait_for_exit() {
    local pid=$1
    until_true 60 bash -c "! kill -0 $pid" || fail "the program did not end"
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "exit status $status"
}

stamp() {
    stat -c '%i %Y %s' "$@"
}

# Bitmaps left by an earlier run go at start-up.
mkdir -p "$thum"
touch "$thum/old.bmp"

start "$sources/a.wmv" "$sources/b.wmv"
first=$running
wait_for_title 'a\.wmv - splicor2 0\.019'
[ ! -e "$thum/old.bmp" ] || fail "old.bmp survived the start"
until_true 30 test -e "$thum/b.wmv-thum.txt" || fail "b.wmv was not read"

# A second instance ends at once with 0 and leaves its file alone.
status=0
timeout 10 bash -c 'cd "$1" && exec ./splicor "$2"' _ "$app" "$sources/c.asf" || status=$?
[ "$status" -eq 0 ] || fail "the second instance ended with $status"
kill -0 "$first" || fail "the first instance is gone"
window_named 'a\.wmv - splicor2 0\.019' >/dev/null || fail "the first instance's title changed"

# The window as it is now, for whoever reads the test's results.
eval "$(xdotool getwindowgeometry --shell "$window")"
ffmpeg -nostdin -loglevel error -y -f x11grab -video_size "${WIDTH}x$HEIGHT" \
    -i "$DISPLAY+$X,$Y" -frames:v 1 "$artefacts/splicor-window.png" || echo "no screenshot" >&2

# Click the first thumbnail (just below the menu bar), delete it, save with a number.
xdotool mousemove --window "$window" 80 100 click 1
xdotool key Delete
xdotool key ctrl+d
until_true 60 test -e "$sources/a-1.wmv" || fail "no numbered output"
until_true 60 bash -c "! ls '$thum'/*-cut.txt" || fail "the cut did not end"
ffmpeg -nostdin -v error -i "$sources/a-1.wmv" -f null - 2>"$work/decode.log" ||
    fail "the output does not decode"
[ ! -s "$work/decode.log" ] || fail "decoding errors: $(head -3 "$work/decode.log")"
duration() {
    ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"
}
awk -v cut="$(duration "$sources/a-1.wmv")" -v source="$(duration "$sources/a.wmv")" \
    'BEGIN { exit !(cut > 0 && cut < source - 0.5) }' || fail "the thumbnail was not cut away"

# Close a.wmv: b.wmv is shown.
xdotool key ctrl+w
wait_for_title 'b\.wmv - splicor2 0\.019'
until_true 10 bash -c "! test -e '$thum/a.wmv-thum.txt'" || fail "a.wmv's files stayed"
kept=$(stamp "$thum/b.wmv-thum.txt" "$thum/b.wmv.thum")
touch "$thum/late.bmp"
xdotool key ctrl+q
wait_for_exit "$first"
[ ! -e "$thum/late.bmp" ] || fail "late.bmp survived the exit"
[ "$(stamp "$thum/b.wmv-thum.txt" "$thum/b.wmv.thum")" = "$kept" ] || fail "b.wmv's files changed"

# Again: b.wmv comes back from its files, current and ready, without being read again (its
# files are the same files); closing it then deletes them.
start
second=$running
wait_for_title '^splicor2 0\.019$'
sleep 1
[ "$(stamp "$thum/b.wmv-thum.txt" "$thum/b.wmv.thum")" = "$kept" ] || fail "b.wmv was read again"
xdotool key ctrl+w
until_true 10 bash -c "! test -e '$thum/b.wmv-thum.txt'" || fail "b.wmv was not back"
wait_for_title '^ - splicor2 0\.019$'
xdotool key ctrl+q
wait_for_exit "$second"
[ ! -e "$sources/c-1.asf" ] && [ -z "$(ls "$thum")" ] || fail "left over: $(ls "$thum")"
echo "PASS"
