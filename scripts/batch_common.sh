# shellcheck shell=bash
# Sourced by the batch scripts (scripts/batch_*.sh, bench/batch_scale.sh) after "set -euo pipefail".
# batch_start LUMO_BINARY WORKDIR checks the program, empties the work folder (one this family of
# scripts made, or a new or empty one) and enters it, so the logs name inputs by relative paths; it
# sets lumo, work and python (one with Pillow); support runs the input maker and checker. LUMO_PROFILE
# points at an empty profile there: the user's settings do not change the outputs.

script=$(basename "$0")
python=/usr/bin/python3  # Debian's, which has Pillow
support_py=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/batch_support.py
work_mark=.lumo-batch-work

fail() {
  echo "$script: FAILED: $*" >&2
  exit 1
}

ok() { echo "ok   $*"; }

# fail_later MESSAGE: a failed check that does not stop the checks after it; finish reports them.
failed_later=0
fail_later() {
  echo "$script: FAILED: $*" >&2
  failed_later=$((failed_later + 1))
}

finish() {
  [ "$failed_later" -eq 0 ] || fail "$failed_later of the checks above failed"
  echo "$script: all checks passed in $SECONDS s"
}

batch_start() {
  [ $# -ge 2 ] || { echo "usage: $script LUMO_BINARY WORKDIR${usage_extra:-}" >&2; exit 2; }
  lumo=$(realpath -- "$1") || fail "no program $1"
  [ -x "$lumo" ] && [ -f "$lumo" ] || fail "$1 is not an executable program"
  "$python" -c "import PIL" 2> /dev/null || fail "$python cannot import Pillow (python3-pil)"
  mkdir -p -- "$2"
  work=$(cd -- "$2" && pwd)
  # Only a folder these scripts made is emptied: a mistyped WORKDIR must not lose someone's files.
  if [ -n "$(ls -A -- "$work")" ] && [ ! -e "$work/$work_mark" ]; then
    fail "$work is not empty and was not made by these scripts; name a new or empty folder"
  fi
  find "$work" -mindepth 1 -delete
  : > "$work/$work_mark"
  cd "$work"
  export LUMO_PROFILE="$work/WIN.INI"
  : > "$LUMO_PROFILE"
  echo "$script: $lumo in $work"
}

# Fails unless `lumo convert --help` lists every option named.
require_options() {
  local help option
  help=$("$lumo" convert --help 2>&1) || fail "lumo convert --help failed: $help"
  for option in "$@"; do
    grep -qE -- "(^|[ ,])$option([ ,=]|\$)" <<< "$help" || fail "lumo convert --help lists no $option option"
  done
}

# Milliseconds of a monotonic-enough clock (the wall clock, to the microsecond).
now_ms() {
  local micro=${EPOCHREALTIME//[.,]/}
  echo $((micro / 1000))
}

# seconds_of MS: MS milliseconds written as seconds for sleep.
seconds_of() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }

# Runs the support program; its own messages say what it checked or what failed.
support() { "$python" "$support_py" "$@" || fail "check failed: batch_support.py $1 (see above)"; }

# run_status OUT_ERR COMMAND...: runs the command with standard error to OUT_ERR and sets status.
run_status() {
  local err=$1
  shift
  status=0
  "$@" < /dev/null 2> "$err" || status=$?
}

# expect_status WHAT WANT ERRFILE: fails with the end of ERRFILE unless status is WANT.
expect_status() {
  [ "$status" -eq "$2" ] || fail "$1 ended with exit status $status, $2 expected; its standard error ends:
$(tail -n 5 -- "$3")"
}

# check_summary ERRFILE N M: the last line of ERRFILE is the batch's summary "N converted, M failed"
# (the names of the failed files may follow it after a colon).
check_summary() {
  local last
  last=$(tail -n 1 -- "$1")
  [[ "$last" =~ ^([0-9]+)\ converted,\ ([0-9]+)\ failed(:.*)?$ ]] ||
    fail "$1 does not end with \"N converted, M failed\": its last line is \"${last:0:200}\""
  [ "${BASH_REMATCH[1]}" -eq "$2" ] && [ "${BASH_REMATCH[2]}" -eq "$3" ] ||
    fail "$1: \"${BASH_REMATCH[1]} converted, ${BASH_REMATCH[2]} failed\", expected \"$2 converted, $3 failed\""
}

# group_alive PGID: true while a process of the group is alive (a zombie, whose parent died without
# reaping it, has ended: it can write nothing more).
group_alive() {
  local stat rest state pgrp
  for stat in /proc/[0-9]*/stat; do
    { read -r rest < "$stat"; } 2> /dev/null || continue
    rest=${rest##*) }
    read -r state _ pgrp _ <<< "$rest"
    [ "$state" != Z ] && [ "$pgrp" = "$1" ] && return 0
  done
  return 1
}

# wait_group_gone PGID SECONDS: false if a process of the group is still alive after SECONDS.
wait_group_gone() {
  local deadline=$(($(now_ms) + $2 * 1000))
  while group_alive "$1"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.02
  done
}

# count_done LOG: the lines of LOG whose status is "done".
count_done() {
  [ -f "$1" ] || { echo 0; return; }
  grep -cE '"status" *: *"done"' -- "$1" || true
}
