#!/usr/bin/env bash
# Thumbnail extraction beside FFmpeg's key-frame decode scaled to thumbnails, on the same files in
# one run: time (best of five, file in the page cache) and peak resident memory.
#
#   bash bench/thumbs_bench.sh [BUILD_DIR]     (default: build)
#
# The short demo file and the 10-minute file have the same picture size and key-frame spacing,
# so their peak memory shows what grows with the number of key frames.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
media="$build/media"
bash tests/media/make_test_media.sh "$media" --long >/dev/null
bench="$build/bench/thumbs_extract_bench"

# best COMMAND...: the shortest wall time of five runs, and the peak memory (KiB) of that run.
best() {
    local best="" mem="" report
    report=$(mktemp)
    for _ in 1 2 3 4 5; do
        local t m
        /usr/bin/time -o "$report" -f '%e %M' "$@" >/dev/null 2>&1
        read -r t m <"$report"
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$t
            mem=$m
        fi
    done
    rm -f "$report"
    echo "$best $mem"
}

row() {
    local what=$1 result=$2
    printf '  %-34s %7.2f s   peak %7.1f MiB\n' "$what" "${result% *}" \
        "$(awk -v k="${result#* }" 'BEGIN { print k / 1024 }')"
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
