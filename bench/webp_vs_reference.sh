#!/usr/bin/env bash
# WebP loading and saving of a 4000 x 3000 (12 MP) photo-like RGB picture, side by side with
# libwebp's own dwebp and cwebp, all on one thread with the same settings (quality 75, method 4,
# lossy and lossless; the fancy upsampling of the decoders).
#
# Usage: bench/webp_vs_reference.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per
# measurement (default 5). Needs BUILD_DIR/bin/lumo and BUILD_DIR/bin/sidebyside_bench, cwebp, dwebp
# and ImageMagick's convert.
#
# Method (CPU time, user + system, the best of RUNS runs; the same files for every side):
# - sidebyside_bench writes the picture as PPM, which ImageMagick turns into BMP (our input); cwebp
#   makes the lossy and lossless files both sides load.
# - Load: `lumo convert FILE.webp -o out.bmp` against `dwebp FILE.webp -bmp -o out.bmp`: both decode
#   the file and write the same uncompressed BMP. Each minus its start-up on a 1 x 1 picture.
# - Save: `lumo convert picture.bmp -o out.webp` against `cwebp picture.ppm -o out.webp` (with
#   -lossless for the lossless files): both read the raw pixels and encode them. Each minus its
#   start-up on a 1 x 1 picture.
# - The ratio is the reference's time divided by ours: above 1 means we are faster, 0.91 is 1.1x slower.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
lumo=$build/bin/lumo
pictures=$build/bin/sidebyside_bench
# shellcheck source=bench/best_cpu_time.sh
source "$(dirname "$0")/best_cpu_time.sh"
magick=/usr/bin/convert
require "$lumo" "$pictures" cwebp dwebp "$magick"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMO_PROFILE=$work/WIN.INI
: >"$LUMO_PROFILE"
"$pictures" pictures "$work" >/dev/null
photo=$(ls -S "$work"/*.ppm | head -1)  # the 4000 x 3000 colour picture
cp "$photo" "$work/picture.ppm"
"$magick" "$photo" "$work/picture.bmp"
"$magick" -size 1x1 xc:gray "$work/tiny.ppm"
"$magick" -size 1x1 xc:gray "$work/tiny.bmp"
cwebp -quiet "$work/picture.ppm" -o "$work/lossy.webp"
cwebp -quiet -lossless "$work/picture.ppm" -o "$work/lossless.webp"
cwebp -quiet "$work/tiny.ppm" -o "$work/tiny.webp"


lumo_load_start=$(best_ms "$lumo" convert "$work/tiny.webp" -o "$work/tiny-out.bmp")
dwebp_start=$(best_ms dwebp "$work/tiny.webp" -bmp -o "$work/tiny-out.bmp")
lumo_save_start=$(best_ms "$lumo" convert "$work/tiny.bmp" -o "$work/tiny-out.webp")
cwebp_start=$(best_ms cwebp -quiet "$work/tiny.ppm" -o "$work/tiny-out.webp")

printf '%-9s %-5s %10s %12s %7s\n' file step "ours ms" "reference ms" ratio
for kind in lossy lossless; do
    ours=$(minus "$(best_ms "$lumo" convert "$work/$kind.webp" -o "$work/ours.bmp")" "$lumo_load_start")
    theirs=$(minus "$(best_ms dwebp "$work/$kind.webp" -bmp -o "$work/theirs.bmp")" "$dwebp_start")
    printf '%-9s %-5s %10s %12s %7s\n' "$kind" load "$ours" "$theirs" "$(speed_ratio "$theirs" "$ours")"
    flag=() lossless=0
    [ "$kind" = lossless ] && flag=(-lossless) lossless=1
    ours=$(minus "$(best_ms "$lumo" convert --set "WebpLossless=$lossless" "$work/picture.bmp" -o "$work/ours.webp")" \
        "$lumo_save_start")
    theirs=$(minus "$(best_ms cwebp -quiet "${flag[@]}" "$work/picture.ppm" -o "$work/theirs.webp")" "$cwebp_start")
    printf '%-9s %-5s %10s %12s %7s\n' "$kind" save "$ours" "$theirs" "$(speed_ratio "$theirs" "$ours")"
    cmp -s "$work/ours.webp" "$work/theirs.webp" && echo "          (the saved files are byte for byte the same)"
done
