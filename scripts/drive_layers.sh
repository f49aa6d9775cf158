#!/usr/bin/env bash
# Opens a 12-megapixel MOK photo (4000 x 3000) in the real viewer on a virtual display and watches the
# screen while it loads: the window's first picture must be a coarse one, shown at once (within
# 50 ms of the window appearing), and the last one the exact photo, pixel for pixel at 100 %.
# The screen is captured continuously (Pillow over XCB, every few milliseconds); the first coarse
# and the final screens go to OUT_DIR as photo.mok-1-first.png and photo.mok-2-final.png; a layered
# JBIG page and a Photo CD pack are shown the same way (page.bie-*, img0001.pcd-*).
#   scripts/drive_layers.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step or a check fails. DRIVE_VIEWER_WAIT sets how many
# seconds a window may take to appear (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-layers}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY

script=drive_layers.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"

[ -x "$build/bin/wlumo" ] || fail "$build/bin/wlumo is missing; build first"
[ -x "$build/bin/lumo" ] || fail "$build/bin/lumo is missing; build first"
command -v convert > /dev/null || fail "ImageMagick's convert is missing (scripts/setup.sh installs it)"

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png "$out/wlumo.log"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# --- The files: a photo of gradients with fine stripes, so that every coarse level differs from it;
# an A4 page of bricks as JBIG with six resolution layers; a Photo CD pack at 3072 x 2048 when the
# benchmark program that writes one was built -------------------------------------------------------
export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
# At 100 %, so that the screen shows the pictures' own pixels.
printf '[Lumo]\nOpenFitted=0\nPcdSize=5\n' > "$LUMO_PROFILE"
convert -size 4000x3000 gradient:'#2040c0-#f0c020' \( -size 4000x3000 pattern:hs_diagcross -negate \) \
        -compose multiply -composite -type TrueColor BMP3:"$work/photo.bmp" || fail "could not make the photo"
"$build/bin/lumo" convert "$work/photo.bmp" -o "$work/photo.mok" > /dev/null || fail "lumo could not write the MOK file"
convert -size 2480x3508 pattern:bricks -monochrome BMP3:"$work/page.bmp" || fail "could not make the page"
"$build/bin/lumo" convert "$work/page.bmp" -o "$work/page.bie" --set JbigLayers=6 > /dev/null \
  || fail "lumo could not write the JBIG file"
files=(photo.mok page.bie)
if [ -x "$build/bin/layered_bench" ]; then
  mkdir -p "$work/pack"
  "$build/bin/layered_bench" files "$work/pack" || fail "layered_bench could not write the Photo CD pack"
  cp "$work/pack/img0001.pcd" "$work/img0001.pcd"
  files+=(img0001.pcd)
fi
# Each file's top-left corner as a plain load gives it (lumo's), as the maximised window shows it at 100 %.
for file in "${files[@]}"; do
  "$build/bin/lumo" convert "$work/$file" -o "$work/$file.bmp" > /dev/null || fail "lumo could not load $file"
  convert "$work/$file.bmp" -crop 640x400+0+0 +repage -type TrueColor "$work/$file.png" || fail "could not crop $file"
done

cat > "$work/watch.py" << 'PYTHON'
import os, subprocess, sys, time
from PIL import Image, ImageChops, ImageGrab, ImageStat
from screen_match import find

wlumo, photo, corner_path, out, limit = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], float(sys.argv[5])
name, strict = sys.argv[6], sys.argv[7] == "1"
corner = Image.open(corner_path).convert("RGB")
display = os.environ["DISPLAY"]
env = dict(os.environ, QT_QPA_PLATFORM="xcb")
log = open(os.path.join(out, name + "-wlumo.log"), "w")
viewer = subprocess.Popen([wlumo, photo], stdout=log, stderr=subprocess.STDOUT, env=env)
print("viewer", viewer.pid, flush=True)

# Capture as fast as the display answers until the exact photo is seen (checked every 20 screens).
frames = []
found = None
deadline = time.monotonic() + limit
while time.monotonic() < deadline and found is None:
    frames.append((time.monotonic(), ImageGrab.grab(xdisplay=display)))
    if len(frames) % 20 == 0 or len(frames) > 2000:
        found = find(frames[-1][1].convert("RGB"), corner)
if found is None:
    frames[-1][1].save(os.path.join(out, "failure.png"))
    print("FAILED: the exact photo never appeared")
    sys.exit(1)
x, y = found
box = (x, y, x + corner.width, y + corner.height)
print("photo at", x, y, "after", len(frames), "screens", flush=True)

# Each screen's view of the photo's place: the frame's empty area (no window yet), a plain colour
# (the window open, nothing drawn), a coarse picture, or the exact corner.
background = frames[0][1].convert("RGB").crop(box)
def kind(image):
    part = image.convert("RGB").crop(box)
    if ImageChops.difference(part, corner).getbbox() is None:
        return "exact"
    if ImageChops.difference(part, background).getbbox() is None:
        return "none"
    if part.getextrema() and all(lo == hi for lo, hi in part.getextrema()):
        return "plain"
    return "coarse"

kinds = [(t, kind(image), image) for t, image in frames]
opened = next((t for t, k, _ in kinds if k != "none"), None)
first = next(((t, k, image) for t, k, image in kinds if k in ("coarse", "exact")), None)
exact = next((t for t, k, _ in kinds if k == "exact"), None)
gaps = [b[0] - a[0] for a, b in zip(frames, frames[1:])]
print("capture interval: %.1f ms on average, %.1f ms at most" % (1000 * sum(gaps) / max(1, len(gaps)), 1000 * max(gaps or [0])))
if opened is None or first is None:
    print("FAILED: the window never showed a picture")
    sys.exit(1)
print("window open at +%.0f ms, first picture (%s) at +%.0f ms, exact photo at +%.0f ms"
      % (1000 * (opened - frames[0][0]), first[1], 1000 * (first[0] - frames[0][0]), 1000 * (exact - frames[0][0])))
first[2].save(os.path.join(out, name + "-1-first.png"))
frames[-1][1].save(os.path.join(out, name + "-2-final.png"))
if first[1] != "coarse":
    # A file that decodes within a capture interval may be caught only at its end.
    print(("FAILED: " if strict else "note: ") + "the first picture seen was already the exact one")
    if strict:
        sys.exit(1)
else:
    # The coarse picture is the file's own, blurred: close to it on average.
    difference = ImageStat.Stat(ImageChops.difference(first[2].convert("RGB").crop(box), corner)).mean
    print("coarse picture differs from the exact one by %.1f on average (of 255)" % (sum(difference) / 3))
    if strict and sum(difference) / 3 > 60:
        print("FAILED: the coarse picture does not look like the photo")
        sys.exit(1)
if first[0] - opened > 0.050:
    print("FAILED: the first picture came %.0f ms after the window opened" % (1000 * (first[0] - opened)))
    sys.exit(1)

# File > Quit with nothing modified: the viewer asks nothing and ends with status 0.
frame = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", r"^Lumo v1\.2e"],
                       capture_output=True, text=True).stdout.split()
if not frame:
    print("FAILED: no frame window to quit")
    sys.exit(1)
subprocess.run(["xdotool", "windowactivate", "--sync", frame[0]], capture_output=True)
time.sleep(0.3)
subprocess.run(["xdotool", "key", "alt+f", "q"])
try:
    status = viewer.wait(timeout=limit)
except subprocess.TimeoutExpired:
    viewer.kill()
    print("FAILED: File > Quit did not end the viewer")
    sys.exit(1)
if status != 0:
    print("FAILED: the viewer ended with status %d" % status)
    sys.exit(1)
print("ok")
PYTHON

start_session
for file in "${files[@]}"; do
  # The MOK photo decodes for long enough that its coarse levels must be seen; the other two may
  # end within a capture interval, and their first screens are shown as caught.
  strict=0
  [ "$file" = photo.mok ] && strict=1
  watch_status=0
  PYTHONPATH="$(cd "$(dirname "$0")" && pwd)" "$python" "$work/watch.py" "$build/bin/wlumo" "$work/$file" "$work/$file.png" "$out" "$wait_limit" "$file" "$strict" \
    > "$out/$file-watch.log" 2>&1 || watch_status=$?
  echo "--- $file"
  cat "$out/$file-watch.log"
  viewer_pid=$(awk '/^viewer /{ print $2 }' "$out/$file-watch.log")  # stopped by the clean-up if still running
  [ "$watch_status" -eq 0 ] || fail "$file: the screen did not show it coarse first, then exactly (see $out/$file-watch.log)"
done
echo "$script: all steps and checks passed in $((SECONDS - started))s; screenshots in $out"
