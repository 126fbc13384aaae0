#!/usr/bin/env bash
# The window on a small screen (1024 x 600) under a dark desktop theme, driven as a user drives
# it, checked by what it shows and what it writes:
#
# - the first window fits the screen;
# - the grid is painted in the theme's dark view colour, not white;
# - two thumbnails deleted one after the other come back with Ctrl+Z, one step at a time, each in
#   its place with its own picture; Ctrl+D between the two steps writes the source without the
#   stretch still deleted;
# - the save dialog opens in the source's folder: a bare name typed there saves beside it;
# - the grid follows the scroll bar's thumb while the thumb is held, before it is let go.
#
#   window_polish_e2e.sh PROGRAM PROBE ARTEFACT_DIR
#
# The dark theme is the toolkit's own reading of a KDE session's colours (kdeglobals), so no
# theme package is needed. Screenshots go to ARTEFACT_DIR.
set -euo pipefail

program=$1
probe=$2
artefacts=$3
e2e_screen=1024x600x24

# shellcheck source=e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

# The dark view colour (the grid's background) and the rest of the theme.
dark=(35 38 41)
mkdir -p "$work/config"
cat >"$work/config/kdeglobals" <<EOF
[Colors:View]
BackgroundNormal=${dark[0]},${dark[1]},${dark[2]}
ForegroundNormal=239,240,241
[Colors:Window]
BackgroundNormal=49,54,59
ForegroundNormal=239,240,241
[Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=239,240,241
[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=252,252,252
EOF
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORMTHEME=kde KDE_SESSION_VERSION=5

# 30 key frames at uneven times (k / 2 + (k mod 3) / 10 s), so that cutting away one stretch
# gives other key-frame times than cutting away another; in 5 columns they make six rows, more
# than the window shows.
times=$(awk 'BEGIN { for (k = 0; k < 30; k++) printf "%s%.1f", k ? "," : "", k / 2 + k % 3 / 10 }')
src="$sources/s.wmv"
ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=15 \
    -f lavfi -i sine=frequency=440:sample_rate=22050:duration=15 -map 0:v -map 1:a -c:v wmv2 \
    -b:v 400k -g 1000 -force_key_frames "$times" -c:a wmav2 -b:a 64k -fflags +bitexact \
    -f asf "$src"
cache="$thum/s.wmv.thum"

start "$src"
wait_for_window 's\.wmv - splicor2 0\.019$'
window=$found
wait_for_title "$src - splicor2 0.019"
wait_for_status "${empty_status[@]}"
read_layout
until_true 10 cell_shows 0 0 "$cache" || fail "the first cell does not show the first thumbnail"
screenshot polish-window.png

# The window fits the screen.
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le "$screen_width" ] &&
    [ $((Y + HEIGHT)) -le "$screen_height" ] ||
    fail "a window of ${WIDTH}x$HEIGHT at $X,$Y on a screen of ${screen_width}x$screen_height"

# area_is X Y WIDTH HEIGHT R G B: every pixel of that area of the grid has that colour.
area_is() {
    local n=$(($3 * $4))
    ffmpeg -nostdin -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$3x$4" \
        -i "$DISPLAY+$((X + gx + $1)),$((Y + gy + $2))" -frames:v 1 -f rawvideo -pix_fmt rgb24 - \
        >"$work/area.rgb" &&
        [ "$(stat -c %s "$work/area.rgb")" = $((n * 3)) ] &&
        [ "$(od -An -v -tu1 -w3 "$work/area.rgb" | sort -u | xargs)" = "$5 $6 $7" ]
}
# The strip right of the last column, beside the first row, holds no cell: it is background.
strip=$((columns * 160))
[ $((gw - strip)) -ge 20 ] || fail "no strip right of the $columns columns in a grid $gw wide"
until_true 10 area_is $((strip + 4)) 4 16 100 "${dark[@]}" ||
    fail "the grid's background is not the theme's: $(od -An -v -tu1 -w3 "$work/area.rgb" | sort -u | head -3 | xargs)"

# Delete the third thumbnail, then the sixth of those left (the seventh extracted).
click_cell 2
xdotool key Delete
click_cell 5
xdotool key Delete
until_true 10 cell_shows 2 3 "$cache" || fail "the third thumbnail was not deleted"
until_true 10 cell_shows 5 7 "$cache" || fail "the seventh thumbnail was not deleted"
# One step back: the seventh is in its place again, the third still gone; that is what is saved.
xdotool key ctrl+z
until_true 10 cell_shows 5 6 "$cache" || fail "Ctrl+Z did not bring the seventh thumbnail back"
cell_shows 2 3 "$cache" || fail "one Ctrl+Z undid more than the last Delete"
xdotool key ctrl+d
wait_for_cut "$sources/s-1.wmv"
same_times "the source without its third stretch" "$(key_times "$sources/s-1.wmv")" \
    "$(without_stretch "$src" 2)"
# The second step back: every thumbnail shown as extracted; a third Ctrl+Z has nothing to undo.
xdotool key ctrl+z
xdotool key ctrl+z
for cell in $(seq 0 $((columns * 2 - 1))); do
    until_true 10 cell_shows "$cell" "$cell" "$cache" ||
        fail "cell $cell does not show thumbnail $cell after two Ctrl+Z"
done
screenshot undone.png

# The save dialog opens in the source's folder: a bare name, typed, saves beside the source
# (and not in the folder the program was started from).
xdotool key ctrl+s
wait_for_window '^名前を付けて保存$'
screenshot save-dialog.png "$found"
xdotool type --delay 5 beside
xdotool key Return
until_true 30 test -e "$sources/beside.wmv" -o -e "$app/beside.wmv" || fail "nothing was saved"
[ -e "$sources/beside.wmv" ] || fail "the save dialog did not open in the source's folder"
wait_for_cut "$sources/beside.wmv"
same_times "the whole source saved" "$(key_times "$sources/beside.wmv")" "$(key_times "$src")"
timeout 10 xdotool windowfocus --sync "$window" || fail "the window takes no keys"

# The scroll bar's thumb, held and dragged down as far as it goes: the grid follows it before
# the button is let go.
read_layout
until_true 10 bash -c "'$probe' state $window | grep -q '^scroll 0 0 [1-9][0-9]* enabled'" ||
    fail "the bar offers nothing to scroll"
last=$(state | awk '$1 == "scroll" { print $4 }')
thumb_x=$((sx + sw / 2))
thumb_y=$((sy + 40))
xdotool mousemove --window "$window" "$thumb_x" "$thumb_y" mousedown 1
xdotool mousemove --window "$window" "$thumb_x" $((thumb_y + sh / 4))
xdotool mousemove --window "$window" "$thumb_x" $((thumb_y + sh))
until_true 10 cell_shows 0 $((last * columns)) "$cache" ||
    fail "the grid does not follow the thumb while it is held"
[ "$(scroll_value)" = "$last" ] || fail "the bar is at $(scroll_value), not $last, while held"
screenshot thumb-held.png
xdotool mouseup 1
until_true 10 cell_shows 0 $((last * columns)) "$cache" || fail "the grid moved on release"
[ "$(scroll_value)" = "$last" ] || fail "the bar is at $(scroll_value), not $last, after release"

xdotool key ctrl+q
wait_for_exit "$running"
echo "PASS"
