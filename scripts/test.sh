#!/usr/bin/env bash
# Sets up what the tests need (scripts/setup.sh --tests), builds the tools
# and the tests into build/ and runs the tests, but for the long sweeps
# (label "long", which CI runs; --all runs them here too).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests
cmake -S . -B build -DBUILD_TESTING=ON
cmake --build build -j2
if [ "${1:-}" = --all ]; then
  ctest --test-dir build --output-on-failure -j2
else
  ctest --test-dir build --output-on-failure -j2 -LE long
fi
