#!/usr/bin/env bash
# Fails when ffprobe reports any error on a generated test file, or a file is missing.
set -euo pipefail
dir=${1:?usage: check_test_media.sh DIR}
expected=(wmv1_wmav1.wmv wmv2_wmav2.wmv mp43_only.asf audio_only.wma two_video.wmv odd_width.wmv
          all_key_small_packets.wmv long_gop.wmv two_keys_one_packet.wmv mpeg4_bframes1.asf
          mpeg4_bframes2.asf demo.wmv)
status=0
for name in "${expected[@]}"; do
    file="$dir/$name"
    if [ ! -s "$file" ]; then
        echo "missing: $file"
        status=1
        continue
    fi
    errors=$(ffprobe -v error -show_format -show_streams -show_packets "$file" 2>&1 >/dev/null)
    if [ -n "$errors" ]; then
        echo "ffprobe errors on $name:"
        echo "$errors"
        status=1
    fi
done
exit $status
