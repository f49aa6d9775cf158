#!/usr/bin/env bash
# Writes the seed corpus of the JPEG fuzz harness: small files from pictures made here, in every
# layout the loader meets (gray, 4:2:0, 4:2:2, 4:4:4, RGB, progressive, arithmetic, restart
# intervals, optimized tables, CMYK), each a few hundred bytes so the fuzzer mutates them quickly.
# Needs cjpeg (libjpeg-turbo-progs) and ImageMagick's convert.
set -euo pipefail
out=${1:-$(dirname "$0")/../fuzz/corpus/jpeg}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert=/usr/bin/convert
"$convert" -size 24x16 gradient:'#d02010'-'#1040e0' -depth 8 "$work/wide.ppm"
"$convert" -size 13x11 radial-gradient:'#f0e020'-'#102060' -depth 8 "$work/odd.ppm"
"$convert" -size 1x1 xc:'#808040' -depth 8 "$work/pixel.ppm"

cjpeg -sample 2x2 "$work/wide.ppm" > "$out/wide_420.jpg"
cjpeg -sample 2x1 -quality 90 "$work/odd.ppm" > "$out/odd_422.jpg"
cjpeg -sample 1x1 -optimize "$work/odd.ppm" > "$out/odd_444_optimized.jpg"
cjpeg -grayscale "$work/wide.ppm" > "$out/wide_gray.jpg"
cjpeg -rgb "$work/odd.ppm" > "$out/odd_rgb.jpg"
cjpeg -progressive "$work/wide.ppm" > "$out/wide_progressive.jpg"
cjpeg -arithmetic "$work/odd.ppm" > "$out/odd_arithmetic.jpg"
cjpeg -arithmetic -progressive -grayscale "$work/odd.ppm" > "$out/odd_arithmetic_progressive_gray.jpg"
cjpeg -restart 1 "$work/wide.ppm" > "$out/wide_restarts.jpg"
cjpeg "$work/pixel.ppm" > "$out/pixel.jpg"
"$convert" "$work/odd.ppm" -colorspace CMYK "$out/odd_cmyk.jpg"
