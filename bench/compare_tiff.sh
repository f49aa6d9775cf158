#!/usr/bin/env bash
# TIFF loading and saving of a 4000 x 3000 photo-like RGB picture (uncompressed, LZW, PackBits),
# side by side with libtiff's tiffcp and ImageMagick 6, all on one thread.
#
# Usage: bench/compare_tiff.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per measurement
# (default 5). Needs BUILD_DIR/bin/lumo and BUILD_DIR/bin/sidebyside_bench, tiffcp and convert.
#
# Method (CPU time, user + system, the best of RUNS runs; the same files for every side):
# - sidebyside_bench writes the picture as PPM; ImageMagick turns it into MIFF (its cheapest
#   format), BMP (ours) and an uncompressed TIFF, which tiffcp recompresses into the three files
#   every side then loads.
# - Ours: load = `lumo info FILE.tif` minus `lumo info` of a 1 x 1 BMP (start-up); save =
#   `lumo convert picture.bmp out.tif` minus `lumo info picture.bmp` (start-up and loading the BMP).
# - ImageMagick: load = `convert FILE.tif null:` minus `convert 1x1.miff null:`; save =
#   `convert picture.miff -compress C out.tif` minus `convert picture.miff null:`.
# - tiffcp: load = `tiffcp -c none FILE.tif out.tif` minus `tiffcp -c none none.tif out.tif` (the
#   decoding on top of a plain copy); save = `tiffcp -c C none.tif out.tif` minus the plain copy.
#   tiffcp works strip by strip and never holds the picture, so its figures are the codec alone.
# - The ratio is the other side's time divided by ours: above 1 means we are faster.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
lumo=$build/bin/lumo
pictures=$build/bin/sidebyside_bench
# shellcheck source=bench/best_cpu_time.sh
source "$(dirname "$0")/best_cpu_time.sh"
magick=/usr/bin/convert
require "$lumo" "$pictures" tiffcp "$magick"
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMO_PROFILE=$work/WIN.INI
: >"$LUMO_PROFILE"
"$pictures" pictures "$work" >/dev/null
photo=$(ls -S "$work"/*.ppm | head -1)  # the 4000 x 3000 colour picture
"$magick" "$photo" "$work/picture.miff"
"$magick" "$photo" "$work/picture.bmp"
"$magick" "$photo" -compress none "$work/none.tif"
"$magick" -size 1x1 xc:gray "$work/tiny.miff"
"$magick" -size 1x1 xc:gray "$work/tiny.bmp"
tiffcp -c lzw "$work/none.tif" "$work/lzw.tif"
tiffcp -c packbits "$work/none.tif" "$work/packbits.tif"


lumo_start=$(best_ms "$lumo" info "$work/tiny.bmp")
lumo_bmp=$(best_ms "$lumo" info "$work/picture.bmp")
magick_start=$(best_ms "$magick" "$work/tiny.miff" null:)
magick_miff=$(best_ms "$magick" "$work/picture.miff" null:)
tiffcp_plain=$(best_ms tiffcp -c none "$work/none.tif" "$work/copy.tif")

printf '%-9s %-5s %9s %12s %7s %10s %7s\n' compression step "ours ms" "ImageMagick" ratio tiffcp ratio
for compression in none lzw packbits; do
    file=$work/$compression.tif
    ours=$(minus "$(best_ms "$lumo" info "$file")" "$lumo_start")
    theirs=$(minus "$(best_ms "$magick" "$file" null:)" "$magick_start")
    copy=$(minus "$(best_ms tiffcp -c none "$file" "$work/copy.tif")" "$tiffcp_plain")
    printf '%-9s %-5s %9s %12s %7s %10s %7s\n' "$compression" load "$ours" "$theirs" "$(speed_ratio "$theirs" "$ours")" \
        "$copy" "$(speed_ratio "$copy" "$ours")"

    case $compression in none) key=Raw magick_c=None ;; lzw) key=LZW magick_c=LZW ;; packbits) key=Packbits magick_c=RLE ;; esac
    ours=$(minus "$(best_ms "$lumo" convert --set "TiffCompression=$key" "$work/picture.bmp" -o "$work/ours.tif")" "$lumo_bmp")
    theirs=$(minus "$(best_ms "$magick" "$work/picture.miff" -compress "$magick_c" "$work/magick.tif")" "$magick_miff")
    copy=$(minus "$(best_ms tiffcp -c "$compression" "$work/none.tif" "$work/copy.tif")" "$tiffcp_plain")
    [ "$compression" = none ] && copy=0.0  # the plain copy is the baseline itself
    printf '%-9s %-5s %9s %12s %7s %10s %7s\n' "$compression" save "$ours" "$theirs" "$(speed_ratio "$theirs" "$ours")" \
        "$copy" "$(speed_ratio "$copy" "$ours")"
done
