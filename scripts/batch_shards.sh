#!/usr/bin/env bash
# A batch split with --shard, or fed with --files-from, writes what one run writes.
#   scripts/batch_shards.sh LUMO_BINARY WORKDIR
# Makes 300 pictures in a tree of three levels (names unique even without their folders) and
# converts them to PNG in one run. Checks:
# - three shards run by GNU parallel (two at a time, into one output tree) write the same files byte
#   for byte, and their logs show each input converted by exactly one shard, none empty;
# - `find -print0 | lumo convert --files-from - -0` writes the same pictures under their bare names,
#   and so does a list file of half the names with the other half as arguments;
# - a --shard outside 1..N, or not K/N, is a usage error (exit status 2) that writes nothing.
set -euo pipefail
source "$(dirname "$0")/batch_common.sh"
batch_start "$@"
command -v parallel > /dev/null || fail "GNU parallel is missing (scripts/setup.sh installs it)"
require_options -r --log --shard --files-from

support make in manifest.json --files 300 --depth 3 --seed 5
count=300
batch=(convert --format png -j 1)

run_status one.err "$lumo" "${batch[@]}" -r in -o one --log one.jsonl
expect_status "the single run" 0 one.err
check_summary one.err "$count" 0
support log one.jsonl --manifest manifest.json --root in --out one --once
support tree one --manifest manifest.json

# Three shards, two at a time (the machine's cores), all writing into one tree.
status=0
parallel --will-cite --halt never -q -j 2 "$lumo" "${batch[@]}" -r in -o sharded --log 'shard-{}.jsonl' --shard '{}/3' \
  ::: 1 2 3 < /dev/null 2> shards.err || status=$?
expect_status "the three shards under GNU parallel" 0 shards.err
support same one sharded
support shards --manifest manifest.json --root in shard-1.jsonl shard-2.jsonl shard-3.jsonl
ok "three shards under parallel: the same files as one run, each input converted by exactly one shard"

# The inputs as a NUL-separated list on standard input: the outputs go under the bare names.
status=0
find in -type f -print0 | "$lumo" "${batch[@]}" --files-from - -0 -o flat 2> flat.err || status=$?
expect_status "--files-from - -0" 0 flat.err
check_summary flat.err "$count" 0
support tree flat --manifest manifest.json --flat
compare_flat() {
  local output
  while IFS= read -r -d '' output; do
    cmp -s -- "$output" "$1/$(basename -- "$output")" || fail "$1/$(basename -- "$output") differs from $output"
  done < <(find one -type f -print0)
}
compare_flat flat
ok "--files-from - -0: the single run's pictures under their bare names"

# Half the names in a list file (one a line), the other half as arguments.
find in -type f | LC_ALL=C sort > all.txt
half=$((count / 2))
head -n "$half" all.txt > list.txt
mapfile -t rest < <(tail -n "+$((half + 1))" all.txt)
run_status list.err "$lumo" "${batch[@]}" --files-from list.txt "${rest[@]}" -o listed
expect_status "--files-from LIST with INPUT arguments" 0 list.err
check_summary list.err "$count" 0
support same flat listed
ok "--files-from LIST beside INPUT arguments: the same $count pictures"

for shard in 0/3 4/3 1/0 -1/3 2 a/3 1/3/3; do
  run_status bad.err "$lumo" "${batch[@]}" -r in -o bad --shard "$shard"
  expect_status "--shard $shard" 2 bad.err
  [ ! -e bad ] || fail "--shard $shard wrote $(find bad | head -n 3)"
done
ok "a --shard outside 1..N or not of the form K/N is refused (exit status 2) before anything is written"
finish
