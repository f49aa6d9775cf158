#!/usr/bin/env bash
# Drives File > Properties of the real viewer on a virtual display with a window manager: a photo
# made by Pillow with Exif (camera, date, exposure, GPS) and an ICC profile opens, Alt+F I opens the
# "Properties" window, Return closes it; the same for a plain BMP. Screenshots of both windows go
# to OUT_DIR. Where the build's JPEG loader keeps metadata, the photo's window must show its Exif
# lines (it is then taller than the plain picture's).
#   scripts/drive_properties.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step fails. DRIVE_VIEWER_WAIT sets how many seconds a
# window may take to appear or change (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-properties}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY

script=drive_properties.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"

[ -x "$build/bin/wlumo" ] || fail "$build/bin/wlumo is missing; build first"
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/[0-9][0-9]-*.png "$out/failure.png" "$out/wlumo.log"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

"$python" - "$work" << 'EOF_PY' || fail "Pillow could not make the photo"
import sys
from PIL import Image, ImageCms, ImageDraw
from PIL.TiffImagePlugin import IFDRational as R
folder = sys.argv[1]
photo = Image.new("RGB", (640, 480), (40, 90, 160))
ImageDraw.Draw(photo).ellipse((200, 120, 440, 360), fill=(240, 200, 60))
exif = Image.Exif()
exif[0x010F] = "Canon"
exif[0x0110] = "Canon EOS 5D Mark IV"
exif[0x8769] = {0x9003: "2024:05:01 10:20:30", 0x829A: R(1, 125), 0x829D: R(28, 10), 0x8827: 400,
                0x920A: R(35, 1), 0xA434: "EF35mm f/2 IS USM"}
exif[0x8825] = {1: "N", 2: (R(48), R(51), R(29.6)), 3: "E", 4: (R(2), R(17), R(40.2)), 5: b"\x00", 6: R(35)}
profile = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
photo.save(f"{folder}/photo.jpg", quality=90, exif=exif.tobytes(), icc_profile=profile)
Image.new("1", (64, 48), 1).save(f"{folder}/plain.bmp")
EOF_PY

start_session
export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
(cd "$work" && QT_QPA_PLATFORM=xcb exec "$build/bin/wlumo" "$work/plain.bmp" "$work/photo.jpg") > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
wait_active "$frame" "start"
sleep 0.5

# Opens File > Properties for the active window, screenshots it as $1, closes it with Return; prints
# the window's height.
properties() {
  local dialog height
  xdotool key alt+f i
  dialog=$(wait_window '^Properties$' "File > Properties ($1)")
  wait_active "$dialog" "the Properties window ($1)"
  sleep 0.3
  shot "$1"
  height=$(xdotool getwindowgeometry "$dialog" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
  xdotool key Return
  wait_gone '^Properties$' "Return in the Properties window ($1)"
  wait_active "$frame" "back to the frame after $1"
  echo "$height"
}

photo_height=$(properties 01-photo-properties)
xdotool key ctrl+F4  # the photo's window; the plain picture's becomes the active one
sleep 0.5
plain_height=$(properties 02-plain-properties)
echo "drive_properties.sh: Properties window heights: photo ${photo_height}px, plain BMP ${plain_height}px"
# When this build's JPEG loader keeps the metadata (a converted copy still names the camera), the
# photo's window holds its six Exif lines and outgrows the plain picture's, which has one line the
# photo lacks (the BMP's resolution).
if [ -x "$build/bin/lumo" ] && command -v exiftool > /dev/null \
  && "$build/bin/lumo" convert "$work/photo.jpg" -o "$work/copy.jpg" > /dev/null 2>&1 \
  && [ "$(exiftool -s3 -Make "$work/copy.jpg")" = "Canon" ]; then
  [ "$photo_height" -gt "$plain_height" ] \
    || fail "the photo's Properties window is no taller than the plain picture's: no Exif lines (see $out/01-photo-properties.png)"
else
  echo "drive_properties.sh: this build's loaders keep no metadata; the Exif lines are not checked"
fi

quit_viewer
echo "drive_properties.sh: all steps passed in $((SECONDS - started))s; screenshots in $out"
