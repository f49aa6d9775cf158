#!/usr/bin/env bash
# Bringing a contact sheet up to date after one of its 64 pictures changed, against building it whole.
#
# Usage: bench/sheet_update.sh [BUILD_DIR] (default: build); RUNS=N sets the rounds (default 7).
# Needs BUILD_DIR/bin/lumo and convert.
#
# Method:
# - 64 photo-like 1600 x 1200 JPEGs (quality 90) from ImageMagick's plasma, sixteen different
#   pictures under four names each, on one 640 x 480 sheet of 80 x 60 cells.
# - Full: `lumo mosaic` of the 64 files in their folder.
# - Update: one picture is swapped for another of the sixteen (a copy of ~600 KB), then
#   `lumo mosaic --update` of the sheet. Each round swaps it back and forth, so every update finds
#   exactly one changed picture. The swap alone is timed the same way and taken off.
# - Each figure is the best CPU time (user + system) of its rounds; the ratio is update / full.
# - At the end the updated sheet and index are compared byte for byte with a full build's (the table
#   records modification times, so the comparison follows an update that found a real change).
set -euo pipefail

build=${1:-build}
runs=${RUNS:-7}
lumo=$(cd "$build/bin" && pwd)/lumo
source "$(dirname "$0")/best_cpu_time.sh"
require "$lumo" convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
for ((i = 0; i < 16; ++i)); do
    convert -seed "$((i + 1))" -size 1600x1200 plasma:fractal -blur 0x1 -quality 90 "$work/seed$i.jpg"
done
for ((i = 0; i < 64; ++i)); do cp "$work/seed$((i % 16)).jpg" "$work/in/p$(printf %02d "$i").jpg"; done
export LUMO_PROFILE=$work/WIN.INI
: >"$LUMO_PROFILE"
cd "$work/in"

full() { "$lumo" mosaic p*.jpg; }
# p37 alternates between two pictures: every call changes it.
swap() {
    if cmp -s p37.jpg ../seed5.jpg; then cp ../seed9.jpg p37.jpg; else cp ../seed5.jpg p37.jpg; fi
}
update() { swap && "$lumo" mosaic --update ./-mosaic.jpg; }

full >/dev/null
full_ms=$(best_ms full)
swap_ms=$(best_ms swap)
# The sheet follows the picture again before the timed updates, each of which then finds one change.
full >/dev/null
update_ms=$(best_ms update)

update >/dev/null
cp -- -mosaic.jpg ../updated.jpg
cp -- -mosaic.idx ../updated.idx
full >/dev/null
same=no
cmp -s -- -mosaic.jpg ../updated.jpg && cmp -s -- -mosaic.idx ../updated.idx && same=yes

awk -v f="$full_ms" -v u="$update_ms" -v s="$swap_ms" -v same="$same" 'BEGIN {
    net = u - s; if (net < 0) net = 0
    printf "full build of 64 pictures:   %8.2f ms\n", f
    printf "update after 1 changed:      %8.2f ms (%.2f ms less the swap of the picture)\n", u, net
    printf "ratio update / full:         %8.3f\n", net / f
    printf "updated sheet and index byte-identical to a full build: %s\n", same
}'
