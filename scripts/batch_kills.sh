#!/usr/bin/env bash
# A batch killed again and again and resumed each time gives what one clean run gives.
#   scripts/batch_kills.sh LUMO_BINARY WORKDIR [FILES]
# Makes FILES small pictures (default $LUMO_BATCH_FILES, else 2,000; JPEG, PNG, GIF and BMP, a few
# broken, in a tree of two levels, names with spaces and upper-case extensions) and converts them to
# PNG with two workers once without interruption (the reference). Then runs the same batch with
# --resume, in a process group of its own, and SIGKILLs its main process (not the workers) at a random
# moment, waits until no process of the group is left and starts it again, until LUMO_BATCH_KILLS
# kills (default 20) have landed, then once to the end. The moments are points drawn uniformly over
# the clean run's duration, each run living from one to the next after its start-up, so the kills
# land all along the batch, a few while a run starts (reading the log, walking the tree).
# Checks: the outputs are byte for byte the reference's, with nothing else beside them (no temporary,
# no partial file); the log has exactly one "done" line per converted input and failed lines with a
# reason for the broken ones. Then a resume after one output was deleted and another changed converts
# those two again and nothing else. LUMO_BATCH_SEED repeats a run's random moments.
set -euo pipefail
usage_extra=" [FILES]"
source "$(dirname "$0")/batch_common.sh"
batch_start "$@"
files=${3:-${LUMO_BATCH_FILES:-2000}}
kills=${LUMO_BATCH_KILLS:-20}
seed=${LUMO_BATCH_SEED:-$((RANDOM * 32768 + RANDOM))}
RANDOM=$seed
[[ "$files" =~ ^[0-9]+$ ]] && [ "$files" -ge 20 ] || fail "FILES must be a number of at least 20, not \"$files\""
require_options -r --log --resume --keep-going
echo "$script: $files files, $kills kills, seed $seed (LUMO_BATCH_SEED=$seed repeats the moments)"

broken=$((files / 200 + 3))
readable=$((files - broken))
support make in manifest.json --files "$files" --broken "$broken" --depth 2 --seed "$((seed % 1000))"
batch=(convert -r in --format png --keep-going)

# The reference: one run without interruption, with as many workers as the killed runs.
started=$(now_ms)
run_status ref.err timeout -k 5 300 "$lumo" "${batch[@]}" -o ref -j 2 --log ref.jsonl
clean_ms=$(($(now_ms) - started))
expect_status "the clean run" 1 ref.err
check_summary ref.err "$readable" "$broken"
support log ref.jsonl --manifest manifest.json --root in --out ref --once
support tree ref --manifest manifest.json
ok "clean run: $readable converted, $broken failed in $clean_ms ms"

# A resume of the finished batch converts nothing again; its time is the start-up a resumed run needs
# (reading the log, walking the tree, trying the broken files again).
started=$(now_ms)
run_status noop.err timeout -k 5 300 "$lumo" "${batch[@]}" -o ref -j 2 --resume ref.jsonl
start_ms=$(($(now_ms) - started))
expect_status "the resume of the finished batch" 1 noop.err
[ "$(count_done ref.jsonl)" -eq "$readable" ] ||
  fail "a resume of the finished batch converted $(($(count_done ref.jsonl) - readable)) files again"
ok "a resume of the finished batch converts nothing again ($start_ms ms)"
[ "$clean_ms" -gt "$start_ms" ] || clean_ms=$((start_ms + 1))

# The killed runs, each with its standard error in run-N.err and a line in rounds.txt. The kills fall
# on as many points drawn uniformly over the clean run's duration: each run lives for a random part of
# the start-up a resume needs, then from one point to the next, so the kills land all along the batch
# (close points: while starting). A run that ends before its moment is no kill; the rounds go on (with
# a moment uniform over the time the files still to do need) until the kills have landed, at most
# three times as many rounds as kills.
random_below() { echo $(((RANDOM * 32768 + RANDOM) % $1)); }
mapfile -t points < <(for ((i = 0; i < kills; ++i)); do random_below $((clean_ms + 1)); done | sort -n)
landed=0 working=0 round=0 previous=0
: > rounds.txt
while [ "$landed" -lt "$kills" ]; do
  [ "$round" -lt $((3 * kills)) ] || fail "only $landed of $round runs were killed before they ended"
  before=$(count_done run.jsonl)
  left=$((readable - before))
  if [ "$round" -lt "$kills" ]; then
    span=$((points[round] - previous))
    previous=${points[round]}
  else
    span=$(random_below $(((clean_ms - start_ms) * left / readable + 1)))
  fi
  round=$((round + 1))
  moment=$(($(random_below $((start_ms + 1))) + span))
  # Job control is off in a script, so setsid runs lumo in place: $! is lumo's pid and its group's.
  setsid "$lumo" "${batch[@]}" -o out -j 2 --resume run.jsonl < /dev/null 2> "run-$round.err" &
  pid=$!
  sleep "$(seconds_of "$moment")"
  # Only while it runs: the shell reaps a job that ended, and its pid may go to another process.
  [ -z "$(jobs -rp)" ] || kill -KILL "$pid" 2> /dev/null || true
  status=0
  wait "$pid" 2> /dev/null || status=$?  # (without the shell's "Killed" notice)
  case $status in
    137 | 1) ;;  # killed, or ended before the moment (the broken files failed)
    *) fail "resumed run $round ended with exit status $status (1, or 137 for the kill, expected); run-$round.err ends:
$(tail -n 5 "run-$round.err")" ;;
  esac
  wait_group_gone "$pid" 30 ||
    fail "30 s after the SIGKILL of run $round's main process, processes of its group still run (workers that outlive their parent):
$(ps -o pid,stat,etime,args --sid "$pid" 2> /dev/null || true)"
  after=$(count_done run.jsonl)
  echo "run $round: $left to do, kill at $moment ms, exit status $status, $((after - before)) done" >> rounds.txt
  if [ "$status" -eq 137 ]; then
    landed=$((landed + 1))
    [ "$after" -eq "$before" ] || working=$((working + 1))
  fi
done
ok "$landed runs stopped by SIGKILL of the main process at random moments ($working of them after converting files, the others while starting); $round runs; no process outlived its run (rounds.txt)"

run_status final.err timeout -k 5 300 "$lumo" "${batch[@]}" -o out -j 2 --resume run.jsonl
expect_status "the final resumed run" 1 final.err

leftovers=$(find out -name '*.lumo-*' -printf '%P\n')
[ -z "$leftovers" ] || fail "temporary files left in the output tree: $leftovers"
support same ref out
support log run.jsonl --manifest manifest.json --root in --out out
ok "after $kills kills and a final resume: outputs identical to the clean run's, no temporary left, one done line per input"

# --resume trusts a done line only while its output is there with the logged size: one output
# deleted and one grown by a byte are converted again, and nothing else is.
mapfile -t victims < <(find out -type f -printf '%P\n' | LC_ALL=C sort | sed -n '1p;$p')
rm -- "out/${victims[0]}"
printf 'x' >> "out/${victims[1]}"
lines=$(wc -l < run.jsonl)
run_status again.err timeout -k 5 300 "$lumo" "${batch[@]}" -o out -j 2 --resume run.jsonl
expect_status "the resumed run after a deleted and a changed output" 1 again.err
redone=$(tail -n "+$((lines + 1))" run.jsonl | grep -E '"status" *: *"done"' || true)
[ "$(grep -c . <<< "$redone")" -eq 2 ] ||
  fail "the resume after a deleted and a changed output converted $(grep -c . <<< "$redone") files again, 2 expected:
${redone:0:2000}"
for victim in "${victims[@]}"; do
  grep -qF -- "$(basename -- "${victim%.png}")." <<< "$redone" ||
    fail "the resume did not convert $victim again (its output was deleted or changed)"
done
support same ref out
ok "a resume converts again exactly the outputs that were deleted or changed (${victims[*]})"
finish
