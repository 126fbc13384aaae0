#!/usr/bin/env bash
# Sets up, builds, makes the demo file and starts Splicor on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh default
bash tests/media/make_test_media.sh build/media
echo "Built the project and made the demo file build/media/demo.wmv."
echo "The window does not exist yet; there is no program to start on it."
