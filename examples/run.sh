#!/bin/sh
# Runs the three tools on the example files; results go to build/examples.
set -e
cd "$(dirname "$0")/.."
bin=build/bin
out=build/examples
mkdir -p "$out"
echo "== onebase examples/chain0.tra (0-based) -> $out/chain1.tra"
"$bin/onebase" examples/chain0.tra "$out/chain1.tra"
cat "$out/chain1.tra"
echo "== diagfill $out/chain1.tra -> $out/chain.tra"
"$bin/diagfill" "$out/chain1.tra" "$out/chain.tra"
cat "$out/chain.tra"
echo "== minmark 4 2 examples/chain.lst -> $out/chain.lab"
"$bin/minmark" 4 2 examples/chain.lst "$out/chain.lab"
cat "$out/chain.lab"
echo "== diagfill --check examples/damaged.tra (a damaged file: status 1)"
"$bin/diagfill" --check examples/damaged.tra || true
