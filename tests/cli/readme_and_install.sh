#!/usr/bin/env bash
# Installs the build into a scratch prefix, checks the manual pages and the bash completion that
# come with splicor-cli, then runs the README's scripting example as it stands, with the
# installed program, on a folder of generated files; FFmpeg and GStreamer read what it wrote.
#
#   readme_and_install.sh SOURCE_DIR BUILD_DIR SPLICOR_CLI MEDIA_DIR
set -euo pipefail
src=$1 build=$2 cli=$3 media=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
[ -x "$prefix/bin/splicor-cli" ] || fail "splicor-cli not installed"
for page in splicor-cli.1 splicor.1; do
    [ -s "$prefix/share/man/man1/$page" ] || fail "$page not installed"
    warnings=$(groff -man -ww -z "$prefix/share/man/man1/$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
done

# Every command and option the program's help names is in the manual.
manual=$(sed 's/\\-/-/g' "$prefix/share/man/man1/splicor-cli.1")
for command in info keyframes packets thumbs cut join; do
    grep -q "^\.B splicor-cli $command" <<<"$manual" || fail "no synopsis for $command"
    for option in $("$cli" "$command" --help | grep -o -- '--[a-z]*' | sort -u); do
        grep -q -- "$option" <<<"$manual" || fail "$command $option is not in the manual"
    done
done
for status in 0 1 2; do
    grep -q "^\.B $status$" <<<"$manual" || fail "exit status $status is not documented"
done

# The completion offers the commands, then each command's options.
completion=$prefix/share/bash-completion/completions/splicor-cli
[ -s "$completion" ] || fail "bash completion not installed"
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _splicor_cli;
             printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
[ "$(complete_words splicor-cli cu)" = cut ] || fail "completion of 'cu'"
[ "$(complete_words splicor-cli cut --d)" = --delete ] || fail "completion of 'cut --d'"
[ "$(complete_words splicor-cli info --)" = "--json
--help" ] || fail "completion of 'info --'"

# The README's example: the indented block after the marker line.
example=$(awk '/<!-- run by tests\/cli\/readme_and_install.sh -->/ {on = 1; next}
               on && /^    / {print substr($0, 5); seen = 1; next}
               on && seen {exit}' "$src/README.md")
[ -n "$example" ] || fail "no example in README.md"
mkdir "$work/folder" "$work/folder/archive"
cp "$media/demo.wmv" "$media/long_gop.wmv" "$media/wmv2_wmav2.wmv" "$work/folder/archive/"
run_example() {
    (cd "$work/folder" && PATH="$prefix/bin:$PATH" bash -e -c "$example" 2>&1)
}
log=$(run_example)
duration() {
    ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"
}
# demo.wmv: 30 s with a key frame every 2 s; long_gop.wmv: 21 s with one every 10 s; the 8-s
# wmv2_wmav2.wmv is shorter than what the example cuts off, so it is refused and reported.
for expected in demo.wmv:20 long_gop.wmv:11; do
    name=${expected%%:*} seconds=${expected#*:}
    out=$work/folder/trimmed/$name
    [ -s "$out" ] || fail "$name not trimmed: $log"
    awk -v d="$(duration "$out")" -v s="$seconds" 'BEGIN {exit !(d > s - 0.2 && d < s + 0.2)}' ||
        fail "$name lasts $(duration "$out") s, not $seconds"
    errors=$(ffmpeg -v error -nostdin -i "$out" -map 0 -f null - 2>&1) || fail "ffmpeg: $errors"
    [ -z "$errors" ] || fail "ffmpeg on $name: $errors"
    timeout 120 gst-launch-1.0 -q filesrc location="$out" ! asfdemux name=d \
        d.video_0 ! queue ! decodebin ! fakesink d.audio_0 ! queue ! decodebin ! fakesink \
        >/dev/null 2>&1 || fail "GStreamer cannot play $name"
done
[ ! -e "$work/folder/trimmed/wmv2_wmav2.wmv" ] || fail "an 8-s file was trimmed by 10 s"
grep -q "wmv2_wmav2.wmv" <<<"$log" || fail "the refused file is not reported: $log"

# Run again: nothing is replaced, every file is reported.
before=$(md5sum "$work/folder/trimmed/"*)
log=$(run_example)
[ "$(md5sum "$work/folder/trimmed/"*)" = "$before" ] || fail "a second run replaced a file"
[ "$(grep -c 'already exists' <<<"$log")" = 2 ] || fail "second run: $log"
echo "manual, completion and README example ok"
