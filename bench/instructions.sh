#!/usr/bin/env bash
# Instructions per entry of the three tools on small generated files, by
# callgrind (deterministic on one machine and compiler), against the
# budgets in bench/budgets.txt: fails when any case exceeds its budget.
#   bash bench/instructions.sh [BUILD_DIR]   (default build; a Release build)
# Needs valgrind. The files go to BUILD_DIR/instructions.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bin=$build/bin
data=$build/instructions
mkdir -p "$data"
g++ -O2 -std=c++20 -o "$data/gen" bench/gen.cpp
entries=200000
states=20000
"$data/gen" tra $entries $states 1 mix >"$data/mix1.tra"
"$data/gen" tra $entries $states 0 mix >"$data/mix0.tra"
"$data/gen" tra $entries $states 1 exponent >"$data/exponent1.tra"
"$data/gen" tra $entries $states 0 exponent >"$data/exponent0.tra"
"$data/gen" tra $entries $states 1 g17 >"$data/g171.tra"
"$data/gen" tra $entries $states 0 g17 >"$data/g170.tra"
"$data/gen" listing $entries >"$data/narrow.lst"
"$data/gen" listing $entries wide >"$data/wide.lst"

# per_entry COMMAND...: the whole process's instructions over the entries.
per_entry() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' | awk -v n=$entries '{ printf "%.1f", $1 / n }'
}

failed=0
while read -r tool mix budget; do
  case "$tool" in '' | '#'*) continue ;; esac
  case "$tool" in
    diagfill) figure=$(per_entry "$bin/diagfill" "$data/${mix}1.tra" "$data/out") ;;
    onebase) figure=$(per_entry "$bin/onebase" "$data/${mix}0.tra" "$data/out") ;;
    minmark) figure=$(per_entry "$bin/minmark" $entries 2 "$data/$mix.lst" "$data/out") ;;
  esac
  verdict=ok
  if awk -v f="$figure" -v b="$budget" 'BEGIN { exit !(f > b) }'; then
    verdict="OVER BUDGET"
    failed=1
  fi
  printf '%-9s %-9s %7s instructions an entry (budget %s): %s\n' "$tool" "$mix" "$figure" "$budget" "$verdict"
done <bench/budgets.txt
exit $failed
