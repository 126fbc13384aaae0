#!/usr/bin/env bash
# Prints Splicor's figures beside FFmpeg's on the same long test file, in one run.
#
#   bash bench/run_benchmarks.sh [BUILD_DIR [FILE]]     (default: build, the long test file)
#
# Each figure is the best of five runs, with the file in the page cache.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
media="$build/media"
bash tests/media/make_test_media.sh "$media" --long >/dev/null
file=$(realpath "${2:-$media/long.wmv}")
cli=$(realpath "$build/src/cli/splicor-cli")
decode=$(realpath "$build/bench/keyframe_decode_bench")

best() {
    local best=""
    for _ in 1 2 3 4 5; do
        local t0 t1 t
        t0=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s.%N)
        t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$t
        fi
    done
    printf '%.3f' "$best"
}

row() {
    local what=$1 ours=$2 peer=$3 peername=$4
    printf '%-44s %8s s   %-10s %8s s   ratio %.2f\n' "$what" "$ours" "$peername" "$peer" \
        "$(awk -v a="$ours" -v b="$peer" 'BEGIN { print a / b }')"
}

cat "$file" >/dev/null
echo "file: $file ($(stat -c %s "$file") bytes, $("$cli" keyframes "$file" | wc -l) key frames)"
ours=$(best "$decode" "$file")
peer=$(best ffmpeg -v error -skip_frame nokey -i "$file" -vf scale=160:120 -f null -)
row "list and decode all key frames (sync reader)" "$ours" "$peer" "ffmpeg"
ours=$(best "$cli" keyframes "$file")
peer=$(best ffprobe -v error -select_streams v -show_entries packet=pts,flags -of csv "$file")
row "splicor-cli keyframes" "$ours" "$peer" "ffprobe"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# --force as FFmpeg's -y: without it every run after the first would stop at the existing output.
ours=$(cd "$tmp" && best "$cli" cut --force "$file" "$tmp/ours.wmv" 60-300)
peer=$(best ffmpeg -v error -y -ss 60 -to 300 -i "$file" -map 0 -c copy "$tmp/ffmpeg.asf")
row "splicor-cli cut, keeping 60 s to 300 s" "$ours" "$peer" "ffmpeg"
echo "  output sizes: ours $(stat -c %s "$tmp/ours.wmv") bytes, ffmpeg $(stat -c %s "$tmp/ffmpeg.asf") bytes"
remux=$(realpath "$build/bench/remux_bench")
ours=$(best "$remux" "$file" "$tmp/remux.wmv")
peer=$(best ffmpeg -v error -y -i "$file" -map 0 -c copy -f asf "$tmp/ffmpeg-remux.asf")
row "remux every sample (reader, writer, editor)" "$ours" "$peer" "ffmpeg"
echo "  output sizes: ours $(stat -c %s "$tmp/remux.wmv") bytes, ffmpeg $(stat -c %s "$tmp/ffmpeg-remux.asf") bytes, source $(stat -c %s "$file") bytes"
# Painting the thumbnail grid: its own table of medians and bests, with peers of the same run.
"$(realpath "$build/bench/paint_bench")" "$file"
