#!/usr/bin/env bash
# What keeping metadata costs: a batch of photos converted JPEG -> JPEG with KeepMetadata=1 against
# the same batch with --strip.
#
# Usage: bench/metadata_cost.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per side
# (default 5), FILES=N the number of pictures (default 60). Needs BUILD_DIR/bin/lumo, ImageMagick's
# convert, Pillow and Ghostscript's ICC profiles.
#
# Method:
# - FILES photo-like 1600 x 1200 JPEGs (quality 90): twelve ImageMagick plasma pictures, each saved
#   again by tests/support/photo_with_metadata.py with what a camera writes (an Exif block of about
#   10 KB: the usual fields, a 160 x 120 JPEG thumbnail and a maker note; an XMP packet; a comment)
#   and an RGB ICC profile, then repeated under new names.
# - `lumo convert -j 1 -o DIR --format jpg` over all of them, once as the profile says
#   (KeepMetadata=1) and once with --strip, the two runs taking turns RUNS times so that a change in
#   the machine's load touches both alike.
# - Each side's figure is its best CPU time (user + system, bench/best_cpu_time.sh); the ratio is
#   keeping over stripping (the target is below 1.02).
# - Where valgrind is installed, the instructions each side executes for two of the files are
#   counted too (callgrind): a figure that the load of a shared machine does not blur.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
runs=${RUNS:-5}
files=${FILES:-60}
lumo=$build/bin/lumo
profile_icc=/usr/share/color/icc/ghostscript/a98.icc
[ -x "$lumo" ] || { echo "missing $lumo (build the target lumo)" >&2; exit 1; }
command -v convert >/dev/null || { echo "missing convert (install imagemagick)" >&2; exit 1; }
/usr/bin/python3 -c 'import PIL' 2>/dev/null || { echo "missing Pillow (install python3-pil)" >&2; exit 1; }
[ -f "$profile_icc" ] || { echo "missing $profile_icc (install ghostscript)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/kept" "$work/stripped"
for ((i = 0; i < 12 && i < files; ++i)); do
    convert -seed "$((i + 1))" -size 1600x1200 plasma:fractal -blur 0x1 "$work/plasma.png"
    /usr/bin/python3 "$here/../tests/support/photo_with_metadata.py" "$work/in/photo$i.jpg" --from "$work/plasma.png" \
        --icc "$profile_icc" --xmp --comment "Harbour at dawn" --thumbnail --padding 6000
done
for ((i = 12; i < files; ++i)); do cp "$work/in/photo$((i % 12)).jpg" "$work/in/photo$i.jpg"; done
exif_bytes=$(exiftool -b -Exif "$work/in/photo0.jpg" 2>/dev/null | wc -c)
profile=$work/WIN.INI
: >"$profile"
export LUMO_PROFILE=$profile

# shellcheck source=best_cpu_time.sh
source "$here/best_cpu_time.sh"
keep() { rm -f "$work"/kept/*; "$lumo" convert -j 1 -o "$work/kept" --format jpg "$work"/in/*.jpg; }
strip() { rm -f "$work"/stripped/*; "$lumo" convert -j 1 --strip -o "$work/stripped" --format jpg "$work"/in/*.jpg; }
keep_best='' strip_best=''
for ((r = 0; r < runs; ++r)); do
    keep_ms=$(runs=1 best_ms keep)
    strip_ms=$(runs=1 best_ms strip)
    keep_best=$(awk -v a="$keep_ms" -v b="${keep_best:-$keep_ms}" 'BEGIN { print (a < b ? a : b) }')
    strip_best=$(awk -v a="$strip_ms" -v b="${strip_best:-$strip_ms}" 'BEGIN { print (a < b ? a : b) }')
done
for side in kept stripped; do
    count=$(find "$work/$side" -name '*.jpg' | wc -l)
    [ "$count" -eq "$files" ] || { echo "lumo wrote $count of $files files ($side)" >&2; exit 1; }
done
exiftool -s3 -Make "$work/kept/photo0.jpg" 2>/dev/null | grep -q . || { echo "the kept batch carries no Exif" >&2; exit 1; }
! exiftool -s3 -Make "$work/stripped/photo0.jpg" 2>/dev/null | grep -q . || { echo "the stripped batch carries Exif" >&2; exit 1; }

printf '%-44s %10s %8s\n' "$files JPEG 1600x1200 -> JPEG (Exif $exif_bytes B)" "cpu ms" "ratio"
awk -v s="$strip_best" 'BEGIN { printf "%-44s %10.2f %8.3f\n", "lumo convert --strip", s, 1 }'
awk -v k="$keep_best" -v s="$strip_best" 'BEGIN { printf "%-44s %10.2f %8.3f\n", "lumo convert (KeepMetadata=1)", k, k / s }'

if command -v valgrind >/dev/null; then
    count_instructions() {
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$lumo" convert -j 1 "$@" -o "$work/counted" \
            --format jpg "$work/in/photo0.jpg" "$work/in/photo1.jpg" 2>&1 | awk '/Collected/ { print $NF }'
    }
    keep_count=$(count_instructions)
    strip_count=$(count_instructions --strip)
    awk -v k="$keep_count" -v s="$strip_count" \
        'BEGIN { printf "%-44s %10.1f %8.4f\n", "instructions (2 files, millions), kept", k / 1e6, k / s }'
fi
