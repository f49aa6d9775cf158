#!/usr/bin/env bash
# AVIF decoding and encoding of a 4000 x 3000 photo-like RGB picture, side by side with libavif's
# own avifdec and avifenc, all on one thread and with the same settings (speed 6, quantizers 0 to
# 10, which are avifenc's defaults and what AvifQuality 84 gives; 4:4:4, 8 bits, full range).
#
# Usage: bench/avif_vs_reference.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per
# measurement (default 3). Needs BUILD_DIR/bin/lumo, BUILD_DIR/bin/sidebyside_bench, avifenc,
# avifdec and ImageMagick's convert.
#
# Method (CPU time, user + system, the best of RUNS runs):
# - Encode: ours = `lumo convert picture.bmp -o ours.avif` (reads a BMP); avifenc =
#   `avifenc -j 1 -s 6 --min 0 --max 10 picture.png ref.avif` (reads a PNG). Both totals include
#   reading the input, which is a small part next to the AV1 encoding.
# - Decode, of the same file ref.avif: ours = `lumo convert ref.avif -o out.bmp` minus
#   `lumo convert picture.bmp -o out.bmp` (start-up and writing the BMP; the BMP read left in makes
#   our figure a little high). avifdec = `avifdec -j 1 ref.avif out.y4m`: YUV written as it is,
#   without the conversion to RGB that ours does; `avifdec ... out.png` is shown too (it adds
#   the RGB conversion and PNG compression).
# - The ratio is the reference's time divided by ours: above 1 means we are faster; 0.91 is the
#   1.1x bound.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-3}
lumo=$build/bin/lumo
pictures=$build/bin/sidebyside_bench
# shellcheck source=bench/best_cpu_time.sh
source "$(dirname "$0")/best_cpu_time.sh"
require "$lumo" "$pictures" avifenc avifdec convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMO_PROFILE=$work/WIN.INI
printf '[Lumo]\nAvifQuality=84\nAvifSpeed=6\n' >"$LUMO_PROFILE"
"$pictures" pictures "$work" >/dev/null
photo=$(ls -S "$work"/*.ppm | head -1)  # the 4000 x 3000 colour picture
convert "$photo" "$work/picture.png"
convert "$photo" "$work/picture.bmp"


enc_ours=$(best_ms "$lumo" convert "$work/picture.bmp" -o "$work/ours.avif")
enc_theirs=$(best_ms avifenc -j 1 -s 6 --min 0 --max 10 "$work/picture.png" "$work/ref.avif")
base=$(best_ms "$lumo" convert "$work/picture.bmp" -o "$work/out.bmp")
dec_ours=$(minus "$(best_ms "$lumo" convert "$work/ref.avif" -o "$work/out.bmp")" "$base")
dec_y4m=$(best_ms avifdec -j 1 "$work/ref.avif" "$work/out.y4m")
dec_png=$(best_ms avifdec -j 1 "$work/ref.avif" "$work/out.png")

printf '%-7s %10s %12s %7s\n' step "ours ms" "reference ms" ratio
printf '%-7s %10s %12s %7s  (avifenc)\n' encode "$enc_ours" "$enc_theirs" "$(speed_ratio "$enc_theirs" "$enc_ours")"
printf '%-7s %10s %12s %7s  (avifdec to y4m)\n' decode "$dec_ours" "$dec_y4m" "$(speed_ratio "$dec_y4m" "$dec_ours")"
printf '%-7s %10s %12s %7s  (avifdec to png)\n' decode "$dec_ours" "$dec_png" "$(speed_ratio "$dec_png" "$dec_ours")"
printf 'sizes: ours %s bytes, avifenc %s bytes\n' "$(stat -c %s "$work/ours.avif")" "$(stat -c %s "$work/ref.avif")"
