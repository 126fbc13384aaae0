#!/usr/bin/env bash
# Sets up, builds, makes the demo file and starts Splicor on it.
#
#   bash scripts/run.sh                  on a desktop session
#   xvfb-run -a bash scripts/run.sh      without one, on a virtual display
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh default
bash tests/media/make_test_media.sh build/media
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Splicor is built, but there is no display to show its window on (DISPLAY and"
    echo "WAYLAND_DISPLAY are unset). Run it on a desktop session, or on a virtual display:"
    echo
    echo "    xvfb-run -a bash scripts/run.sh"
    exit 1
fi
# The thumbnail directory is build/src/shell/thum/, beside the program.
exec build/src/shell/splicor "$PWD/build/media/demo.wmv"
