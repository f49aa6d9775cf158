#!/usr/bin/env bash
# Loading in levels against a plain load, in CPU time: a 12-megapixel MOK photo, an A4 page as JBIG
# with five resolution layers, and a Photo CD pack at 3072 x 2048 (PcdSize 5) and 1536 x 1024
# (PcdSize 4). The levels are handed to a receiver that does nothing, so the figures are the
# decoders' own cost; the target is a ratio of at most 1.10.
#
# Usage: bench/layered_load.sh [BUILD_DIR] (default: build). Needs BUILD_DIR/bin/layered_bench.
# RUNS sets how many runs each figure is the best of (default 7).
set -euo pipefail

build=${1:-build}
program=$build/bin/layered_bench
runs=${RUNS:-7}
# shellcheck source=bench/best_cpu_time.sh
source "$(dirname "$0")/best_cpu_time.sh"
require "$program"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" files "$work"
export LUMO_PROFILE=$work/WIN.INI

printf '%-28s %12s %12s %7s\n' file "direct ms" "levels ms" ratio
row() {
    local label=$1 file=$2 direct levels
    direct=$(best_ms "$program" load direct "$file")
    levels=$(best_ms "$program" load levels "$file")
    printf '%-28s %12s %12s %7s\n' "$label" "$direct" "$levels" "$(awk -v d="$direct" -v l="$levels" 'BEGIN { printf "%.3f", l / d }')"
}
printf '[Lumo]\n' > "$LUMO_PROFILE"
row "photo.mok 4000x3000" "$work/photo.mok"
row "page.bie 2480x3508 (6 layers)" "$work/page.bie"
printf '[Lumo]\nPcdSize=5\n' > "$LUMO_PROFILE"
row "img0001.pcd 3072x2048" "$work/img0001.pcd"
printf '[Lumo]\nPcdSize=4\n' > "$LUMO_PROFILE"
row "img0001.pcd 1536x1024" "$work/img0001.pcd"
