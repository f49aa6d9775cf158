#!/usr/bin/env bash
# Drives the real viewer through a folder of photographs as a person would, on a virtual display
# with a window manager: a large landscape opens fitted, the zoom keys and Ctrl+wheel zoom, F fits
# again, Space, Backspace and Alt+arrows step through the folder in name order (past a broken file,
# around the end), a phone photo whose Exif tag says it was taken upright shows upright, Edit >
# Rotate Right turns it and the next step asks about the change. The folder's long name is shortened
# in the title. A PNG with transparency is part of the folder once the viewer reads PNG.
# A screenshot of every step goes to OUT_DIR.
#   scripts/drive_browse.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step or a check fails. DRIVE_VIEWER_WAIT sets how many
# seconds a window may take to appear or change (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-browse}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY  # the virtual display below is set once it runs; nothing goes to the user's

script=drive_browse.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"

for program in wlumo lumo; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing; build first"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/[0-9][0-9]-*.png "$out/failure.png" "$out/wlumo.log"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# --- The folder: a long name, so the title must shorten it -----------------------------------------
photos="$work/Holiday photographs from the summer in the mountains/Second week by the lakes and the old town"
mkdir -p "$photos"
convert -seed 3 -size 2400x1600 plasma:green-blue -blur 0x3 -quality 88 "$photos/a-mountains.jpg" \
  || fail "ImageMagick could not make the landscape"
convert -seed 5 -size 240x180 plasma:fractal -blur 0x1 "$photos/d-small.gif" || fail "ImageMagick could not make the GIF"
printf 'not a JPEG at all' > "$photos/c-broken.jpg"
printf 'a note' > "$photos/notes.txt"
"$python" - "$photos" << 'EOF' || fail "Pillow could not make the phone photo and the PNG"
import sys
from PIL import Image, ImageDraw, ImageOps
folder = sys.argv[1]
# Upright, the phone photo is red above blue with a white arrow pointing up. The phone stored it
# turned a quarter to the left, with Orientation 6 (turn right to view), as phones held upright do.
upright = Image.new("RGB", (900, 1200), (30, 30, 220))
draw = ImageDraw.Draw(upright)
draw.rectangle((0, 0, 899, 599), fill=(220, 30, 30))
draw.polygon([(450, 80), (250, 420), (650, 420)], fill=(255, 255, 255))
stored = upright.transpose(Image.Transpose.ROTATE_90)
exif = Image.Exif()
exif[0x0112] = 6
stored.save(f"{folder}/b-phone.jpg", quality=92, exif=exif)
assert ImageOps.exif_transpose(Image.open(f"{folder}/b-phone.jpg")).size == (900, 1200)
# A PNG with a transparent hole.
png = Image.new("RGBA", (320, 240), (250, 200, 40, 255))
ImageDraw.Draw(png).ellipse((80, 40, 240, 200), fill=(0, 0, 0, 0))
png.save(f"{folder}/e-transparent.png")
EOF

# The order the viewer steps in: names in order, the broken file skipped, the PNG only when read.
order=(a-mountains.jpg b-phone.jpg d-small.gif)
if "$build/bin/lumo" info "$photos/e-transparent.png" > /dev/null 2>&1; then
  order+=(e-transparent.png)
else
  echo "drive_browse.sh: this viewer does not read PNG; the PNG stays out of the steps"
fi
last=${order[${#order[@]} - 1]}

# --- The display and the window manager ---------------------------------------------------------------
start_session

# --- Helpers --------------------------------------------------------------------------------------
# Waits until the frame's title (which names the maximised image window's file) names the file.
wait_title() {
  local deadline=$((SECONDS + wait_limit)) title=""
  while :; do
    title=$(xdotool getwindowname "$frame" 2> /dev/null) || title=""
    [[ $title == *"[$1 - "* || $title == *"/$1]"* ]] && return 0
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: the frame's title is \"$title\", not one naming $1"
    sleep 0.1
  done
}

# Waits until the screen differs from the screenshot $1, then takes screenshot $2.
wait_changed() {
  local deadline=$((SECONDS + wait_limit))
  while :; do
    shot "$2"
    cmp -s "$out/$1.png" "$out/$2.png" || { sleep 0.3; shot "$2"; return 0; }
    [ "$SECONDS" -lt "$deadline" ] || fail "$3: the screen did not change (see $out/$2.png)"
    sleep 0.2
  done
}

# Where the phone photo's red (its top) lies against its blue: "above" or "right" (screenshot $1).
red_side() {
  "$python" - "$1" << 'EOF'
import sys
from PIL import Image
screen = Image.open(sys.argv[1]).convert("RGB")
red = [0, 0, 0]
blue = [0, 0, 0]
for i, (r, g, b) in enumerate(screen.getdata()):
    x, y = i % screen.width, i // screen.width
    if r > 180 and g < 80 and b < 80:
        red[0] += 1; red[1] += x; red[2] += y
    elif b > 180 and r < 80 and g < 80:
        blue[0] += 1; blue[1] += x; blue[2] += y
if red[0] < 2000 or blue[0] < 2000:
    print("none"); sys.exit()
rx, ry, bx, by = red[1] / red[0], red[2] / red[0], blue[1] / blue[0], blue[2] / blue[0]
print("above" if ry < by and abs(ry - by) > abs(rx - bx) else "right" if rx > bx and abs(rx - bx) > abs(ry - by) else "other")
EOF
}

# --- The viewer on the landscape, with a profile of its own -------------------------------------------
export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
(cd "$photos" && QT_QPA_PLATFORM=xcb exec "$build/bin/wlumo" "$photos/a-mountains.jpg") > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
wait_active "$frame" "start"
wait_title a-mountains.jpg "opening the landscape"
title=$(xdotool getwindowname "$frame")
[[ $title == *"…"* ]] || fail "the title \"$title\" shows the long path in full where it cannot fit"
eval "$(xdotool getwindowgeometry --shell "$frame")"
# A click in the picture puts the keyboard there.
xdotool mousemove --sync $((X + WIDTH / 3)) $((Y + HEIGHT / 2)) click 1
sleep 0.5
shot 01-landscape-opened-fitted

# 1. The zoom: plus and minus of the main keyboard, Ctrl+wheel around the mouse, then F.
xdotool key plus
wait_changed 01-landscape-opened-fitted 02-plus-zoomed-in "the plus key"
xdotool key ctrl+minus minus
wait_changed 02-plus-zoomed-in 03-minus-twice "the minus keys"
xdotool mousemove --sync $((X + WIDTH / 4)) $((Y + HEIGHT / 3))
xdotool keydown ctrl click 4 click 4 keyup ctrl
wait_changed 03-minus-twice 04-ctrl-wheel-in-around-mouse "Ctrl+wheel"
xdotool key f
wait_changed 04-ctrl-wheel-in-around-mouse 05-fit-to-window "F (Fit to Window)"

# 2. Space: the phone photo, upright.
xdotool key space
wait_title b-phone.jpg "Space to the phone photo"
sleep 0.5
shot 06-phone-photo-upright
[ "$(red_side "$out/06-phone-photo-upright.png")" = above ] \
  || fail "the phone photo is not shown upright (see $out/06-phone-photo-upright.png)"

# 3. Space again: the broken JPEG is skipped with a note on the status line.
xdotool key space
wait_title d-small.gif "Space past the broken file"
sleep 0.5
shot 07-small-gif-broken-file-skipped

# 4. On to the end and around it, then back with Backspace and the Alt+arrows.
for name in "${order[@]:3}"; do
  xdotool key space
  wait_title "$name" "Space to $name"
  sleep 0.5
  shot "08-$name"
done
xdotool key space
wait_title a-mountains.jpg "Space after the last picture"
sleep 0.5
shot 09-around-the-end
xdotool key BackSpace
wait_title "$last" "Backspace from the first picture"
xdotool key alt+Right
wait_title a-mountains.jpg "Alt+Right from the last picture"
xdotool key alt+Right
wait_title b-phone.jpg "Alt+Right to the phone photo"
xdotool key alt+Left alt+Right
wait_title b-phone.jpg "Alt+Left and Alt+Right"

# 5. Edit > Rotate Right turns the photo; the next step asks about the change, and No moves on.
xdotool key alt+e
sleep 0.3
shot 10-edit-menu
xdotool key i
sleep 0.8
shot 11-phone-photo-turned-right
[ "$(red_side "$out/11-phone-photo-turned-right.png")" = right ] \
  || fail "Edit > Rotate Right did not turn the photo (see $out/11-phone-photo-turned-right.png)"
xdotool key space
question=$(wait_window '^Save \?$' "Space on a changed picture")
wait_active "$question" "the save question"
shot 12-save-question
xdotool key alt+n
wait_gone '^Save \?$' "No to the save question"
wait_title d-small.gif "the step after No"
"$python" -c "
import sys
from PIL import Image
sys.exit(Image.open(sys.argv[1]).size != (1200, 900))" "$photos/b-phone.jpg" || fail "the phone photo's file was changed"
shot 13-after-no
# The View menu shows the keys of the new items.
xdotool key alt+v
sleep 0.3
shot 14-view-menu
xdotool key Escape
sleep 0.2

# File > Quit: nothing is modified, so the viewer asks nothing and ends.
quit_viewer

echo "drive_browse.sh: all steps and checks passed in $((SECONDS - started))s; screenshots in $out"
