#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh default
ctest --preset default -j "$(nproc)"
corpus=$(sed -n 's/^SPLICOR_CORPUS_DIR:PATH=//p' build/CMakeCache.txt)
if [ ! -d "$corpus" ]; then
    echo "note: no corpus of real files at $corpus; the tests that read it were skipped"
fi
