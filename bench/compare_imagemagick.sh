#!/usr/bin/env bash
# Side-by-side timing of Lumo's conversions and rescaling against ImageMagick 6, both on one thread.
#
# Usage: bench/compare_imagemagick.sh [BUILD_DIR [TASK...]] (default: build, every task); RUNS=N
# sets the runs per measurement (default 5). Needs BUILD_DIR/bin/sidebyside_bench and
# /usr/bin/convert.
#
# Method:
# - sidebyside_bench writes the pictures (a 4000 x 3000 and a 1000 x 750 photo-like RGB picture,
#   its gray version and a 4000 x 3000 bi-level text page) as PPM/PGM/PBM files, so both sides
#   work on the same pixels. They are turned into MIFF, ImageMagick's own format, which it loads
#   with the least work.
# - Both sides count CPU time (user + system, the best of RUNS runs), not wall time, so that other
#   programs sharing the machine do not blur the figures; the kernel's work of handing fresh pages
#   to a new picture counts on both sides.
# - Our side: sidebyside_bench builds the picture in memory and times only the operation, without
#   reading or writing files.
# - ImageMagick's side: `convert in.miff OPERATION null:` minus `convert in.miff null:`, each the
#   measured the same way. The null: output discards the result, so the difference is the operation
#   itself on a picture in memory: start-up, loading and freeing cancel out. MAGICK_THREAD_LIMIT=1
#   keeps ImageMagick on one thread, as our library is.
# - ImageMagick applies a setting like -dither to the operators after it, so "-dither
#   FloydSteinberg" comes before "-colors". "-monochrome" dithers with ImageMagick's default method.
# - The ratio is ImageMagick's time divided by ours: above 1 means we are faster. When the
#   difference is lost in the noise of the load time (a busy machine), ImageMagick's time is
#   shown as "noise"; run again with more RUNS.
set -euo pipefail

build=${1:-build}
shift || true
runs=${RUNS:-5}
program=$build/bin/sidebyside_bench
magick=/usr/bin/convert
[ -x "$program" ] || { echo "missing $program (build the target sidebyside_bench)" >&2; exit 1; }
[ -x "$magick" ] || { echo "missing $magick (install imagemagick)" >&2; exit 1; }
export MAGICK_THREAD_LIMIT=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" pictures "$work"
for picture in "$work"/*.p?m; do
    "$magick" "$picture" "${picture%.*}.miff"
done

# shellcheck source=bench/best_cpu_time.sh
source "$(dirname "$0")/best_cpu_time.sh"

declare -A load_ms
printf '%-20s %-36s %10s %16s %8s\n' task "ImageMagick operation" "ours ms" "ImageMagick ms" ratio
mapfile -t tasks < <("$program" tasks)
for line in "${tasks[@]}"; do
    IFS='|' read -r task input operation <<<"$line"
    if [ $# -gt 0 ] && [[ " $* " != *" $task "* ]]; then continue; fi
    miff=$work/${input%.*}.miff
    if [ -z "${load_ms[$miff]:-}" ]; then load_ms[$miff]=$(best_ms "$magick" "$miff" null:); fi
    ours=$("$program" time "$task" "$runs")
    # shellcheck disable=SC2086 # the operation is several words
    total=$(best_ms "$magick" "$miff" $operation null:)
    awk -v task="$task" -v op="$operation" -v ours="$ours" -v total="$total" -v load="${load_ms[$miff]}" 'BEGIN {
        theirs = total - load
        if (theirs <= 0) printf "%-20s %-36s %10.1f %16s %8s\n", task, op, ours, "noise", "-"
        else printf "%-20s %-36s %10.1f %16.1f %8.1f\n", task, op, ours, theirs, (ours > 0 ? theirs / ours : 0)
    }'
done
