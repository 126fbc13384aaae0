#!/usr/bin/env bash
# Makes the generated ASF test media with the FFmpeg command-line tool, with fixed parameters.
#
#   make_test_media.sh OUTDIR           the small files the tests use, and the demo file
#   make_test_media.sh OUTDIR --long    also the 10-minute file the benchmarks use
#
# Files are made once: a stamp holding this script's checksum marks a complete set.
set -euo pipefail

out=${1:?usage: make_test_media.sh OUTDIR [--long]}
long=${2:-}
mkdir -p "$out"
stamp="$out/.stamp"
sum=$(sha256sum "$0" | cut -d' ' -f1)

ff() {
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@"
}

# video SIZE RATE SECONDS: a moving test picture with a frame counter
video() { echo "-f lavfi -i testsrc2=size=$1:rate=$2:duration=$3"; }
# audio RATE CHANNELS SECONDS: a tone
audio() { echo "-f lavfi -i sine=frequency=440:sample_rate=$1:duration=$3 -ac $2"; }

bitexact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact)

make_one() {
    local name=$1
    shift
    local tmp="$out/.$name.part"
    # The format must be named: the part file's extension says nothing.
    ff "$@" "${bitexact[@]}" -f asf "$tmp"
    mv "$tmp" "$out/$name"
}

make_small() {
    # WMV7 video with WMA1 audio, a key frame every second.
    make_one wmv1_wmav1.wmv $(video 320x240 25 6) $(audio 22050 2 6) -map 0:v -map 1:a \
        -c:v wmv1 -b:v 400k -g 25 -c:a wmav1 -b:a 64k
    # WMV8 video with WMA2 audio, a key frame every two seconds, 3200-byte packets.
    make_one wmv2_wmav2.wmv $(video 352x288 25 8) $(audio 44100 2 8) -map 0:v -map 1:a \
        -c:v wmv2 -b:v 600k -g 50 -c:a wmav2 -b:a 128k -packet_size 3200
    # MPEG-4 v3 video alone, every 15th frame a key frame.
    make_one mp43_only.asf $(video 176x144 15 5) -c:v msmpeg4 -b:v 200k -g 15
    # Audio only.
    make_one audio_only.wma $(audio 44100 2 5) -c:a wmav2 -b:a 96k
    # Two video streams (different sizes and codecs) and an audio stream.
    make_one two_video.wmv $(video 320x240 25 4) $(video 160x120 25 4) $(audio 22050 1 4) \
        -map 0:v -map 1:v -map 2:a -c:v:0 wmv2 -b:v:0 300k -g:v:0 25 -c:v:1 wmv1 -b:v:1 100k \
        -g:v:1 50 -c:a wmav2 -b:a 48k
    # An odd picture width, whose bitmap rows need padding to four bytes.
    make_one odd_width.wmv $(video 350x240 25 3) -c:v wmv2 -b:v 300k -g 25
    # Every frame a key frame, in small packets (many fragments per frame).
    make_one all_key_small_packets.wmv $(video 320x240 25 2) $(audio 22050 1 2) -map 0:v \
        -map 1:a -c:v wmv1 -b:v 800k -g 1 -c:a wmav2 -b:a 32k -packet_size 1000
    # Long key-frame interval (10 s) with large packets.
    make_one long_gop.wmv $(video 320x240 25 21) $(audio 44100 2 21) -map 0:v -map 1:a \
        -c:v wmv2 -b:v 300k -g 250 -c:a wmav2 -b:a 64k -packet_size 8192
    # Two key frames start in one 64000-byte packet (5 s and 5.04 s) and the next lies more than
    # two packets later: the Simple Index names the packet of the first for both.
    make_one two_keys_one_packet.wmv -f lavfi -i testsrc=size=320x240:rate=25 -t 30 -c:v wmv2 \
        -g 1000 -force_key_frames 0,5,5.04,15,25 -b:v 2000k -packet_size 64000
    # MPEG-4 with B-frames: presentation times run out of file order, and index entries name an
    # earlier key frame than the last one before their time.
    make_one mpeg4_bframes1.asf -f lavfi -i testsrc=size=320x240:rate=25 -t 30 -c:v mpeg4 \
        -vtag MP4S -bf 1 -g 12 -b:v 1500k
    make_one mpeg4_bframes2.asf -f lavfi -i testsrc=size=320x240:rate=25 -t 30 -c:v mpeg4 \
        -vtag MP4S -bf 2 -g 12 -b:v 1500k
    # The demo file the README's run command opens: 30 s, a key frame every two seconds.
    make_one demo.wmv $(video 640x480 25 30) $(audio 44100 2 30) -map 0:v -map 1:a \
        -c:v wmv2 -b:v 1500k -g 50 -c:a wmav2 -b:a 128k
}

make_long() {
    # 10 minutes, 640 x 480, about 2 Mbit/s, a key frame every two seconds, with audio.
    make_one long.wmv $(video 640x480 25 600) $(audio 44100 2 600) -map 0:v -map 1:a \
        -c:v wmv2 -b:v 1900k -maxrate 2000k -bufsize 4000k -g 50 -c:a wmav2 -b:a 128k \
        -packet_size 8000
}

if [ "$(cat "$stamp" 2>/dev/null)" != "$sum" ]; then
    make_small
    echo "$sum" >"$stamp"
fi
if [ "$long" = "--long" ] && [ ! -s "$out/long.wmv" -o "$out/long.wmv" -ot "$stamp" ]; then
    make_long
fi
echo "test media ready in $out"
