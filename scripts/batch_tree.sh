#!/usr/bin/env bash
# A folder tree converted with -r: the output tree mirrors it, the log and the summary tell the truth.
#   scripts/batch_tree.sh LUMO_BINARY WORKDIR
# The tree: 300 pictures on three levels (JPEG, PNG, GIF, BMP; upper- and mixed-case extensions,
# spaces in names), 10 of them broken (JPEGs cut in the header or empty, text named .png, PNG and
# GIF files cut in half), two "notes.txt" that are no pictures, and "Linked Folder", a symbolic link
# to a folder of six more pictures beside the tree.
# Checks, for --keep-going --log into PNG:
# - every readable input has its output at its relative path, holding its pixels (exactly for PNG,
#   GIF and BMP inputs, closely for JPEG inputs), and nothing else is written (the broken files and
#   the notes leave nothing); the link is not followed, and with --follow it is;
# - the log has one line per input, "failed" with a reason for the broken ones; exit status 1; the
#   standard error ends with "N converted, M failed" with the right counts;
# - --follow on a tree with a link to its own parent ends and converts each picture once;
# - --verify with LUMO_TEST_DAMAGE_OUTPUT=1 (every saved output damaged before its check) fails every
#   readable file with a reason naming the verify, into BMP and into PNG, and leaves no output; without
#   it all pass, and a --resume of the damaged run's log (with --log naming a new file, the old log
#   left alone) converts every picture again, the same as a run without --verify;
# - --include takes the files of its patterns in place of the readable extensions, --exclude leaves
#   out files and whole folders (patterns on the name, or on the relative path with a '/', any case);
# - --quiet prints neither progress nor summary and writes the same files.
set -euo pipefail
source "$(dirname "$0")/batch_common.sh"
batch_start "$@"
require_options -r --log --resume --keep-going --follow --verify --quiet --include --exclude

support make in manifest.json --files 300 --broken 10 --depth 3 --extras linked --seed 3
readable=290 broken=10 linked=6
batch=(convert --keep-going)

# The tree into PNG, the link left alone.
run_status tree.err "$lumo" "${batch[@]}" -r in -o out --format png --log tree.jsonl
expect_status "the run over the tree" 1 tree.err
check_summary tree.err "$readable" "$broken"
support log tree.jsonl --manifest manifest.json --root in --out out --once
support tree out --manifest manifest.json --pixels in
ok "tree: the mirrored outputs hold their inputs' pixels; $broken broken files logged as failed; exit status 1; summary right; notes and the link left alone"

# The same with --follow: the linked pictures come in under the link's name.
run_status follow.err "$lumo" "${batch[@]}" --follow -r in -o followed --format png --log follow.jsonl
expect_status "the run with --follow" 1 follow.err
check_summary follow.err "$((readable + linked))" "$broken"
support log follow.jsonl --manifest manifest.json --root in --out followed --once --follow
support tree followed --manifest manifest.json --follow --pixels in
ok "--follow: the $linked pictures of the linked folder converted under \"Linked Folder\""

# A link from a folder to its parent: the walk must notice the loop instead of going round it.
support make loop loop.json --files 12 --depth 1 --loop --seed 4
status=0
timeout -k 5 60 "$lumo" "${batch[@]}" --follow -r loop -o loop-out --format png --log loop.jsonl < /dev/null 2> loop.err ||
  status=$?
[ "$status" -ne 124 ] && [ "$status" -ne 137 ] ||
  fail "--follow over a tree with a link to its parent did not end within 60 s"
[ "$status" -le 1 ] || fail "--follow over a tree with a link to its parent ended with exit status $status: $(tail -n 3 loop.err)"
support tree loop-out --manifest loop.json
support log loop.jsonl --manifest loop.json --root loop --out loop-out --once
ok "--follow over a link to the parent folder ends (exit status $status) and converts each picture once"

# --verify, with every saved output damaged before its check, then without.
for ext in bmp png; do
  run_status "damaged-$ext.err" env LUMO_TEST_DAMAGE_OUTPUT=1 "$lumo" "${batch[@]}" --verify -r in -o "verified-$ext" \
    --format "$ext" --log "damaged-$ext.jsonl"
  expect_status "--verify into $ext with damaged outputs" 1 "damaged-$ext.err"
  check_summary "damaged-$ext.err" 0 "$((readable + broken))"
  support log "damaged-$ext.jsonl" --manifest manifest.json --root in --out "verified-$ext" --ext "$ext" --once \
    --readable failed --reason '(?i)verif'
  ok "--verify into $ext: every damaged output fails with a reason naming the verify"
  # A file that failed leaves no output, as a broken input leaves none: nothing damaged stays under a
  # name where a good picture belongs.
  left=$(find "verified-$ext" -type f | wc -l)
  [ "$left" -eq 0 ] ||
    fail_later "--verify into $ext: $left outputs that failed their verify stay at their names, damaged (as $(find "verified-$ext" -type f -print -quit))"
done

run_status verified.err "$lumo" "${batch[@]}" --verify -r in -o verified-bmp-clean --format bmp --log verified-bmp.jsonl
expect_status "--verify into bmp" 1 verified.err
check_summary verified.err "$readable" "$broken"
support log verified-bmp.jsonl --manifest manifest.json --root in --out verified-bmp-clean --ext bmp --once
support tree verified-bmp-clean --manifest manifest.json --ext bmp --pixels in
ok "--verify into bmp: every readable output passes"

# The damaged run resumed, logging to a new file (--log beside --resume): the old log stays as it was.
cp damaged-png.jsonl damaged-png.before
run_status resumed.err "$lumo" "${batch[@]}" --verify -r in -o verified-png --format png --resume damaged-png.jsonl \
  --log resumed-png.jsonl
expect_status "--verify --resume of the damaged run into png" 1 resumed.err
check_summary resumed.err "$readable" "$broken"
cmp -s damaged-png.jsonl damaged-png.before || fail "--resume FILE --log OTHER wrote to FILE"
support log resumed-png.jsonl --manifest manifest.json --root in --out verified-png --once
support same out verified-png
ok "--verify --resume after the damaged run (logging to another file): every picture converted again, passing, the same files as without --verify"

# The selection: --include in place of the readable extensions, --exclude of files and whole folders;
# patterns on the name, or on the relative path when they have a '/', case ignored either way.
selection=(--include='*.BMP' --include='delta 2/2019/img_?????.jpg')
run_selection() {  # NAME PATTERN...: runs the tree with the patterns and checks what it took
  local name=$1 counts taken failing
  shift
  local patterns=() pattern
  for pattern in "$@"; do patterns+=("${pattern%%=*}" "${pattern#*=}"); done
  counts=$("$python" "$support_py" count manifest.json "${patterns[@]}")
  read -r taken failing <<< "$counts"
  [ "$taken" -gt 0 ] || fail "the patterns $* take no picture of the tree: the check would prove nothing"
  run_status "$name.err" "$lumo" "${batch[@]}" -r in -o "$name" --format png --log "$name.jsonl" "$@"
  expect_status "the run with $*" $((failing > 0 ? 1 : 0)) "$name.err"
  check_summary "$name.err" "$taken" "$failing"
  support log "$name.jsonl" --manifest manifest.json --root in --out "$name" --once "${patterns[@]}"
  support tree "$name" --manifest manifest.json --pixels in "${patterns[@]}"
}
run_selection included "${selection[@]}"
bmps=$("$python" "$support_py" count manifest.json --include '*.bmp')
[ "$(cut -d' ' -f1 <<< "$bmps")" -lt "$(find included -type f | wc -l)" ] ||
  fail "the relative-path pattern delta 2/2019/img_?????.jpg took no picture"
ok "--include: the files of the patterns (name or relative path, any case) in place of the readable extensions"
run_selection excluded --exclude='Beta Photos' --exclude='*.GIF' --exclude='gamma/misc'
ok "--exclude: the files and folders of the patterns (name or relative path, any case) left out"

# --quiet: nothing but the failures' messages on standard error.
run_status quiet.err "$lumo" "${batch[@]}" --quiet -r in -o quiet --format png
expect_status "the --quiet run" 1 quiet.err
! grep -qE '[0-9]+ converted, [0-9]+ failed' quiet.err || fail "--quiet printed the summary: $(grep -E 'converted,' quiet.err)"
! grep -q $'\r' quiet.err || fail "--quiet printed a progress line"
support same out quiet
ok "--quiet: no summary, no progress line, the same outputs"
finish
