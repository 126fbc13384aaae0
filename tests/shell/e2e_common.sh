# What the end-to-end scenarios share: the program run as a copy in a work folder of its own,
# a virtual display, and the ways to look at what the window shows and what it writes.
#
# Sourced by a scenario after it has set program, probe and artefacts (and, for a screen other
# than 1280 x 800 at 24 bits, e2e_screen, as Xvfb's -screen takes it); sets work, app, sources,
# thum and lock (the instance lock's path), starts the display and leaves DISPLAY and
# XDG_RUNTIME_DIR set. The work folder, the display and every
# program started with `start` go when the scenario ends.

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

# The program's instance lock and socket lie in the runtime folder: one of the scenario's own, so
# that it neither waits for nor hands files to a Splicor started elsewhere (another build's test,
# the user's own).
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
lock="$XDG_RUNTIME_DIR/SplicorWin32.lock"

# A display of our own; Xvfb writes its number once it accepts clients. Without -noreset the
# server starts afresh each time its last client leaves (xdotool's probes, the program between
# two runs), and a program connecting during that reset is turned away.
Xvfb -displayfd 3 -screen 0 "${e2e_screen:-1280x800x24}" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
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

# What the status bar shows with nothing to do.
empty_status=("0  ファイル読込済み" "0  ファイル待ち" "読込中ファイル無し" "0  ファイル分割待ち"
    "分割中ファイル無し")
