#!/usr/bin/env bash
# What the window tells the user when things go wrong or take long, checked through the window
# itself on a virtual display of its own:
#
#   window_truth_e2e.sh PROGRAM PROBE ARTEFACT_DIR
#
# 1. Started on a short file, a file with 10,000 key frames and three more, the window shows how
#    far the long file is read within a second, and counts the three waiting; killed (-9) then,
#    the next start brings every one of them back, the long one being read again.
# 2. A cut queued while the loader is busy, whose source is then replaced, and a quit during the
#    long extraction: the process ends at once; at the next start the replaced source is read
#    again and shows its new pictures, the cut is refused with a notice instead of cutting the new
#    material, and the files come back in their order once read.
# 3. Saves into a read-only folder and onto a full small file system show their failure in the
#    status bar and in the notice, naming the destination, and leave nothing there.
# 4. A source deleted while the program is not running: at the next start its document is
#    dropped and the user told, its files set aside.
# 5. thum/ on a file system too small for a file's thumbnails: the file is named as not read,
#    with the reason, and none of its files stay.
#
# Steps 3 and 5 mount file systems and need root; without it, the read-only folder is one
# without write permission and the full file systems are passed over (said on standard output).
set -euo pipefail

program=$1
probe=$2
artefacts=$3

# shellcheck source=e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

mounts=()
unmount_all() {
    for dir in "${mounts[@]}"; do
        umount "$dir" 2>/dev/null || true
    done
    cleanup
}
trap unmount_all EXIT

# A short video with four key frames, and a longer one with 10,000 (a key frame every picture).
short() {
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "$1=size=320x240:rate=25" -t 4 \
        -c:v wmv2 -b:v 300k -g 25 -fflags +bitexact -f asf "$2"
}
short testsrc2 "$sources/w1.wmv"
for name in w2 w3 w4; do
    cp "$sources/w1.wmv" "$sources/$name.wmv"
done
big="$sources/big.wmv"
ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 10000 \
    -c:v wmv2 -b:v 800k -g 1 -fflags +bitexact -f asf "$big"

now() { date +%s.%N; }
# elapsed SINCE: seconds from SINCE to now, to a hundredth.
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
within() { awk -v t="$1" -v limit="$2" 'BEGIN { exit !(t <= limit) }'; }
status_part() { state | sed -n "s/^status $1 whole //p"; }
part_is() { [ "$(status_part "$1")" = "$2" ]; }
part_is_not() { [ "$(status_part "$1")" != "$2" ]; }
notices() { state | sed -n 's/^notice //p'; }

# --- 1. Progress within a second; kill -9 with three files waiting.
start "$sources/w1.wmv" "$big" "$sources/w2.wmv" "$sources/w3.wmv" "$sources/w4.wmv"
first=$running
until_true 30 window_named 'splicor2' || fail "no window"
window=$(window_named 'splicor2')
shown_at=$(now)
percent_shown() { [[ "$(status_part 2)" =~ ^読込中\.\.\ \ big\.wmv\ \ [0-9]+%$ ]]; }
until_true 30 percent_shown || fail "no progress for big.wmv: $(status_part 2)"
took=$(elapsed "$shown_at")
echo "progress of the 10,000-key-frame file shown $took s after the window"
within "$took" 1 || fail "the progress came $took s after the window"
first_percent=$(status_part 2)
wait_for_title "$sources/w1.wmv - splicor2 0.019"
until_true 10 part_is 1 "4  ファイル待ち" || fail "waiting: $(status_part 1)"
until_true 30 part_is_not 2 "$first_percent" || fail "the progress stays at $first_percent"
screenshot reading-big.png
kill -9 "$first"
wait "$first" 2>/dev/null || true

# --- 2. Everything back; a cut queued, its source replaced; a quit during the extraction.
start
second=$running
until_true 30 window_named 'splicor2' || fail "no window after the kill"
window=$(window_named 'splicor2')
wait_for_title "$sources/w1.wmv - splicor2 0.019"
until_true 30 percent_shown || fail "big.wmv is not read again after the kill: $(status_part 2)"
[ "$(status_part 1)" = "4  ファイル待ち" ] || fail "after the kill, waiting: $(status_part 1)"
# Numbered save while the loader works: the cut waits for it.
xdotool key ctrl+d
until_true 10 part_is 3 "1  ファイル分割待ち" || fail "the cut is not queued"
old_cache="$work/w1-old.thum"
cp "$thum/w1.wmv.thum" "$old_cache"
short mandelbrot "$work/other.wmv"
mv "$work/other.wmv" "$sources/w1.wmv"
xdotool key ctrl+q
asked=$(now)
until_true 30 bash -c "! kill -0 $second" || fail "the program did not end after Ctrl+Q"
took=$(elapsed "$asked")
echo "ended $took s after Ctrl+Q during the extraction"
within "$took" 2 || fail "the program took $took s to end during an extraction"
wait "$second" || fail "exit status $? after Ctrl+Q"
[ ! -e "$sources/w1-1.wmv" ] ||
    fail "the queued cut ran while the loader was busy: $(ls -l --time-style=full-iso "$sources")"

start
third=$running
until_true 30 window_named 'splicor2' || fail "no window at the third start"
window=$(window_named 'splicor2')
wait_for_title "$sources/w1.wmv - splicor2 0.019"
# The refused cut names what it would have written.
until_true 30 bash -c "'$probe' state $window | grep -q '^notice 予約されていた分割を行いません: $sources/w1-1.wmv'" ||
    fail "the cut of the replaced source is not refused in the window: $(notices)"
until_true 120 part_is 0 "4  ファイル読込済み" ||
    fail "the files are not all back: $(state | grep '^status ')"
wait_for_status "4  ファイル読込済み" "${empty_status[@]:1}"
[ ! -e "$sources/w1-1.wmv" ] || fail "a cut was written from the replaced source"
read_layout
until_true 10 cell_shows 0 0 "$thum/w1.wmv.thum" || fail "w1.wmv does not show its cache"
cmp -s <(dd if="$old_cache" bs=57600 count=1 status=none) \
    <(dd if="$thum/w1.wmv.thum" bs=57600 count=1 status=none) &&
    fail "w1.wmv shows its old pictures"
screenshot replaced-source.png
for name in big w2 w3 w4; do
    xdotool key ctrl+b
    wait_for_title "$sources/$name.wmv - splicor2 0.019"
done

# --- 3. Saves that fail: a read-only folder, a full file system.
readonly_dir="$work/readonly"
full_dir="$work/full"
mkdir "$readonly_dir" "$full_dir"
if [ "$(id -u)" = 0 ]; then
    mount -t tmpfs -o ro,size=1m tmpfs "$readonly_dir"
    mounts+=("$readonly_dir")
    mount -t tmpfs -o size=64k tmpfs "$full_dir"
    mounts+=("$full_dir")
else
    chmod 0555 "$readonly_dir"
    full_dir=
    echo "SKIP: no full file system without root"
fi
# save_fails DESTINATION: saved through the dialog, the cut fails, and the window says so.
save_fails() {
    local destination=$1 before
    before=$(notices | wc -l)
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
    xdotool key ctrl+s
    wait_for_window '^名前を付けて保存$'
    xdotool type --delay 5 "$destination"
    xdotool key Return
    until_true 60 part_is 4 "分割失敗  $(basename "$destination")" ||
        fail "the save to $destination shows '$(status_part 4)'"
    until_true 10 bash -c "[ \$('$probe' state $window | grep -c '^notice ') -ge $((before + 2)) ]" ||
        fail "no notice for $destination: $(notices)"
    notices | tail -n 2 | head -n 1 | grep -qxF "保存できませんでした: $destination" ||
        fail "the notice does not name $destination: $(notices)"
    echo "save to $destination: $(notices | tail -n 1)"
    [ -z "$(ls -A "$(dirname "$destination")")" ] ||
        fail "left in $(dirname "$destination"): $(ls -A "$(dirname "$destination")")"
}
save_fails "$readonly_dir/out.wmv"
if [ -n "$full_dir" ]; then
    save_fails "$full_dir/too-big.wmv"
fi
last=out.wmv
[ -z "$full_dir" ] || last=too-big.wmv
# The last failure stays in the status bar with nothing else to do.
sleep 1
wait_for_status "4  ファイル読込済み" "${empty_status[@]:1:3}" "分割失敗  $last"
screenshot failed-save.png
timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
xdotool key ctrl+q
wait_for_exit "$third"

# --- 4. A source gone while the program was not running.
rm "$sources/w3.wmv"
start
fourth=$running
until_true 30 window_named 'splicor2' || fail "no window at the fourth start"
window=$(window_named 'splicor2')
until_true 30 bash -c "'$probe' state $window | grep -qxF 'notice 元のファイルが見つからないため閉じました: $sources/w3.wmv'" ||
    fail "the gone source is not named: $(notices)"
wait_for_status "3  ファイル読込済み" "${empty_status[@]:1}"
ls "$thum" | grep -q '^w3\.wmv-thum\.txt.*\.source-gone$' || fail "w3's files are not set aside: $(ls "$thum")"
[ ! -e "$thum/w3.wmv-thum.txt" ] || fail "w3's index stayed as it was"
timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
xdotool key ctrl+q
wait_for_exit "$fourth"

# --- 5. No room in thum/ for the thumbnails: the file is named as not read, nothing is kept.
if [ "$(id -u)" = 0 ]; then
    mount -t tmpfs -o size=300k tmpfs "$thum"
    mounts=("$thum" "${mounts[@]}")
    start "$big"
    fifth=$running
    until_true 30 window_named 'splicor2' || fail "no window at the fifth start"
    window=$(window_named 'splicor2')
    until_true 60 bash -c "'$probe' state $window | grep -qxF 'notice 読み込めませんでした: $big'" ||
        fail "a file whose thumbnails found no room is not named: $(notices)"
    notices | grep -qxF "ディスクの空きが足りません" || fail "no reason given: $(notices)"
    wait_for_status "${empty_status[@]}"
    [ -z "$(ls -A "$thum" | grep -v -e '^waiting-files.list$')" ] || fail "left in thum/: $(ls -A "$thum")"
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"
    xdotool key ctrl+q
    wait_for_exit "$fifth"
    umount "$thum"
else
    echo "SKIP: no small file system for thum/ without root"
fi
echo "PASS"
