#!/usr/bin/env bash
# Benchmarks the tools against plain C stdio programs doing the same work,
# and, where BASELINE names a commit, against the tools of that commit.
#   bash bench/run.sh [diagfill|onebase|minmark|compressed|all]
#   BASELINE=main~3 bash bench/run.sh diagfill
# PAIRS sets how many paired runs give the median wall time (default 3).
# Needs valgrind for the instruction counts, which it ends with for every
# tool on small files of each kind (bench/instructions.sh). Files go to
# build-bench/data.
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
pairs=${PAIRS:-3}
out=build-bench
data=$out/data
mkdir -p "$data"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$out" -j2 >/dev/null
g++ -O2 -std=c++20 -o "$out/gen" bench/gen.cpp
g++ -O2 -o "$out/measure" bench/measure.cpp
for b in bench/baseline_*.c; do
  name=$(basename "$b" .c)
  gcc -O2 -o "$out/$name" "$b"
done

# make_file NAME GEN-ARGS...: generated once, kept for later runs.
make_file() {
  local f=$data/$1
  shift
  [ -s "$f" ] || "$out/gen" "$@" >"$f"
}

median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
max() { sort -n | tail -n 1; }

# instructions COMMAND...: the instructions the command executes, by callgrind.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

# rss_kib COMMAND...: peak resident set of one run.
rss_kib() { "$out/measure" "$@" | cut -d' ' -f2; }

# compare LABEL INPUT COMMAND BASELINE TARGET: paired wall-time runs on
# INPUT, pinned to one core and then free on both; the tool and the baseline
# take INPUT and an output path as their last two arguments (minmark's size
# and k come first in COMMAND).
compare() {
  local label=$1 input=$2 tool=$3 base=$4 target=$5
  compare_on "$label" "$input" "taskset -c 0 $tool" "taskset -c 0 $base" "one core" "$target"
  compare_on "$label" "$input" "$tool" "$base" "two cores" 0
}

compare_on() {
  local label=$1 input=$2 tool=$3 base=$4 cores=$5 target=$6
  local mb tw bw tr br
  mb=$(awk -v b="$(stat -c %s "$input")" 'BEGIN { printf "%.1f", b / 1e6 }')
  : >"$out/times"
  # One untimed run of each first, so that the timed runs find the input in
  # the page cache. Each run starts once the previous run's output is on
  # disk, so that its write-back does not share the machine with the run
  # being timed.
  "$out/measure" $tool "$input" "$out/result" >/dev/null
  "$out/measure" $base "$input" "$out/result-base" >/dev/null
  for _ in $(seq "$pairs"); do
    sync
    echo "tool $("$out/measure" $tool "$input" "$out/result")" >>"$out/times"
    sync
    echo "base $("$out/measure" $base "$input" "$out/result-base")" >>"$out/times"
  done
  cmp -s "$out/result" "$out/result-base" || echo "  WARNING: tool and baseline outputs differ"
  tw=$(awk '$1 == "tool" { print $2 }' "$out/times" | median)
  bw=$(awk '$1 == "base" { print $2 }' "$out/times" | median)
  tr=$(awk '$1 == "tool" { print $3 }' "$out/times" | max)
  br=$(awk '$1 == "base" { print $3 }' "$out/times" | max)
  echo "$label: $(basename "$input"), $mb MB, $cores, median of $pairs paired runs"
  awk -v mb="$mb" -v tw="$tw" -v bw="$bw" -v tr="$tr" -v br="$br" -v t="$target" 'BEGIN {
    printf "  %-10s %9s %9s %14s\n", "", "wall s", "MB/s", "peak RSS MiB"
    printf "  %-10s %9.3f %9.1f %14.1f\n", "tool", tw, mb / tw, tr / 1024
    printf "  %-10s %9.3f %9.1f %14.1f\n", "baseline", bw, mb / bw, br / 1024
    if (t > 0) printf "  speed-up: %.1fx (target: at least %dx)\n", bw / tw, t
    else printf "  speed-up: %.1fx\n", bw / tw }'
}

# per_entry LABEL COUNT INPUT TOOL BASELINE TARGET: instructions per entry.
per_entry() {
  local label=$1 count=$2 input=$3 tool=$4 base=$5 target=$6 ti bi
  ti=$(instructions $tool "$input" "$out/result")
  bi=$(instructions $base "$input" "$out/result-base")
  awk -v n="$count" -v ti="$ti" -v bi="$bi" -v t="$target" -v l="$label" 'BEGIN {
    printf "  instructions per %s (callgrind, %d): tool %.0f (target: at most %d), baseline %.0f\n",
      l, n, ti / n, t, bi / n }'
}

# limited KIB COMMAND INPUT: a run under a virtual memory limit must write
# the bytes of the unlimited run.
limited() {
  local kib=$1 tool=$2 input=$3 status=0
  $tool "$input" "$out/result" >/dev/null
  bash -c "ulimit -v $kib; exec $tool \"$input\" \"$out/result-limited\"" >/dev/null 2>&1 || status=$?
  if [ "$status" = 0 ] && cmp -s "$out/result" "$out/result-limited"; then
    echo "  in a virtual memory limit of $((kib / 1024)) MiB: same bytes"
  else
    echo "  in a virtual memory limit of $((kib / 1024)) MiB: FAILED (status $status)"
  fi
}

# rss_line LABEL SIZE COMMAND FILES...: peak RSS on each file against the bound.
rss_line() {
  local label=$1 per_slot=$2 size=$3 tool=$4
  shift 4
  local line="  peak RSS bound $per_slot x $size + 8 MiB = $(awk -v s="$size" -v p="$per_slot" 'BEGIN { printf "%.1f", (p * s + 8 * 1048576) / 1048576 }') MiB:"
  for f in "$@"; do
    line="$line $(basename "$f") $(rss_kib $tool "$f" "$out/result" | awk '{ printf "%.1f", $1 / 1024 }') MiB;"
  done
  echo "$line"
}

# slower LABEL TARGET "COMMAND" "PLAIN COMMAND" [CORES]: paired wall times
# of a run on or to a compressed file against the same run on plain files,
# pinned to one core (or free on both, CORES 2); the ratio should stay at
# most TARGET.
slower() {
  local label=$1 target=$2 cmd=$3 plain=$4 cores=${5:-1} pin="taskset -c 0" where="one core"
  [ "$cores" = 1 ] || { pin=""; where="two cores"; }
  : >"$out/times"
  "$out/measure" $pin $cmd >/dev/null
  "$out/measure" $pin $plain >/dev/null
  for _ in $(seq "$pairs"); do
    sync
    echo "tool $("$out/measure" $pin $cmd)" >>"$out/times"
    sync
    echo "base $("$out/measure" $pin $plain)" >>"$out/times"
  done
  local tw bw
  tw=$(awk '$1 == "tool" { print $2 }' "$out/times" | median)
  bw=$(awk '$1 == "base" { print $2 }' "$out/times" | median)
  awk -v tw="$tw" -v bw="$bw" -v t="$target" -v l="$label" -v w="$where" 'BEGIN {
    printf "%s: %.3f s against %.3f s plain, %.2fx (target: at most %dx), %s, median of paired runs\n",
      l, tw, bw, tw / bw, t, w }'
}

# compressed_runs: diagfill reading gzip and zstd (decoded by a helper thread:
# one core and two), onebase writing them.
compressed_runs() {
  local in1=$data/tra1-10m.tra in0=$data/tra0-10m.tra
  [ -s "$in1.gz" ] || gzip -6 -c "$in1" >"$in1.gz"
  [ -s "$in1.zst" ] || zstd -q -c "$in1" >"$in1.zst"
  local cores
  for cores in 1 2; do
    slower "diagfill on tra1-10m.tra.gz" 2 "$out/bin/diagfill $in1.gz $out/result" "$out/bin/diagfill $in1 $out/result-base" $cores
    cmp -s "$out/result" "$out/result-base" || echo "  WARNING: the outputs differ"
    slower "diagfill on tra1-10m.tra.zst" 2 "$out/bin/diagfill $in1.zst $out/result" "$out/bin/diagfill $in1 $out/result-base" $cores
  done
  slower "onebase writing .gz" 4 "$out/bin/onebase $in0 $out/result.gz" "$out/bin/onebase $in0 $out/result"
  gzip -dc "$out/result.gz" | cmp -s - "$out/result" || echo "  WARNING: the .gz output differs"
  slower "onebase writing .zst" 4 "$out/bin/onebase $in0 $out/result.zst" "$out/bin/onebase $in0 $out/result"
  limited 32768 "$out/bin/diagfill" "$in1.gz"
}

# baseline_bin COMMIT: the tools of that commit, built once.
baseline_bin() {
  local dir=$out/commit-$1
  if [ ! -x "$dir/build/bin/diagfill" ]; then
    rm -rf "$dir/src"
    git worktree add --detach -f "$dir/src" "$1" >/dev/null 2>&1
    cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$dir/build" -j2 >/dev/null
    git worktree remove --force "$dir/src"
  fi
  echo "$dir/build/bin"
}

# against_commit TOOL INPUT [ARGS...]: paired wall times, pinned to one
# core, against the same tool built from $BASELINE.
against_commit() {
  [ -n "${BASELINE:-}" ] || return 0
  local tool=$1 input=$2 bin
  shift 2
  bin=$(baseline_bin "$BASELINE")
  compare_on "$tool against $BASELINE" "$input" "taskset -c 0 $out/bin/$tool $*" "taskset -c 0 $bin/$tool $*" \
    "one core" 0
}

bench_diagfill() {
  make_file tra1-10m.tra tra 10000000 1000000 1
  make_file tra1-1m.tra tra 1000000 100000 1
  make_file tra1-thin.tra tra 1000000 1000000 1
  compare diagfill "$data/tra1-10m.tra" "$out/bin/diagfill" "$out/baseline_diagfill" 15
  against_commit diagfill "$data/tra1-10m.tra"
  per_entry entry 1000000 "$data/tra1-1m.tra" "$out/bin/diagfill" "$out/baseline_diagfill" 250
  limited 32768 "$out/bin/diagfill" "$data/tra1-10m.tra"
  rss_line diagfill 8 1000000 "$out/bin/diagfill" "$data/tra1-thin.tra" "$data/tra1-10m.tra"
}

bench_onebase() {
  make_file tra0-10m.tra tra 10000000 1000000 0
  make_file tra0-1m.tra tra 1000000 100000 0
  compare onebase "$data/tra0-10m.tra" "$out/bin/onebase" "$out/baseline_onebase" 12
  against_commit onebase "$data/tra0-10m.tra"
  per_entry entry 1000000 "$data/tra0-1m.tra" "$out/bin/onebase" "$out/baseline_onebase" 160
  limited 16384 "$out/bin/onebase" "$data/tra0-10m.tra"
  rss_line onebase 0 0 "$out/bin/onebase" "$data/tra0-1m.tra" "$data/tra0-10m.tra"
}

bench_minmark() {
  make_file states-10m.lst listing 10000000
  make_file states-1m.lst listing 1000000
  compare minmark "$data/states-10m.lst" "$out/bin/minmark 10000000 2" "$out/baseline_minmark 10000000 2" 12
  against_commit minmark "$data/states-10m.lst" 10000000 2
  per_entry state 1000000 "$data/states-1m.lst" "$out/bin/minmark 1000000 2" "$out/baseline_minmark 1000000 2" 150
  limited 16384 "$out/bin/minmark 10000000 2" "$data/states-10m.lst"
  rss_line minmark 0.125 10000000 "$out/bin/minmark 10000000 2" "$data/states-10m.lst"
}

for tool in diagfill onebase minmark; do
  if [ "$which" = all ] || [ "$which" = "$tool" ]; then
    if declare -F "bench_$tool" >/dev/null; then "bench_$tool"; fi
  fi
done

if [ "$which" = all ] || [ "$which" = compressed ]; then
  make_file tra1-10m.tra tra 10000000 1000000 1
  make_file tra0-10m.tra tra 10000000 1000000 0
  compressed_runs
fi

echo "instructions per entry on 200,000-entry files (bench/instructions.sh):"
bash bench/instructions.sh "$out" || true
