#!/usr/bin/env bash
# JPEG XL decoding of a 4000 x 3000 photo-like RGB picture (read only here), side by side with
# libjxl's own djxl, both on one thread.
#
# Usage: bench/jxl_vs_reference.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per
# measurement (default 3). Needs BUILD_DIR/bin/lumo, BUILD_DIR/bin/sidebyside_bench, cjxl, djxl
# and ImageMagick's convert.
#
# Method (CPU time, user + system, the best of RUNS runs): cjxl makes ref.jxl from the picture
# (its defaults: distance 1, effort 7). Ours = `lumo convert ref.jxl -o out.bmp` minus
# `lumo convert picture.bmp -o out.bmp` (start-up and writing the BMP; the BMP read left in makes
# our figure a little high); djxl = `djxl ref.jxl out.ppm --num_threads=1` (8-bit RGB written as
# it is). The ratio is djxl's time divided by ours: above 1 means we are faster; 0.91 is the 1.1x
# bound.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-3}
lumo=$build/bin/lumo
pictures=$build/bin/sidebyside_bench
# shellcheck source=bench/best_cpu_time.sh
source "$(dirname "$0")/best_cpu_time.sh"
require "$lumo" "$pictures" cjxl djxl convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMO_PROFILE=$work/WIN.INI
: >"$LUMO_PROFILE"
"$pictures" pictures "$work" >/dev/null
photo=$(ls -S "$work"/*.ppm | head -1)  # the 4000 x 3000 colour picture
convert "$photo" "$work/picture.png"
convert "$photo" "$work/picture.bmp"
cjxl "$work/picture.png" "$work/ref.jxl" --num_threads=1 >/dev/null 2>&1

minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }
ratio() { awk -v theirs="$1" -v ours="$2" 'BEGIN { if (ours > 0) printf "%.2f", theirs / ours; else print "-" }'; }

base=$(best_ms "$lumo" convert "$work/picture.bmp" -o "$work/out.bmp")
ours=$(minus "$(best_ms "$lumo" convert "$work/ref.jxl" -o "$work/out.bmp")" "$base")
theirs=$(best_ms djxl "$work/ref.jxl" "$work/out.ppm" --num_threads=1)
printf '%-7s %10s %12s %7s\n' step "ours ms" "djxl ms" ratio
printf '%-7s %10s %12s %7s\n' decode "$ours" "$theirs" "$(ratio "$theirs" "$ours")"
