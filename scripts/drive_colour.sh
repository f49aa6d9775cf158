#!/usr/bin/env bash
# Shows a Display P3 photo in the real viewer on a virtual display and checks the screen's pixels
# against jpgicc's conversion of the file to sRGB (within 2 levels, the room jpgicc's own re-encoding
# at quality 100 needs), and that they differ from the file's unconverted values. The screenshot goes
# to OUT_DIR.
#   scripts/drive_colour.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step or a check fails. DRIVE_VIEWER_WAIT sets how many
# seconds a window may take to appear (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-colour}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY

script=drive_colour.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"

for program in wlumo make_test_profile; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing; build first"
done
for tool in jpgicc djpeg; do
  command -v "$tool" > /dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png "$out/wlumo.log"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# --- The photo: smooth gradients out to saturated corners, tagged Display P3 -----------------------
"$build/bin/make_test_profile" "$work/p3.icc" || fail "could not write the Display P3 profile"
"$python" - "$work" << 'EOF2' || fail "Pillow could not make the P3 photo"
import math, sys
from PIL import Image
work = sys.argv[1]
w, h = 320, 240
photo = Image.new("RGB", (w, h))
photo.putdata([(int(255 * x / (w - 1)), int(255 * y / (h - 1)),
                int(127.5 + 127.5 * math.sin(3 * (x / (w - 1) + y / (h - 1)))))
               for y in range(h) for x in range(w)])
photo.save(f"{work}/p3.jpg", quality=95, icc_profile=open(f"{work}/p3.icc", "rb").read())
EOF2
jpgicc -q 100 "$work/p3.jpg" "$work/srgb.jpg" 2> /dev/null || fail "jpgicc could not convert the photo"
djpeg -pnm -outfile "$work/srgb.ppm" "$work/srgb.jpg" || fail "djpeg could not decode jpgicc's result"
djpeg -pnm -outfile "$work/stored.ppm" "$work/p3.jpg" || fail "djpeg could not decode the photo"

# --- The viewer on the photo ------------------------------------------------------------------------
start_session
export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
printf '[Lumo]\nJpegFast=0\n' > "$LUMO_PROFILE"  # decoded as djpeg decodes, for jpgicc's pixels
QT_QPA_PLATFORM=xcb "$build/bin/wlumo" "$work/p3.jpg" > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
wait_active "$frame" "start"

# Where the photo lies on the screen, and how far its pixels are from jpgicc's and from the stored ones.
compare() {
  "$python" - "$1" "$work/srgb.ppm" "$work/stored.ppm" << 'EOF2'
import sys
from PIL import Image
screen = Image.open(sys.argv[1]).convert("RGB")
reference = Image.open(sys.argv[2]).convert("RGB")
stored = Image.open(sys.argv[3]).convert("RGB")
W, H = screen.size
w, h = reference.size
S, R, T = screen.load(), reference.load(), stored.load()
def near(a, b, limit=2):
    return all(abs(p - q) <= limit for p, q in zip(a, b))
probes = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (w // 2, h // 2), (w // 3, 2 * h // 3)]
for y in range(H - h + 1):
    for x in range(W - w + 1):
        if not near(S[x, y], R[0, 0], 4) or not all(near(S[x + px, y + py], R[px, py], 4) for px, py in probes):
            continue
        worst = max(abs(p - q) for j in range(h) for i in range(w) for p, q in zip(S[x + i, y + j], R[i, j]))
        unconverted = max(abs(p - q) for j in range(h) for i in range(w) for p, q in zip(S[x + i, y + j], T[i, j]))
        print(x, y, worst, unconverted)
        sys.exit(0)
print("none")
EOF2
}

deadline=$((SECONDS + wait_limit))
while :; do
  shot 01-p3-photo
  result=$(compare "$out/01-p3-photo.png")
  [ "$result" != none ] && break
  [ "$SECONDS" -lt "$deadline" ] || fail "the photo never appeared in jpgicc's colours (see $out/01-p3-photo.png)"
  sleep 0.3
done
read -r x y worst unconverted <<< "$result"
echo "drive_colour.sh: the photo is at $x,$y; screen against jpgicc: at most $worst levels; against the stored values: $unconverted"
[ "$worst" -le 2 ] || fail "the screen differs from jpgicc's conversion by $worst levels"
[ "$unconverted" -gt 20 ] || fail "the screen shows the stored P3 values, not converted ones"

quit_viewer
echo "drive_colour.sh: all steps and checks passed in $((SECONDS - started))s; screenshot in $out"
