#!/usr/bin/env bash
# Batch conversion of photos to LZW TIFF, side by side with GraphicsMagick's mogrify on one thread.
#
# Usage: bench/batch_tiff_vs_gm.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per side
# (default 3), FILES=N the number of pictures (default 60). Needs BUILD_DIR/bin/lumo, gm and convert.
#
# Method:
# - FILES photo-like 1600 x 1200 JPEGs (quality 90) are made once with ImageMagick's plasma, twelve
#   different pictures repeated under new names.
# - Ours: `lumo convert -o DIR --format tif` over all of them, with the default profile (LZW, no
#   predictor), once with one worker (-j 1) and once with the default number of workers.
# - GraphicsMagick: `gm mogrify -output-directory DIR -format tif -compress LZW` over the same files,
#   OMP_NUM_THREADS=1 so that it works on one thread.
# - Each side's figure is the best wall time of RUNS runs (a batch is waited for as a whole); the
#   ratio is ours divided by GraphicsMagick's: below 1 means we are faster. The CPU time (user +
#   system) of the single-worker run is shown too, since wall time is what the user waits for but
#   CPU time is what a busy machine blurs least.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-3}
files=${FILES:-60}
lumo=$build/bin/lumo
[ -x "$lumo" ] || { echo "missing $lumo (build the target lumo)" >&2; exit 1; }
command -v gm >/dev/null || { echo "missing gm (install graphicsmagick)" >&2; exit 1; }
command -v convert >/dev/null || { echo "missing convert (install imagemagick)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/ours" "$work/gm"
for ((i = 0; i < 12 && i < files; ++i)); do
    convert -seed "$((i + 1))" -size 1600x1200 plasma:fractal -blur 0x1 -quality 90 "$work/in/photo$i.jpg"
done
for ((i = 12; i < files; ++i)); do cp "$work/in/photo$((i % 12)).jpg" "$work/in/photo$i.jpg"; done
profile=$work/WIN.INI
: >"$profile"
export LUMO_PROFILE=$profile OMP_NUM_THREADS=1

# Best wall time and the CPU time of that run, in seconds: "wall cpu".
best() {
    local best_wall='' best_cpu='' times real user system TIMEFORMAT='%3R %3U %3S'
    for ((r = 0; r < runs; ++r)); do
        rm -rf "$work"/ours/* "$work"/gm/*
        times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
        read -r real user system <<<"$times"
        if [ -z "$best_wall" ] || awk -v a="$real" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
            best_wall=$real
            best_cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.3f", u + s }')
        fi
    done
    echo "$best_wall $best_cpu"
}

# mogrify puts each output under the output directory by the input's own path: run it from in/.
mogrify() { (cd "$work/in" && gm mogrify -output-directory ../gm -format tif -compress LZW ./*.jpg); }
read -r gm_wall gm_cpu < <(best mogrify)
count=$(find "$work/gm" -name '*.tif' | wc -l)
[ "$count" -eq "$files" ] || { echo "gm wrote $count of $files files" >&2; exit 1; }
read -r one_wall one_cpu < <(best "$lumo" convert -j 1 -o "$work/ours" --format tif "$work"/in/*.jpg)
read -r all_wall all_cpu < <(best "$lumo" convert -o "$work/ours" --format tif "$work"/in/*.jpg)
count=$(find "$work/ours" -name '*.tif' | wc -l)
[ "$count" -eq "$files" ] || { echo "lumo wrote $count of $files files" >&2; exit 1; }

printf '%-34s %9s %9s %8s\n' "$files JPEG 1600x1200 -> TIFF LZW" "wall s" "cpu s" "ratio"
printf '%-34s %9s %9s %8s\n' "gm mogrify (one thread)" "$gm_wall" "$gm_cpu" "1.00"
awk -v w="$one_wall" -v c="$one_cpu" -v g="$gm_wall" 'BEGIN { printf "%-34s %9.3f %9.3f %8.2f\n", "lumo convert -j 1", w, c, w / g }'
awk -v w="$all_wall" -v c="$all_cpu" -v g="$gm_wall" 'BEGIN { printf "%-34s %9.3f %9.3f %8.2f\n", "lumo convert (default workers)", w, c, w / g }'
