#!/usr/bin/env bash
# Size table: MOK next to PNG and to TIFF with LZW and the horizontal predictor, on the same pixels.
#
# Usage: bench/mok_sizes.sh [BUILD_DIR] (default: build). Needs BUILD_DIR/bin/mok_bench,
# /usr/bin/convert (ImageMagick) and tiffcp (libtiff-tools).
#
# Method: mok_bench writes each picture as PPM/PGM and as MOK. PNG is ImageMagick's `convert`
# with its default settings; TIFF is the same pixels copied by `tiffcp -c lzw:2` (LZW with the
# horizontal differencing predictor) from an uncompressed TIFF that `convert` makes. Sizes are
# whole files in bytes; "bpp" is bits per pixel of MOK; the last two columns are the PNG and TIFF
# sizes divided by MOK's (above 1: MOK is smaller).
set -euo pipefail

build=${1:-build}
program=$build/bin/mok_bench
magick=/usr/bin/convert
[ -x "$program" ] || { echo "missing $program (build the target mok_bench)" >&2; exit 1; }
[ -x "$magick" ] || { echo "missing $magick (install imagemagick)" >&2; exit 1; }
command -v tiffcp >/dev/null || { echo "missing tiffcp (install libtiff-tools)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" pictures "$work"

size() { stat -c %s "$1"; }

printf '%-24s %12s %6s %12s %12s %9s %9s\n' picture MOK bpp PNG "TIFF LZW+p" PNG/MOK TIFF/MOK
for mok in "$work"/*.mok; do
    base=${mok%.mok}
    name=$(basename "$base")
    source=$base.ppm
    [ -e "$source" ] || source=$base.pgm
    "$magick" "$source" "$base.png"
    "$magick" "$source" -compress none "$base-raw.tif"
    tiffcp -c lzw:2 "$base-raw.tif" "$base-lzw.tif"
    dims=${name##*-}
    pixels=$(( ${dims%x*} * ${dims#*x} ))
    m=$(size "$mok") p=$(size "$base.png") t=$(size "$base-lzw.tif")
    awk -v n="$name" -v m="$m" -v p="$p" -v t="$t" -v px="$pixels" \
        'BEGIN { printf "%-24s %12d %6.2f %12d %12d %9.2f %9.2f\n", n, m, 8 * m / px, p, t, p / m, t / m }'
done
