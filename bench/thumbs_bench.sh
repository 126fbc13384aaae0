#!/usr/bin/env bash
# Thumbnail extraction beside FFmpeg's key-frame decode scaled to thumbnails, on the same files in
# one run: wall time (best of five, file in the page cache), the processor time of that run (user
# plus system, over all threads) and its peak resident memory.
#
#   bash bench/thumbs_bench.sh [BUILD_DIR]     (default: build)
#
# The short demo file and the 10-minute file have the same picture size and key-frame spacing,
# so their peak memory shows what grows with the number of key frames.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x /usr/bin/time ]; then
    echo "thumbs_bench.sh: needs GNU time (/usr/bin/time, Debian package 'time') for peak memory" >&2
    exit 1
fi
build=${1:-build}
media="$build/media"
bash tests/media/make_test_media.sh "$media" --long >/dev/null
bench="$build/bench/thumbs_extract_bench"

# best COMMAND...: "wall cpu peak-KiB" of the fastest of five runs.
best() {
    local best="" report
    report=$(mktemp)
    for _ in 1 2 3 4 5; do
        /usr/bin/time -o "$report" -f '%e %U %S %M' "$@" >/dev/null 2>&1
        local t u s m
        read -r t u s m <"$report"
        if [ -z "$best" ] || awk -v t="$t" -v b="${best%% *}" 'BEGIN { exit !(t < b) }'; then
            best="$t $(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') $m"
        fi
    done
    rm -f "$report"
    echo "$best"
}

row() {
    local what=$1 wall cpu mem
    read -r wall cpu mem <<<"$2"
    printf '  %-34s %6.2f s   cpu %6.2f s   peak %6.1f MiB\n' "$what" "$wall" "$cpu" \
        "$(awk -v k="$mem" 'BEGIN { print k / 1024 }')"
}

for file in "$media/demo.wmv" "$media/long.wmv"; do
    cat "$file" >/dev/null
    echo "$file: $(stat -c %s "$file") bytes, $("$bench" "$file" background | cut -d' ' -f1) key frames"
    row "extract (bitmaps)" "$(best "$bench" "$file" bitmaps)"
    row "extract (backgroundOnly)" "$(best "$bench" "$file" background)"
    peer=$(best ffmpeg -v error -skip_frame nokey -i "$file" -vf scale=160:120:flags=neighbor \
        -f rawvideo -pix_fmt bgr24 -y /dev/null)
    row "ffmpeg -skip_frame nokey, scaled" "$peer"
done
