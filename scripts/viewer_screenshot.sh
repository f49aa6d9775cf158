#!/usr/bin/env bash
# A picture of the viewer at work: on a virtual display (Xvfb) it opens a JPEG, a GIF and a BMP made
# from the sample pictures, tiles them side by side, shows the page at 50 % (through its half-size
# gray picture) and draws the status line's progress bar at 60 %; the frame is saved as a PNG.
#   scripts/viewer_screenshot.sh [BUILD_DIR] [OUTPUT.png]
set -euo pipefail
build=${1:-build}
out=${2:-$build/viewer-screenshot.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/lumo" convert "$build/samples/gradient.bmp" -o "$work/gradient.jpg" > /dev/null
"$build/bin/lumo" convert "$build/samples/colour-bars.bmp" -o "$work/colour-bars.gif" > /dev/null
cp "$build/samples/page.bmp" "$work/page.bmp"
rm -f "$out"

# A profile of its own, so the user's settings neither change the picture nor get changed.
LUMO_PROFILE="$work/WIN.INI" xvfb-run -a -s "-screen 0 1280x960x24" \
  "$build/bin/wlumo" --command 410 --command 300 --progress-at 60 --screenshot "$out" --quit-after 2500 \
  "$work/gradient.jpg" "$work/colour-bars.gif" "$work/page.bmp"
[ -s "$out" ] || { echo "viewer_screenshot.sh: no screenshot was written" >&2; exit 1; }
echo "$out"
