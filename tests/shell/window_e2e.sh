#!/usr/bin/env bash
# The program as a user drives it, on a virtual display of its own, checked by what it shows and
# what it writes.
#
#   window_e2e.sh PROGRAM PROBE MEDIA_DIR ARTEFACT_DIR [full|smoke]
#
# Both scenarios: the title and the status texts (whole, not clipped), the grid's first cell
# pixel for pixel against the first thumbnail record, a click on the third thumbnail, Delete and
# Ctrl+D giving a file whose key frames are the source's with exactly that stretch taken out, a
# later start that hands its file to the running instance (and one that hears no answer from a
# stopped instance and says so), and a restart that brings the documents back from their files
# without reading the videos again.
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

# shellcheck source=e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

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
# Handed to an instance that does not answer: never read.
cp "$media/mp43_only.asf" "$sources/e.asf"
cp "$media/mp43_only.asf" "$cafe"
cp "$media/mp43_only.asf" "$deja"
# A video by its content but not by its name: a drop must leave it out, or it would be read.
cp "$media/mp43_only.asf" "$sources/notes.txt"
mkdir "$results"

# Bitmaps left by an earlier run go at start-up.
mkdir -p "$thum"
touch "$thum/old.bmp"

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
# Its lock and the socket later starts reach it through lie in the scenario's runtime folder.
[ -S "$XDG_RUNTIME_DIR/SplicorWin32.socket" ] && [ -f "$lock" ] ||
    fail "no lock and socket in $XDG_RUNTIME_DIR: $(ls "$XDG_RUNTIME_DIR")"
if [ "$scenario" = full ]; then
    wait_for_status "${empty_status[@]}"
else
    until_true 30 test -e "$thum/b.wmv-thum.txt" || fail "b.wmv was not read"
    wait_for_status "1  ファイル読込済み" "${empty_status[@]:1}"
fi
a_cache="$thum/a[*].wmv.thum"

# Later starts, from a copy of the program elsewhere with a file named from their own folder,
# hand it to the running instance and make nothing of their own (no thum/ beside them).
later="$work/later"
mkdir "$later"
cp "$program" "$later/splicor"
start_later() {
    (cd "$sources" && exec timeout 10 "$later/splicor" "$@") 2>"$work/later.log"
}
# One whose instance does not answer (stopped) says so and ends with 1, in a couple of seconds.
kill -STOP "$first"
began=$SECONDS
status=0
start_later e.asf || status=$?
kill -CONT "$first"
[ "$status" -eq 1 ] || fail "a later start to a stopped instance ended with $status"
grep -q "does not answer; not opened: e.asf" "$work/later.log" ||
    fail "the later start did not say why: $(cat "$work/later.log")"
[ $((SECONDS - began)) -le 6 ] || fail "the later start waited $((SECONDS - began)) s"
# One that is answered ends with 0; the running instance reads its file, and its title stays.
status=0
start_later c.asf || status=$?
[ "$status" -eq 0 ] || fail "the later start ended with $status: $(cat "$work/later.log")"
kill -0 "$first" || fail "the first instance is gone"
[ "$(xdotool getwindowname "$window")" = "$a - splicor2 0.019" ] || fail "the first's title changed"
until_true 30 test -e "$thum/c.asf-thum.txt" || fail "c.asf handed over was not read"
if [ "$scenario" = full ]; then
    wait_for_status "1  ファイル読込済み" "${empty_status[@]:1}"
else
    wait_for_status "2  ファイル読込済み" "${empty_status[@]:1}"
fi
[ ! -e "$later/thum" ] || fail "a later start made a thum/ of its own"
[ ! -e "$thum/e.asf-thum.txt" ] || fail "e.asf, not taken, was read all the same"
# Shown, it is the file named; closed, it leaves the documents as they were.
if [ "$scenario" = smoke ]; then
    xdotool key ctrl+b
    wait_for_title "$sources/b.wmv - splicor2 0.019"
fi
xdotool key ctrl+b
wait_for_title "$sources/c.asf - splicor2 0.019"
xdotool key ctrl+w
wait_for_title "$a - splicor2 0.019"
until_true 10 bash -c "! test -e '$thum/c.asf-thum.txt'" || fail "c.asf's files stayed"

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
mapfile -t status_before_cut < <(state | sed -n 's/^status [0-3] whole //p')
click_cell 2
xdotool key Delete
xdotool key ctrl+d
wait_for_cut "$sources/a[*]-1.wmv"
# Where it went stays in the status bar until the next cut.
wait_for_status "${status_before_cut[@]}" "保存しました  a[*]-1.wmv"
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
    wait_for_status "2  ファイル読込済み" "${empty_status[@]:1:3}" "保存しました  a[*]-1.wmv"

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
    wait_for_status "4  ファイル読込済み" "${empty_status[@]:1:3}" "保存しました  run.wmv"
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

# Nothing went wrong on the way: the window has no notice to give.
[ -z "$(state | grep '^notice ')" ] || fail "notices: $(state | grep '^notice ')"
kept=$(stamps)
touch "$thum/late.bmp"
xdotool key ctrl+q
wait_for_exit "$first"
[ ! -e "$thum/late.bmp" ] || fail "late.bmp survived the exit"
[ ! -e "$XDG_RUNTIME_DIR/SplicorWin32.socket" ] || fail "the socket stayed after the exit"
[ "$(stamps)" = "$kept" ] || fail "the documents' files changed at exit"

# Again: the documents come back from their files, without being read again; the first of them
# (by the names of their files) is shown, painted from its files.
start
second=$running
# The title names the file shown, and the count counts the documents restored.
if [ "$scenario" = full ]; then
    wait_for_window 'a\[\*\]\.wmv - splicor2 0\.019$'
    window=$found
    wait_for_status "4  ファイル読込済み" "${empty_status[@]:1}"
else
    wait_for_window 'b\.wmv - splicor2 0\.019$'
    window=$found
    wait_for_status "${empty_status[@]}"
fi
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
