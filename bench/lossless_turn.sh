#!/usr/bin/env bash
# A lossless quarter turn of a 12-megapixel JPEG, side by side with jpegtran.
#
# Usage: bench/lossless_turn.sh [BUILD_DIR] (default: build); RUNS=N sets the runs per side
# (default 7). Needs BUILD_DIR/bin/lumo, jpegtran (libjpeg-turbo-progs) and convert (ImageMagick).
#
# Method:
# - One photo-like 4000 x 3000 JPEG (ImageMagick's plasma, blurred, with a grain that gives it about
#   the 3 MB of a camera's file; quality 90, 4:2:0) is made once. 3000 rows are not whole 16-row
#   blocks, so both sides trim the same 8 columns.
# - Ours: `lumo convert --rotate 90 --lossless IN -o OUT` with an empty profile.
#   jpegtran: `jpegtran -rotate 90 -trim -copy all -outfile OUT IN`, the same work.
# - The runs are interleaved (ours, jpegtran, ours, ...), so that a busy moment of the machine falls
#   on both sides; each side's figures are its best CPU time (user + system) and its best wall time.
#   The ratios are ours divided by jpegtran's: 1.2 or less is the aim.
# - The outputs are removed before each run: replacing an existing file, lumo syncs it to disk before
#   the rename (safe saving), which jpegtran does not do; that wait is not the turn's work.
# - The two outputs must decode to the same pixels, or the figures mean nothing.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-7}
lumo=$build/bin/lumo
[ -x "$lumo" ] || { echo "missing $lumo (build the target lumo)" >&2; exit 1; }
for tool in jpegtran djpeg convert; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photo=$work/photo.jpg
convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 -attenuate 0.4 +noise Gaussian -quality 90 -sampling-factor 2x2 "$photo"
: >"$work/WIN.INI"
export LUMO_PROFILE=$work/WIN.INI

ours() { "$lumo" convert --rotate 90 --lossless "$photo" -o "$work/ours.jpg"; }
theirs() { jpegtran -rotate 90 -trim -copy all -outfile "$work/jpegtran.jpg" "$photo"; }

ours
theirs
cmp -s <(djpeg -pnm "$work/ours.jpg") <(djpeg -pnm "$work/jpegtran.jpg") ||
    { echo "the two turns decode to different pixels" >&2; exit 1; }

# "wall cpu" of one run, in seconds.
timed() {
    local times real user system TIMEFORMAT='%3R %3U %3S'
    times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    read -r real user system <<<"$times"
    awk -v r="$real" -v u="$user" -v s="$system" 'BEGIN { printf "%.3f %.3f\n", r, u + s }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

ours_wall='' ours_cpu='' theirs_wall='' theirs_cpu=''
for ((r = 0; r < runs; ++r)); do
    rm -f "$work/ours.jpg" "$work/jpegtran.jpg"
    read -r wall cpu < <(timed ours)
    ours_wall=$(smaller "$wall" "$ours_wall") ours_cpu=$(smaller "$cpu" "$ours_cpu")
    read -r wall cpu < <(timed theirs)
    theirs_wall=$(smaller "$wall" "$theirs_wall") theirs_cpu=$(smaller "$cpu" "$theirs_cpu")
done

echo "lossless rotate 90 of a 4000x3000 JPEG ($(stat -c %s "$photo") bytes), best of $runs interleaved runs"
printf '%-10s %10s %10s\n' "" "CPU s" "wall s"
printf '%-10s %10s %10s\n' lumo "$ours_cpu" "$ours_wall" jpegtran "$theirs_cpu" "$theirs_wall"
awk -v oc="$ours_cpu" -v ow="$ours_wall" -v tc="$theirs_cpu" -v tw="$theirs_wall" \
    'BEGIN { printf "ratio lumo/jpegtran: CPU %.2f, wall %.2f (aim: 1.2 or less)\n", oc / tc, ow / tw }'
