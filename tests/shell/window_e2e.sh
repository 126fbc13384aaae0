#!/usr/bin/env bash
# The program as a user drives it, on a virtual display of its own, checked by what it shows and
# what it writes.
#
#   window_e2e.sh PROGRAM PROBE MEDIA_DIR ARTEFACT_DIR [full|smoke]
#
# Both scenarios: the title and the status texts (whole, not clipped), the grid's first cell
# pixel for pixel against the first thumbnail record, a click on the third thumbnail, Delete and
# Ctrl+D giving a file whose key frames are the source's with exactly that stretch taken out, a
# second instance that changes nothing, and a restart that brings the documents back from their
# files without reading the videos again.
#
# "smoke" then closes the documents, leaving nothing behind. "full" also turns the wheel over the
# grid, the scroll bar and the status bar; drops files from another X client (XDND), one of them
# named in bytes that are not UTF-8; sends a document back with Ctrl+B; selects a run by dragging
# the mouse and saves it alone through the save dialog, driven by keys, into a folder named in
# bytes that are not UTF-8; and opens two files through the open dialog, driven by keys, one of
# them named so, whose thumbnails are then shown; after the restart it sends back each document
# in turn, each one shown from its files. The dialogs are found by their Japanese titles.
#
# PROBE is x_window_probe (XDND drops, and the state the window publishes). The program runs as a
# copy in a temporary directory, so its thumbnail directory ("thum/" beside it) is the test's own.
# Screenshots go to ARTEFACT_DIR.
set -euo pipefail

program=$1
probe=$2
media=$3
artefacts=$4
scenario=${5:-smoke}
mkdir -p "$artefacts"
# Under LeakSanitizer, leave out what the libraries below Qt keep until the process ends.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LC_ALL=C.UTF-8

work=$(mktemp -d /tmp/splicor-e2e-XXXXXX)
app="$work/app"
sources="$work/sources"
thum="$app/thum"
mkdir -p "$app" "$sources"
cp "$program" "$app/splicor"
# "[*]" is what the toolkit would take for a placeholder in a title.
a="$sources/a[*].wmv"
# Names that are not UTF-8: one dropped, one chosen in the open dialog, a folder saved into.
deja="$sources/d"$'\xe9'"j"$'\xe0'".wmv"
cafe="$sources/caf"$'\xe9'".wmv"
results="$sources/r"$'\xe9'"sultats"
# Key frames at uneven times, so that cutting away any other stretch, or saving any other run,
# gives other times: 0, 0.6, 1.6, 3.2, 3.6 and 5 s, in 6 s.
ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=6 \
    -f lavfi -i sine=frequency=440:sample_rate=22050:duration=6 -map 0:v -map 1:a -c:v wmv2 \
    -b:v 400k -g 1000 -force_key_frames 0,0.6,1.6,3.2,3.6,5 -c:a wmav2 -b:a 64k -fflags +bitexact \
    -f asf "$a"
cp "$a" "$sources/b.wmv"
cp "$media/mp43_only.asf" "$sources/c.asf"
cp "$media/mp43_only.asf" "$cafe"
cp "$media/mp43_only.asf" "$deja"
# A video by its content but not by its name: a drop must leave it out, or it would be read.
cp "$media/mp43_only.asf" "$sources/notes.txt"
mkdir "$results"

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
    [ -z "${window:-}" ] || screenshot failure.png 2>/dev/null || true
    tail -n 40 "$work/out.log" >&2 2>/dev/null || true
    echo "--- window state:" >&2
    "$probe" state "${window:-0}" >&2 2>/dev/null || true
    echo "--- Xvfb:" >&2
    tail -n 20 "$work/xvfb.log" >&2 2>/dev/null || true
    exit 1
}

# until_true SECONDS COMMAND...: runs the command every 0.1 s until it succeeds.
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

# Waits until a window's title matches, then gives it the keyboard; sets $found.
wait_for_window() {
    until_true 60 window_named "$1" || fail "no window titled '$1'"
    found=$(window_named "$1")
    timeout 10 xdotool windowfocus --sync "$found" || fail "the window '$1' takes no keys"
}

# Waits for the main window's title to be exactly TEXT.
wait_for_title() {
    local text=$1
    title_is() { [ "$(xdotool getwindowname "$window")" = "$text" ]; }
    until_true 30 title_is || fail "the title is '$(xdotool getwindowname "$window")', not '$text'"
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

state() {
    "$probe" state "$window"
}

# Waits until the status bar shows exactly these five texts, each of them whole.
wait_for_status() {
    local expected=""
    local i=0
    for text in "$@"; do
        expected+="status $i whole $text"$'\n'
        i=$((i + 1))
    done
    status_is() { [ "$(state | grep '^status ')"$'\n' = "$expected" ]; }
    until_true 30 status_is || fail "the status bar shows
$(state | grep '^status ')
not
$expected"
}

# The window's place on the screen and its parts' places in it, from the published state.
read_layout() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    read -r _ gx gy gw gh < <(state | grep '^grid ')
    read -r _ sx sy sw sh < <(state | grep '^scrollbar ')
    read -r _ bx by bw bh < <(state | grep '^statusbar ')
    columns=$((gw / 160))
}

scroll_value() {
    state | awk '$1 == "scroll" { print $2 }'
}

# inner FILTERS INPUT...: the inner 140 x 100 pixels of a 160 x 120 picture, as RGB bytes, after
# FILTERS: the cursor's and the selection's frames lie outside them.
inner() {
    local filters=$1
    shift
    ffmpeg -nostdin -loglevel error -y "$@" -vf "${filters}crop=140:100:10:10" -f rawvideo \
        -pix_fmt rgb24 -
}

# cell_shows N RECORD: the grid's visible cell N (from the top left, row by row) shows record
# RECORD of the cache file FILE.thum, pixel for pixel.
cell_shows() {
    local cell=$1 record=$2 cache=$3
    local x=$((X + gx + cell % columns * 160)) y=$((Y + gy + cell / columns * 120))
    inner "" -f x11grab -draw_mouse 0 -video_size 160x120 -i "$DISPLAY+$x,$y" -frames:v 1 >"$work/cell.rgb" &&
        dd if="$cache" of="$work/record.bgr" bs=57600 skip="$record" count=1 status=none &&
        [ "$(stat -c %s "$work/record.bgr")" = 57600 ] &&
        # Records are stored bottom-up, in BGR.
        inner vflip, -f rawvideo -pix_fmt bgr24 -video_size 160x120 -i "$work/record.bgr" \
            >"$work/record.rgb" &&
        cmp -s "$work/cell.rgb" "$work/record.rgb"
}

# screenshot FILE [WINDOW]: a picture of the main window, or of WINDOW.
screenshot() {
    eval "$(xdotool getwindowgeometry --shell "${2:-$window}")"
    ffmpeg -nostdin -loglevel error -y -f x11grab -video_size "${WIDTH}x$HEIGHT" \
        -i "$DISPLAY+$X,$Y" -frames:v 1 "$artefacts/$1" || echo "no screenshot" >&2
}

# The times of a file's video key frames, in milliseconds from the first, one a line, as FFmpeg
# reads them. (The sources start a few milliseconds late, as FFmpeg writes them; a cut starts at 0.)
key_times() {
    ffprobe -v error -select_streams v:0 -show_entries packet=pts,flags -of csv=p=0 "$1" |
        awk -F, '$2 ~ /K/ { if (first == "") first = $1; print $1 - first }'
}

# Waits for the cut to FILE to end, and checks that FFmpeg decodes it without a complaint.
wait_for_cut() {
    until_true 60 test -e "$1" || fail "no output $1"
    until_true 60 bash -c "! ls '$thum'/*-cut.txt" || fail "the cut to $1 did not end"
    ffmpeg -nostdin -v error -i "$1" -f null - 2>"$work/decode.log" || fail "$1 does not decode"
    [ ! -s "$work/decode.log" ] || fail "decoding errors in $1: $(head -3 "$work/decode.log")"
}

# without_stretch SOURCE N: SOURCE's key-frame times with stretch N (from key frame N to the next)
# cut out: the later key frames move back by the stretch's length.
without_stretch() {
    key_times "$1" | awk -v n="$2" '{ t[NR - 1] = $1 } END {
        gap = t[n + 1] - t[n]
        for (i = 0; i < NR; i++) if (i < n) print t[i]; else if (i > n) print t[i] - gap }'
}

# only_run SOURCE FIRST LAST: the key-frame times of stretches FIRST to LAST saved alone.
only_run() {
    key_times "$1" | awk -v first="$2" -v last="$3" '{ t[NR - 1] = $1 } END {
        for (i = first; i <= last; i++) print t[i] - t[first] }'
}

same_times() {
    local what=$1 got=$2 expected=$3
    [ "$got" = "$expected" ] || fail "$what: key frames at
$got
expected
$expected"
}

stamps() {
    stat -c '%n %i %Y %s' "$thum"/*-thum.txt "$thum"/*.thum
}

# Click the centre of the grid's visible cell N.
click_cell() {
    xdotool mousemove --window "$window" $((gx + $1 % columns * 160 + 80)) \
        $((gy + $1 / columns * 120 + 60)) click 1
}

# Bitmaps left by an earlier run go at start-up.
mkdir -p "$thum"
touch "$thum/old.bmp"

empty_status=("0  ファイル読込済み" "0  ファイル待ち" "読込中ファイル無し" "0  ファイル分割待ち"
    "分割中ファイル無し")
if [ "$scenario" = full ]; then
    start "$a"
else
    start "$a" "$sources/b.wmv"
fi
first=$running
wait_for_window 'a\[\*\]\.wmv - splicor2 0\.019$'
window=$found
wait_for_title "$a - splicor2 0.019"
[ ! -e "$thum/old.bmp" ] || fail "old.bmp survived the start"
if [ "$scenario" = full ]; then
    wait_for_status "${empty_status[@]}"
else
    until_true 30 test -e "$thum/b.wmv-thum.txt" || fail "b.wmv was not read"
    wait_for_status "1  ファイル読込済み" "${empty_status[@]:1}"
fi
a_cache="$thum/a[*].wmv.thum"

# A second instance ends at once with 0 and leaves its file alone.
status=0
timeout 10 bash -c 'cd "$1" && exec ./splicor "$2"' _ "$app" "$sources/c.asf" || status=$?
[ "$status" -eq 0 ] || fail "the second instance ended with $status"
kill -0 "$first" || fail "the first instance is gone"
[ "$(xdotool getwindowname "$window")" = "$a - splicor2 0.019" ] || fail "the first's title changed"

read_layout
until_true 10 cell_shows 0 0 "$a_cache" || fail "the first cell does not show the first thumbnail"
screenshot splicor-window.png

if [ "$scenario" = full ]; then
    # A narrow window: one column, three whole rows, so the six thumbnails scroll by four rows,
    # and a notch is one row, not the toolkit's three.
    normal_size=("$WIDTH" "$HEIGHT")
    xdotool windowsize "$window" 300 $((HEIGHT - gh + 400))
    until_true 10 bash -c "'$probe' state $window | grep -q '^scroll 0 0 4 enabled'" ||
        fail "the bar does not offer four rows to scroll"
    read_layout
    [ "$columns" = 1 ] || fail "$columns columns in a grid $gw wide"
    # wheel X Y BUTTON ROW: a notch (4 up, 5 down) at X, Y of the window; the grid then starts
    # at ROW, one row on, and the bar says so.
    wheel() {
        xdotool mousemove --window "$window" "$1" "$2" click "$3"
        until_true 10 test "$(scroll_value)" = "$4" || fail "the bar is at $(scroll_value), not $4"
        until_true 10 cell_shows 0 $(($4 * columns)) "$a_cache" ||
            fail "the grid does not start at row $4 after the wheel at $1, $2"
    }
    wheel $((sx + sw / 2)) $((sy + sh / 2)) 5 1         # over the scroll bar
    wheel $((gx + 100)) $((gy + 60)) 5 2                # over the grid
    wheel $((bx + bw / 2)) $((by + bh / 2)) 4 1         # over the status bar
    wheel $((gx + 100)) $((gy + 60)) 4 0
    xdotool windowsize "$window" "${normal_size[@]}"
    until_true 10 bash -c "'$probe' state $window | grep -q '^scroll 0 0 0 disabled'" ||
        fail "the window did not take its size back"
    read_layout
fi

# Delete the third thumbnail (the stretch from 1.6 to 3.2 s) and save with a number.
click_cell 2
xdotool key Delete
xdotool key ctrl+d
wait_for_cut "$sources/a[*]-1.wmv"
same_times "a[*].wmv without its third stretch" "$(key_times "$sources/a[*]-1.wmv")" \
    "$(without_stretch "$a" 2)"

if [ "$scenario" = full ]; then
    # Files dropped from another client: the two named as videos are read, notes.txt is not
    # (read, it would count as a third).
    "$probe" drop "$window" $((gx + 50)) $((gy + 50)) "$sources/b.wmv" "$deja" \
        "$sources/notes.txt" || fail "the drop did not go through"
    until_true 30 test -e "$thum/b.wmv-thum.txt" || fail "the dropped b.wmv was not read"
    until_true 30 test -e "$thum/d"$'\xe9'"j"$'\xe0'".wmv-thum.txt" ||
        fail "the dropped d\\xe9j\\xe0.wmv was not read: $(ls "$thum")"
    wait_for_status "2  ファイル読込済み" "${empty_status[@]:1}"

    # Ctrl+B: a.wmv goes to the back, b.wmv is shown.
    xdotool key ctrl+b
    wait_for_title "$sources/b.wmv - splicor2 0.019"
    b_cache="$thum/b.wmv.thum"
    until_true 10 cell_shows 0 0 "$b_cache" || fail "the grid does not show b.wmv"

    # Drag from the second thumbnail to the third, then save that run alone as "run" (the dialog
    # adds ".wmv") in r\xe9sultats: the sources' folder typed, the folder picked in the list by
    # keys and entered, the name typed.
    xdotool mousemove --window "$window" $((gx + 240)) $((gy + 60)) mousedown 1
    xdotool mousemove --window "$window" $((gx + 330)) $((gy + 65))
    xdotool mousemove --window "$window" $((gx + 400)) $((gy + 70)) mouseup 1
    xdotool key ctrl+s
    wait_for_window '^名前を付けて保存$'
    xdotool type --delay 5 "$sources"
    xdotool key Return shift+Tab r Return Tab
    xdotool type --delay 5 run
    xdotool key Return
    wait_for_cut "$results/run.wmv"
    same_times "the run saved alone" "$(key_times "$results/run.wmv")" \
        "$(only_run "$sources/b.wmv" 1 2)"

    # The open dialog, driven by keys: the sources' folder typed, then c.asf and caf\xe9.wmv
    # picked together in the list, where they stand side by side.
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
    xdotool key ctrl+o
    wait_for_window '^開く$'
    xdotool type --delay 5 "$sources"
    xdotool key Return shift+Tab c shift+Down
    screenshot open-dialog.png "$found"
    xdotool key Return
    until_true 30 test -e "$thum/c.asf-thum.txt" || fail "c.asf chosen in the dialog was not read"
    until_true 30 test -e "$thum/caf"$'\xe9'".wmv-thum.txt" ||
        fail "caf\\xe9.wmv chosen in the dialog was not read: $(ls "$thum")"
    wait_for_status "4  ファイル読込済み" "${empty_status[@]:1}"
    # Sent back four times, b.wmv gives way to the others in turn, caf\xe9.wmv last.
    fffd=$'\xef\xbf\xbd'
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
    for name in "d${fffd}j$fffd.wmv" "a[*].wmv" c.asf "caf$fffd.wmv"; do
        xdotool key ctrl+b
        wait_for_title "$sources/$name - splicor2 0.019"
    done
    read_layout
    until_true 10 cell_shows 0 0 "$thum/caf"$'\xe9'".wmv.thum" ||
        fail "caf\\xe9.wmv chosen in the dialog shows no thumbnails"
else
    # Close a[*].wmv: b.wmv is shown.
    xdotool key ctrl+w
    wait_for_title "$sources/b.wmv - splicor2 0.019"
    until_true 10 bash -c "! test -e '$thum/a[*].wmv-thum.txt'" || fail "a[*].wmv's files stayed"
fi

kept=$(stamps)
touch "$thum/late.bmp"
xdotool key ctrl+q
wait_for_exit "$first"
[ ! -e "$thum/late.bmp" ] || fail "late.bmp survived the exit"
[ "$(stamps)" = "$kept" ] || fail "the documents' files changed at exit"

# Again: the documents come back from their files, without being read again; the first of them
# (by the names of their files) is shown, painted from its files, under the program's own title.
start
second=$running
wait_for_window '^splicor2 0\.019$'
window=$found
read_layout
if [ "$scenario" = full ]; then
    until_true 10 cell_shows 0 0 "$a_cache" || fail "a[*].wmv is not shown again"
    # Every other document came back too: sent back in turn, they follow in the order of their
    # files' names, each painted from its own files.
    restored=(b.wmv c.asf "caf"$'\xe9'".wmv" "d"$'\xe9'"j"$'\xe0'".wmv")
    titled=(b.wmv c.asf "caf$fffd.wmv" "d${fffd}j$fffd.wmv")
    for i in "${!restored[@]}"; do
        xdotool key ctrl+b
        wait_for_title "$sources/${titled[i]} - splicor2 0.019"
        until_true 10 cell_shows 0 0 "$thum/${restored[i]}.thum" ||
            fail "${titled[i]} is not shown again"
    done
else
    until_true 10 cell_shows 0 0 "$thum/b.wmv.thum" || fail "b.wmv is not shown again"
fi
sleep 1
[ "$(stamps)" = "$kept" ] || fail "a document was read again"
if [ "$scenario" = smoke ]; then
    # Closing the one document deletes its files.
    xdotool key ctrl+w
    until_true 10 bash -c "! test -e '$thum/b.wmv-thum.txt'" || fail "b.wmv was not back"
    wait_for_title " - splicor2 0.019"
fi
xdotool key ctrl+q
wait_for_exit "$second"
if [ "$scenario" = smoke ]; then
    [ ! -e "$sources/c-1.asf" ] && [ -z "$(ls "$thum")" ] || fail "left over: $(ls "$thum")"
fi
echo "PASS"
