#!/usr/bin/env bash
# A contact sheet of photos, side by side with GraphicsMagick's montage and with the floor of decoding
# the same files at 1/8 size with djpeg.
#
# Usage: bench/sheet_vs_gm.sh [BUILD_DIR] (default: build); RUNS=N sets the rounds (default 7).
# Needs BUILD_DIR/bin/lumo, gm, djpeg and convert.
#
# Method:
# - 60 photo-like 1600 x 1200 JPEGs (quality 90) are made once with ImageMagick's plasma, twelve
#   different pictures repeated under new names; all of them go on one 640 x 480 sheet of 80 x 60 cells.
# - Ours: `lumo mosaic -o DIR` with -j 1 and with -j 2.
# - GraphicsMagick: `gm montage` of the same files into 80 x 60 tiles, 8 x 8, on black, quality 85,
#   OMP_NUM_THREADS=1 so that it works on one thread.
# - Floor: `djpeg -scale 1/8` of every file, one process per file, output thrown away. Starting 60
#   processes costs time that is not decoding, so the same loop over an 8 x 8 JPEG is measured too and
#   taken off: the net floor is what decoding the photos at 1/8 costs.
# - The sides run interleaved, one after the other in every round, so that a busy machine weighs on
#   all of them alike. Each figure is the best of its rounds: CPU time (user + system, children
#   included) for the one-thread comparisons, wall time for -j 2 against -j 1 (workers only pay off
#   in wall time). The load average is printed before and after, since other work blurs the figures,
#   and two -j 1 runs at once show what speedup two processes can get on the machine at that time.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-7}
lumo=$build/bin/lumo
[ -x "$lumo" ] || { echo "missing $lumo (build the target lumo)" >&2; exit 1; }
for tool in gm djpeg convert; do command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/j1" "$work/j2" "$work/pair"
for ((i = 0; i < 12; ++i)); do
    convert -seed "$((i + 1))" -size 1600x1200 plasma:fractal -blur 0x1 -quality 90 "$work/in/photo$i.jpg"
done
for ((i = 12; i < 60; ++i)); do cp "$work/in/photo$((i % 12)).jpg" "$work/in/photo$i.jpg"; done
convert -size 8x8 xc:gray "$work/tiny.jpg"
photos=("$work"/in/*.jpg)
profile=$work/WIN.INI
: >"$profile"
export LUMO_PROFILE=$profile OMP_NUM_THREADS=1

gm_montage() { gm montage -geometry 80x60+0+0 -tile 8x8 -background black -quality 85 "${photos[@]}" "$work/gm.jpg"; }
djpeg_photos() { for f in "${photos[@]}"; do djpeg -scale 1/8 -outfile /dev/null "$f"; done; }
djpeg_tiny() { for f in "${photos[@]}"; do djpeg -scale 1/8 -outfile /dev/null "$work/tiny.jpg"; done; }
lumo_j1() { "$lumo" mosaic -j 1 -o "$work/j1" "${photos[@]}"; }
lumo_j2() { "$lumo" mosaic -j 2 -o "$work/j2" "${photos[@]}"; }
# Two single-process sheets at once: the speedup two processes can get on this machine at all.
lumo_j1_pair() {
    "$lumo" mosaic -j 1 -o "$work/j1" "${photos[@]}" &
    "$lumo" mosaic -j 1 -o "$work/pair" "${photos[@]}"
    wait
}
sides=(gm_montage djpeg_photos djpeg_tiny lumo_j1 lumo_j2 lumo_j1_pair)

declare -A best_cpu best_wall
measure() {  # side: keeps its best CPU and wall time, in milliseconds
    local times real user system TIMEFORMAT='%3R %3U %3S'
    times=$({ time "$1" >/dev/null 2>&1; } 2>&1)
    read -r real user system <<<"$times"
    local cpu wall
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%d", (u + s) * 1000 }')
    wall=$(awk -v r="$real" 'BEGIN { printf "%d", r * 1000 }')
    if [ -z "${best_cpu[$1]:-}" ] || [ "$cpu" -lt "${best_cpu[$1]}" ]; then best_cpu[$1]=$cpu; fi
    if [ -z "${best_wall[$1]:-}" ] || [ "$wall" -lt "${best_wall[$1]}" ]; then best_wall[$1]=$wall; fi
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 0; r < runs; ++r)); do
    for side in "${sides[@]}"; do measure "$side"; done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
cmp -s "$work/j1/-mosaic.jpg" "$work/j2/-mosaic.jpg" || { echo "-j 1 and -j 2 sheets differ" >&2; exit 1; }

floor=$((best_cpu[djpeg_photos] - best_cpu[djpeg_tiny]))
printf '%-44s %8s %8s\n' "60 JPEG 1600x1200 -> 640x480 sheet, best of $runs" "cpu ms" "wall ms"
for side in "${sides[@]}"; do printf '%-44s %8d %8d\n' "$side" "${best_cpu[$side]}" "${best_wall[$side]}"; done
printf '%-44s %8d\n' "djpeg net floor (photos - tiny)" "$floor"
awk -v ours="${best_cpu[lumo_j1]}" -v gm="${best_cpu[gm_montage]}" -v floor="$floor" \
    -v raw="${best_cpu[djpeg_photos]}" -v w1="${best_wall[lumo_j1]}" -v w2="${best_wall[lumo_j2]}" \
    -v pair="${best_wall[lumo_j1_pair]}" 'BEGIN {
    printf "lumo -j 1 / gm montage (cpu):          %.2f (at most 1)\n", ours / gm
    printf "lumo -j 1 / djpeg net floor (cpu):     %.2f (at most 1.2)\n", ours / floor
    printf "lumo -j 1 / djpeg loop (cpu):          %.2f\n", ours / raw
    printf "lumo -j 1 / lumo -j 2 (wall):          %.2f (at least 1.7)\n", w1 / w2
    printf "two processes on this machine (wall):  %.2f (2 x lumo -j 1 / both at once: the most -j 2 can get here)\n", 2 * w1 / pair
}'
