#!/usr/bin/env bash
# Drives the real viewer as a person would, with keys, typing and mouse clicks on a virtual display
# with a window manager: opens a JPEG through the Open dialog, converts it to 16 colours, rescales
# it to 50 %, saves it as GIF, converts it to gray and reverts it, and sets the JPEG quality to 90.
# A screenshot of every dialog while it is open, and of the result, goes to OUT_DIR. Then checks
# that the saved GIF holds the pixels the command line computes from the same JPEG with the same
# profile, that Revert brought the saved picture back without touching the file, and that the
# profile holds the new quality.
#   scripts/drive_viewer.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step or a check fails. DRIVE_VIEWER_WAIT sets how many
# seconds a window may take to appear or go (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-viewer}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY  # the virtual display below is set once it runs; nothing goes to the user's

script=drive_viewer.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"

for program in wlumo lumo; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing; build first"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/[0-9][0-9]-*.png "$out/failure.png" "$out/result.gif" "$out/expected.gif" "$out/wlumo.log"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# --- The display and the window manager ---------------------------------------------------------------
start_session

# --- Helpers --------------------------------------------------------------------------------------
# Waits until the frame's title (which names the maximised image window's file) contains the text.
wait_title() {
  local deadline=$((SECONDS + wait_limit)) title=""
  while :; do
    title=$(xdotool getwindowname "$frame" 2> /dev/null) || title=""
    [[ $title == *"$1"* ]] && return 0
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: the frame's title is \"$title\", not one naming $1"
    sleep 0.1
  done
}

shows_picture() { find_picture "$1" "$2" > /dev/null; }

# Takes screenshots until the picture is on screen (or, with "not", until it has gone).
wait_screen() {
  local name=$1 want=$2 picture=$3 step=$4 deadline=$((SECONDS + wait_limit))
  while :; do
    shot "$name"
    if shows_picture "$out/$name.png" "$picture"; then [ "$want" = shown ] && return 0
    else [ "$want" = not ] && return 0; fi
    [ "$SECONDS" -lt "$deadline" ] || fail "$step (see $out/$name.png)"
    sleep 0.3
  done
}

# --- The picture: a photo-like JPEG of odd size, so that 50 % must round (the dialog drops fractions)
mkdir "$work/pictures"
photo="$work/pictures/photo.jpg"
convert -seed 7 -size 321x241 plasma:fractal -blur 0x2 -quality 90 "$photo" || fail "ImageMagick could not make $photo"
half_width=$((321 * 50 / 100)) half_height=$((241 * 50 / 100))

# --- The viewer, with a profile of its own ----------------------------------------------------------
export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
# Started in the picture's folder, where the file dialogs open.
(cd "$work/pictures" && QT_QPA_PLATFORM=xcb exec "$build/bin/wlumo") > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
wait_active "$frame" "start"
# The sign-on box comes up with the frame (and goes by itself after a few seconds).
timeout 3 xdotool search --sync --onlyvisible --name '^Lumo for Windows$' > /dev/null 2>&1 || true

# A click in the frame's image area (a quarter in from its left, near its bottom, away from the
# centred sign-on box) puts the keyboard there and dismisses the sign-on box.
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove --sync $((X + WIDTH / 4)) $((Y + HEIGHT * 3 / 4)) click 1
wait_gone '^Lumo for Windows$' "a click in the frame"

# 1. Open the JPEG through the file dialog.
xdotool key ctrl+F12
dialog=$(wait_window '^Load image$' "Ctrl+F12 (Open)")
wait_active "$dialog" "the Load image dialog"
xdotool type --delay 8 "$photo"
sleep 0.3
shot 01-load-image-dialog
xdotool key Return
wait_gone '^Load image$' "Return in the Load image dialog"
wait_title "[$photo]" "opening $photo"

# 2. Edit > "-> 16 color": the menu opens on its first item, Rescale, and the arrow keys skip greyed
# items; before it, only "-> 16.7 M color" is greyed (the JPEG is read as RGB), so four steps down
# reach "-> 16 color".
xdotool key alt+e
sleep 0.3
xdotool key Down Down Down Down
sleep 0.3
shot 02-edit-menu-16-color
xdotool key Return

# 3. Edit > Rescale: 50 in the horizontal ratio; the vertical follows with the aspect ratio kept.
xdotool key alt+e r
dialog=$(wait_window '^Rescale Image$' "Edit > Rescale")
wait_active "$dialog" "the Rescale Image dialog"
xdotool key alt+h
replace_text 50
sleep 0.3
shot 03-rescale-dialog
xdotool key Return
wait_gone '^Rescale Image$' "OK in the Rescale Image dialog"

# 4. Save as GIF.
gif="$out/result.gif"
xdotool key F12
dialog=$(wait_window '^Save image$' "F12 (Save as)")
wait_active "$dialog" "the Save image dialog"
replace_text "$gif"
sleep 0.3
shot 04-save-image-dialog
xdotool key Return
wait_gone '^Save image$' "Return in the Save image dialog"
wait_title "[$gif]" "saving $gif"
[ -s "$gif" ] || fail "Save as: $gif was not written"

# The same work through the command line, with the same profile: 16 colours, then 50 %.
"$build/bin/lumo" convert "$photo" --to color16 -o "$work/color16.bmp" > /dev/null \
  || fail "lumo convert --to color16 failed"
"$build/bin/lumo" convert "$work/color16.bmp" --rescale "${half_width}x$half_height" -o "$out/expected.gif" > /dev/null \
  || fail "lumo convert --rescale failed"
difference=$("$python" - "$gif" "$out/expected.gif" 2>&1 << 'EOF'
import sys
from PIL import Image
saved = Image.open(sys.argv[1]).convert("RGB")
expected = Image.open(sys.argv[2]).convert("RGB")
if saved.size != expected.size:
    sys.exit(f"saved GIF is {saved.size[0]}x{saved.size[1]}, expected {expected.size[0]}x{expected.size[1]}")
differing = sum(a != b for a, b in zip(saved.getdata(), expected.getdata()))
if differing:
    sys.exit(f"{differing} of {saved.size[0] * saved.size[1]} pixels differ")
EOF
) || fail "the saved GIF differs from the command line's picture: $difference"
saved_sum=$(md5sum < "$gif")

# 5. Revert. Just after Save as the window is unmodified, so File > Revert File is greyed: its
# mnemonic does nothing.
xdotool key alt+f
sleep 0.3
shot 05-file-menu-revert-greyed
xdotool key r
sleep 0.5
if xdotool search --onlyvisible --name '^Revert file \?$' > /dev/null 2>&1; then
  fail "File > Revert File was available on a window saved a moment ago"
fi
xdotool key Escape
sleep 0.2
# A change to revert: Edit > "-> Grayscale 256", three steps down (nothing above it is greyed for a
# 16 colour picture). The saved picture leaves the screen.
wait_screen 06-before-gray shown "$out/expected.gif" "the saved picture is not on screen"
xdotool key alt+e Down Down Down Return
wait_screen 07-gray not "$out/expected.gif" "Edit > -> Grayscale 256 did not change the picture"
xdotool key alt+f r
dialog=$(wait_window '^Revert file \?$' "File > Revert File")
wait_active "$dialog" "the Revert file question"
shot 08-revert-question
xdotool key Return  # Yes is the default answer
wait_gone '^Revert file \?$' "Yes to the Revert file question"
wait_screen 09-after-revert shown "$out/expected.gif" "after Revert the window does not show the saved picture"
wait_title "[$gif]" "Revert"
[ "$(md5sum < "$gif")" = "$saved_sum" ] || fail "Revert changed $gif"

# 6. Options > JPEG: quality 90.
xdotool key alt+o j
dialog=$(wait_window '^Options for JPEG$' "Options > JPEG")
wait_active "$dialog" "the Options for JPEG dialog"
xdotool key alt+q
replace_text 90
sleep 0.3
shot 10-jpeg-options-dialog
xdotool key Return
wait_gone '^Options for JPEG$' "OK in the Options for JPEG dialog"
settings=$("$build/bin/lumo" settings) || fail "lumo settings failed"
grep -q '^JpegQuality=90 ' <<< "$settings" \
  || fail "the profile's JpegQuality is not 90: $(grep '^JpegQuality' <<< "$settings" || true)"

shot 11-result

# File > Quit: nothing is modified, so the viewer asks nothing and ends.
quit_viewer

echo "drive_viewer.sh: all steps and checks passed in $((SECONDS - started))s; screenshots in $out"
