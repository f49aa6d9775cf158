#!/usr/bin/env bash
# How `lumo convert -r` scales over a large batch of small files, beside ImageMagick's mogrify.
#   bench/batch_scale.sh LUMO_BINARY WORKDIR [COUNT]
# COUNT (default 10,000) photo-like 320x240 JPEGs of varied content (two dozen textures, each file
# stamped with its own number) in folders of 1,000, and as many 8x8 JPEGs of random pixels.
# Measures (wall and CPU time of one run each; a quiet machine gives the figures the targets are meant
# for):
# - `lumo convert -r IN -o OUT --format png --quiet` with -j 1 and -j 2: the speed-up of two workers
#   (target: 1.8 or more);
# - the same on the 8x8 files, where nearly all the time is the per-file cost: ms per file (target:
#   below 2);
# - memory: the resident size (VmRSS from /proc) of the main process and its workers when the --log
#   has 1% of the lines (100 of 10,000) and when it has 99% (9,900) of a -j 2 run of its own (sampled
#   every 50 ms; not timed): flat when the two match;
# - `mogrify -format png -path OUT` over the same files, 200 names per call through xargs, with one
#   and with two calls at a time, each on one thread (OMP_NUM_THREADS=1).
# Prints a table; fails only when a run fails or writes the wrong number of files.
set -euo pipefail
usage_extra=" [COUNT]"
source "$(dirname "$0")/../scripts/batch_common.sh"
batch_start "$@"
count=${3:-10000}
[[ "$count" =~ ^[0-9]+$ ]] && [ "$count" -ge 100 ] || fail "COUNT must be a number of at least 100, not \"$count\""
require_options -r --log --quiet
command -v mogrify > /dev/null || fail "mogrify is missing (install imagemagick)"
export OMP_NUM_THREADS=1

support photos photos "$count" --size 320x240
support photos tiny "$count" --size 8x8

# expect_outputs DIR: DIR holds count PNG files.
expect_outputs() {
  local written
  written=$(find "$1" -name '*.png' | wc -l)
  [ "$written" -eq "$count" ] || fail "$1 holds $written PNG files, $count expected"
}

# timed NAME OUT COMMAND...: runs COMMAND into the fresh folder OUT; sets ms to its wall time and
# cpu to the CPU time (user + system, workers and other children included) in ms.
timed() {
  local name=$1 out=$2 times real user system TIMEFORMAT='%3R %3U %3S'
  shift 2
  rm -rf "$out"
  mkdir -p "$out"
  times=$({ time "$@" < /dev/null 2> "$name.err"; } 2>&1) || fail "$name failed: $(tail -n 3 "$name.err")"
  read -r real user system <<< "$times"
  ms=$(awk -v r="$real" 'BEGIN { printf "%d", r * 1000 }')
  cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%d", (u + s) * 1000 }')
  expect_outputs "$out"
  echo "$script: $name: $ms ms, cpu $cpu ms" >&2
}

lumo_run() {  # JOBS IN OUT
  "$lumo" convert -r "$2" -o "$3" --format png --quiet -j "$1"
}
mogrify_run() {  # CALLS IN OUT
  find "$2" -name '*.jpg' -print0 | xargs -0 -n 200 -P "$1" mogrify -format png -path "$3"
}

timed lumo-j1 out lumo_run 1 photos out
j1=$ms j1_cpu=$cpu
timed lumo-j2 out lumo_run 2 photos out
j2=$ms j2_cpu=$cpu
timed tiny-j1 out-tiny lumo_run 1 tiny out-tiny
tiny1=$ms tiny1_cpu=$cpu
timed tiny-j2 out-tiny lumo_run 2 tiny out-tiny
tiny2=$ms tiny2_cpu=$cpu
timed mogrify-p1 out-mogrify mogrify_run 1 photos out-mogrify
m1=$ms m1_cpu=$cpu
timed mogrify-p2 out-mogrify mogrify_run 2 photos out-mogrify
m2=$ms m2_cpu=$cpu

# rss_of_group PGID: "total largest processes" of the group's resident sizes in KiB.
rss_of_group() {
  local stat rest state pgrp total=0 largest=0 processes=0 rss
  for stat in /proc/[0-9]*/stat; do
    { read -r rest < "$stat"; } 2> /dev/null || continue
    rest=${rest##*) }
    read -r state _ pgrp _ <<< "$rest"
    [ "$state" != Z ] && [ "$pgrp" = "$1" ] || continue
    rss=$(awk '/^VmRSS:/ { print $2 }' "${stat%/stat}/status" 2> /dev/null || true)
    [ -n "$rss" ] || continue
    total=$((total + rss))
    [ "$rss" -le "$largest" ] || largest=$rss
    processes=$((processes + 1))
  done
  echo "$total $largest $processes"
}

rm -rf out-rss rss.jsonl
low=$((count / 100)) high=$((count - count / 100))
early="" late=""
setsid "$lumo" convert -r photos -o out-rss --format png --quiet -j 2 --log rss.jsonl < /dev/null 2> rss.err &
pid=$!
while :; do
  read -r state < <(sed 's/.*) //; s/ .*//' "/proc/$pid/stat" 2> /dev/null || echo Z)
  [ "$state" != Z ] || break
  lines=0
  [ ! -f rss.jsonl ] || lines=$(wc -l < rss.jsonl)
  if [ -z "$early" ] && [ "$lines" -ge "$low" ]; then early="$lines $(rss_of_group "$pid")"; fi
  if [ -z "$late" ] && [ "$lines" -ge "$high" ]; then late="$lines $(rss_of_group "$pid")"; fi
  sleep 0.05
done
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the sampled run failed (exit status $status): $(tail -n 3 rss.err)"
expect_outputs out-rss

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
per_file() { awk -v ms="$1" -v n="$count" 'BEGIN { printf "%.3f", ms / n }'; }
row() { printf '%-40s %8s %8s %8s  %s\n' "$@"; }
echo
row "$count JPEG 320x240 -> PNG" "wall s" "cpu s" "ms/file" "ratio"
row "lumo -j 1" "$(ratio "$j1" 1000)" "$(ratio "$j1_cpu" 1000)" "$(per_file "$j1")" "1.00"
row "lumo -j 2" "$(ratio "$j2" 1000)" "$(ratio "$j2_cpu" 1000)" "$(per_file "$j2")" \
  "$(ratio "$j1" "$j2")x as fast as -j 1 (target >= 1.8); cpu/wall $(ratio "$j2_cpu" "$j2")"
row "mogrify, xargs -P 1 (one thread)" "$(ratio "$m1" 1000)" "$(ratio "$m1_cpu" 1000)" "$(per_file "$m1")" \
  "$(ratio "$m1" "$j1")x the time of lumo -j 1"
row "mogrify, xargs -P 2 (one thread each)" "$(ratio "$m2" 1000)" "$(ratio "$m2_cpu" 1000)" "$(per_file "$m2")" \
  "$(ratio "$m2" "$j2")x the time of lumo -j 2"
row "$count JPEG 8x8 -> PNG (per-file cost)" "" "" "" ""
row "lumo -j 1" "$(ratio "$tiny1" 1000)" "$(ratio "$tiny1_cpu" 1000)" "$(per_file "$tiny1")" "(target < 2 ms per file)"
row "lumo -j 2" "$(ratio "$tiny2" 1000)" "$(ratio "$tiny2_cpu" 1000)" "$(per_file "$tiny2")" ""
echo "(cpu/wall near 2 means the two workers had both cores; on a busy machine it is lower, and so is the speed-up)"
echo
printf '%-44s %9s %9s %9s\n' "resident size, lumo -j 2 (KiB)" "log lines" "all" "largest"
for sample in "at 1%:$early" "at 99%:$late"; do
  read -r lines total largest processes <<< "${sample#*:}"
  if [ -n "${lines:-}" ]; then
    printf '%-44s %9s %9s %9s\n' "${sample%%:*} ($processes processes)" "$lines" "$total" "$largest"
  else
    printf '%-44s %9s\n' "${sample%%:*}" "(run ended before it)"
  fi
done
