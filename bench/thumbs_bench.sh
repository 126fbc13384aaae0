#!/usr/bin/env bash
# Thumbnail extraction beside FFmpeg's key-frame decode scaled to thumbnails, on the same files in
# one run: wall time (best of five, file in the page cache), the processor time of that run (user
# plus system, over all threads) and its peak resident memory.
#
#   bash bench/thumbs_bench.sh [BUILD_DIR [FILE...]]     (default: build, the demo and long files)
#
# The short demo file and the 10-minute file have the same picture size and key-frame spacing,
# so their peak memory shows what grows with the number of key frames. The window's loader is
# timed from handing it the file to its last thumbnail in the cache file. The machine may be
# shared: compare the ratios of one run, not times across runs.
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

sheet=$(mktemp --suffix=.png)
trap 'rm -f "$sheet"' EXIT
files=("${@:2}")
[ ${#files[@]} -gt 0 ] || files=("$media/demo.wmv" "$media/long.wmv")
for file in "${files[@]}"; do
    cat "$file" >/dev/null
    keys=$("$build/src/cli/splicor-cli" keyframes "$file" | wc -l)
    echo "$file: $(stat -c %s "$file") bytes, $keys key frames"
    cli=$(best "$build/src/cli/splicor-cli" thumbs --force "$file" "$sheet")
    row "splicor-cli thumbs" "$cli"
    row "extract (backgroundOnly)" "$(best "$bench" "$file" background)"
    row "extract (bitmaps)" "$(best "$bench" "$file" bitmaps)"
    loader=$(best "$build/bench/loader_bench" "$file" "$keys")
    row "window's loader, to the last record" "$loader"
    peer=$(best ffmpeg -v error -skip_frame nokey -i "$file" -vf scale=160:120 -f rawvideo -y \
        /dev/null)
    row "ffmpeg -skip_frame nokey, scaled" "$peer"
    awk -v c="${cli%% *}" -v l="${loader%% *}" -v p="${peer%% *}" 'BEGIN {
        printf "  ratio to ffmpeg (wall, best of five): cli %.2f, loader %.2f\n", c / p, l / p }'
done
