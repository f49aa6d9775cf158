#!/usr/bin/env bash
# JPEG XL encoding and decoding of a 4000 x 3000 photo-like RGB picture, side by side with libjxl's
# own cjxl and djxl, all on one thread and with the same settings (distance 1.0 and effort 7, which
# are cjxl's defaults and what JxlQuality 90 and JxlEffort 7 give; 8-bit RGB, sRGB).
#
# Usage: bench/jxl_vs_reference.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per
# measurement (default 3). Needs BUILD_DIR/bin/lumo, BUILD_DIR/bin/sidebyside_bench, cjxl, djxl
# and ImageMagick's convert.
#
# Method (CPU time, user + system, the best of RUNS runs):
# - Encode: ours = `lumo convert picture.bmp -o ours.jxl` (reads a BMP); cjxl =
#   `cjxl picture.ppm ref.jxl -d 1 -e 7 --num_threads=0` (reads a PPM; 0 is no worker threads).
#   Both totals include reading the input, a small part next to the encoding.
# - Decode, of the same file ref.jxl: ours = `lumo convert ref.jxl -o out.bmp` minus
#   `lumo convert picture.bmp -o out.bmp` (start-up and writing the BMP; the BMP read left in makes
#   our figure a little high); djxl = `djxl ref.jxl out.ppm --num_threads=1` (8-bit RGB written as
#   it is).
# - The ratio is the reference's time divided by ours: above 1 means we are faster; 0.91 is the
#   1.1x bound.
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
printf '[Lumo]\nJxlQuality=90\nJxlLossless=0\nJxlEffort=7\n' >"$LUMO_PROFILE"
"$pictures" pictures "$work" >/dev/null
photo=$(ls -S "$work"/*.ppm | head -1)  # the 4000 x 3000 colour picture
cp "$photo" "$work/picture.ppm"
convert "$photo" "$work/picture.bmp"


enc_ours=$(best_ms "$lumo" convert "$work/picture.bmp" -o "$work/ours.jxl")
enc_theirs=$(best_ms cjxl "$work/picture.ppm" "$work/ref.jxl" -d 1 -e 7 --num_threads=0)
base=$(best_ms "$lumo" convert "$work/picture.bmp" -o "$work/out.bmp")
dec_ours=$(minus "$(best_ms "$lumo" convert "$work/ref.jxl" -o "$work/out.bmp")" "$base")
dec_theirs=$(best_ms djxl "$work/ref.jxl" "$work/out.ppm" --num_threads=1)
printf '%-7s %10s %12s %7s\n' step "ours ms" "libjxl ms" ratio
printf '%-7s %10s %12s %7s  (cjxl)\n' encode "$enc_ours" "$enc_theirs" "$(speed_ratio "$enc_theirs" "$enc_ours")"
printf '%-7s %10s %12s %7s  (djxl)\n' decode "$dec_ours" "$dec_theirs" "$(speed_ratio "$dec_theirs" "$dec_ours")"
printf 'sizes: ours %s bytes, cjxl %s bytes\n' "$(stat -c %s "$work/ours.jxl")" "$(stat -c %s "$work/ref.jxl")"
