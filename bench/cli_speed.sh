#!/usr/bin/env bash
# Where the lumo command's speed is felt, side by side with GraphicsMagick and netpbm on one thread.
#
# Usage: bench/cli_speed.sh [BUILD_DIR] (default: build); RUNS=N sets the rounds (default 5).
# Needs BUILD_DIR/bin/lumo, gm, convert (ImageMagick, to make the pictures), ppmtopgm and script.
#
# Method:
# - 60 photo-like 1600 x 1200 JPEGs (quality 90) made once with ImageMagick's plasma, twelve different
#   pictures repeated under new names; one 4000 x 3000 (12 MP) picture as a 24-bit BMP and as a PPM.
# - The sides of each comparison run interleaved, one after the other in every round, so that a busy
#   machine weighs on all of them alike; each figure is the best of the rounds. CPU time (user + system,
#   children included) for the comparisons of work, wall time for the replacing of files (an fsync is
#   mostly waiting). The load average is printed before and after.
# - Comparisons, with the target of each:
#   1. the 60 JPEGs to BMP under script(1), standard error on its terminal and redirected: within 5 %;
#   2. the 60 JPEGs to JPEG with JpegOptimize=1 against `gm mogrify -format jpg`: at most 1;
#   3. the 12 MP BMP to a GRAY256 BMP against `ppmtopgm` of the PPM: at most 2;
#   4. the 60 JPEGs to 80 x 60 JPEG thumbnails (--rescale) against `gm mogrify -thumbnail 80x60`: at
#      most 1 / 1.2 (--exact-scale shown beside it);
#   5. `lumo info` of the 60 JPEGs against `gm identify`;
#   6. the 60 JPEGs to BMP into an empty folder, over the files of the previous run (one fsync per
#      replaced file), and into an empty folder followed by one sync of the folder's file system: what
#      syncing once at the end of a batch would cost instead.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
lumo=$(realpath "$build/bin/lumo")
[ -x "$lumo" ] || { echo "missing $lumo (build the target lumo)" >&2; exit 1; }
for tool in gm convert ppmtopgm script; do command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
for ((i = 0; i < 12; ++i)); do
    convert -seed "$((i + 1))" -size 1600x1200 plasma:fractal -blur 0x1 -quality 90 "$work/in/photo$i.jpg"
done
for ((i = 12; i < 60; ++i)); do cp "$work/in/photo$((i % 12)).jpg" "$work/in/photo$i.jpg"; done
convert -seed 99 -size 4000x3000 plasma:fractal -blur 0x1 "$work/big.ppm"
convert "$work/big.ppm" -type TrueColor "BMP3:$work/big.bmp"
photos=("$work"/in/*.jpg)
profile=$work/WIN.INI
printf '[Lumo]\nJpegOptimize=1\n' >"$profile"
export LUMO_PROFILE=$profile OMP_NUM_THREADS=1

fresh() { rm -rf "$work/$1" && mkdir -p "$work/$1"; }
terminal() { fresh term && script -qec "$lumo convert -j 1 ${photos[*]} -o $work/term --format bmp" /dev/null; }
# The redirected side runs under script(1) too, so that the pair differs only in where standard error goes.
redirected() { fresh redir && script -qec "$lumo convert -j 1 ${photos[*]} -o $work/redir --format bmp 2>/dev/null" /dev/null; }
lumo_jpeg() { fresh lj && "$lumo" convert -j 1 "${photos[@]}" -o "$work/lj" --format jpg; }
# mogrify puts each output under the output directory by the input's own path: run it from in/.
gm_jpeg() { fresh gj && (cd "$work/in" && gm mogrify -output-directory ../gj -format jpg ./*.jpg); }
lumo_gray() { "$lumo" convert "$work/big.bmp" --to gray256 -o "$work/gray.bmp"; }
ppmtopgm_gray() { ppmtopgm "$work/big.ppm" >"$work/gray.pgm"; }
lumo_thumbs() { fresh lt && "$lumo" convert -j 1 --rescale 80x60 "${photos[@]}" -o "$work/lt" --format jpg; }
lumo_thumbs_exact() { fresh lx && "$lumo" convert -j 1 --rescale 80x60 --exact-scale "${photos[@]}" -o "$work/lx" --format jpg; }
gm_thumbs() { fresh gt && (cd "$work/in" && gm mogrify -output-directory ../gt -thumbnail 80x60 -format jpg ./*.jpg); }
lumo_info() { "$lumo" info "${photos[@]}"; }
gm_identify() { gm identify "${photos[@]}"; }
bmp_new() { fresh bn && "$lumo" convert -j 1 "${photos[@]}" -o "$work/bn" --format bmp; }
bmp_replace() { mkdir -p "$work/br" && "$lumo" convert -j 1 "${photos[@]}" -o "$work/br" --format bmp; }
bmp_new_sync_once() { bmp_new && sync -f "$work/bn"; }
sides=(terminal redirected lumo_jpeg gm_jpeg lumo_gray ppmtopgm_gray lumo_thumbs lumo_thumbs_exact gm_thumbs
       lumo_info gm_identify bmp_new bmp_replace bmp_new_sync_once)

declare -A best_cpu best_wall
measure() {  # side: keeps its best CPU and wall time, in milliseconds
    local times real user system cpu wall TIMEFORMAT='%3R %3U %3S'
    times=$({ time "$1" >/dev/null 2>&1; } 2>&1)
    read -r real user system <<<"$times"
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%d", (u + s) * 1000 }')
    wall=$(awk -v r="$real" 'BEGIN { printf "%d", r * 1000 }')
    if [ -z "${best_cpu[$1]:-}" ] || [ "$cpu" -lt "${best_cpu[$1]}" ]; then best_cpu[$1]=$cpu; fi
    if [ -z "${best_wall[$1]:-}" ] || [ "$wall" -lt "${best_wall[$1]}" ]; then best_wall[$1]=$wall; fi
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
bmp_replace >/dev/null 2>&1  # the files the replacing runs write over
for ((r = 0; r < runs; ++r)); do
    for side in "${sides[@]}"; do measure "$side"; done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$(ls "$work/lt" | wc -l)" -eq 60 ] && [ "$(ls "$work/gt" | wc -l)" -eq 60 ] || { echo "missing thumbnails" >&2; exit 1; }

printf '%-22s %8s %8s\n' "best of $runs" "cpu ms" "wall ms"
for side in "${sides[@]}"; do printf '%-22s %8d %8d\n' "$side" "${best_cpu[$side]}" "${best_wall[$side]}"; done
ratio() { awk -v a="$2" -v b="$3" -v text="$1" 'BEGIN { printf "%-52s %.2f\n", text, a / b }'; }
ratio "1. terminal / redirected (cpu, target <= 1.05)" "${best_cpu[terminal]}" "${best_cpu[redirected]}"
ratio "2. lumo / gm mogrify, JPEG optimized (cpu, <= 1)" "${best_cpu[lumo_jpeg]}" "${best_cpu[gm_jpeg]}"
ratio "3. lumo / ppmtopgm, 12 MP to gray (cpu, <= 2)" "${best_cpu[lumo_gray]}" "${best_cpu[ppmtopgm_gray]}"
ratio "4. lumo / gm -thumbnail, 80x60 (cpu, <= 0.83)" "${best_cpu[lumo_thumbs]}" "${best_cpu[gm_thumbs]}"
ratio "   lumo --exact-scale / gm -thumbnail (cpu)" "${best_cpu[lumo_thumbs_exact]}" "${best_cpu[gm_thumbs]}"
ratio "5. lumo info / gm identify (cpu)" "${best_cpu[lumo_info]}" "${best_cpu[gm_identify]}"
ratio "6. BMP replacing / new files (wall)" "${best_wall[bmp_replace]}" "${best_wall[bmp_new]}"
ratio "   new files + one sync at the end / new files (wall)" "${best_wall[bmp_new_sync_once]}" "${best_wall[bmp_new]}"
