#!/usr/bin/env bash
# Sets up what the build needs (scripts/setup.sh), builds the tools into
# build/bin and runs them on the example files.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DBUILD_TESTING=OFF
cmake --build build -j2
sh examples/run.sh
