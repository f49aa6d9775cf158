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

fail() {
  echo "drive_viewer.sh: FAILED: $*" >&2
  if [ -n "${DISPLAY:-}" ]; then
    import -silent -window root "$out/failure.png" 2> /dev/null && echo "drive_viewer.sh: the screen is in $out/failure.png" >&2
  fi
  exit 1
}

for tool in Xvfb openbox xdotool import convert; do
  command -v "$tool" > /dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
"$python" -c "import PIL" 2> /dev/null || fail "$python cannot import Pillow (python3-pil)"
for program in wlumo lumo; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing; build first"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/[0-9][0-9]-*.png "$out/failure.png" "$out/result.gif" "$out/expected.gif" "$out/wlumo.log"

work=$(mktemp -d)
xvfb_pid="" wm_pid="" viewer_pid=""
cleanup() {
  for pid in "$viewer_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2> /dev/null || true; fi
  done
  rm -rf "$work"
}
trap cleanup EXIT

# --- The display: Xvfb picks a free display number itself and writes it to the file ---------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
deadline=$((SECONDS + wait_limit))
until grep -q '^[0-9]' "$work/display" 2> /dev/null && [ "$(wc -l < "$work/display")" -ge 1 ]; do
  kill -0 "$xvfb_pid" 2> /dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
  [ "$SECONDS" -lt "$deadline" ] || fail "Xvfb did not report its display within ${wait_limit}s"
  sleep 0.1
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

# Settings of the desktop and of Qt's file dialog go into the temporary folder, not the user's.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# No session bus: without an address libdbus would look for one through the new display (its
# autolaunch), and that search leaks a buffer that LeakSanitizer reports in sanitized builds.
export DBUS_SESSION_BUS_ADDRESS=disabled:

openbox --sm-disable > "$work/openbox.log" 2>&1 &
wm_pid=$!
# Openbox announces its desktops once it manages the screen.
deadline=$((SECONDS + wait_limit))
until xdotool get_num_desktops > /dev/null 2>&1; do
  kill -0 "$wm_pid" 2> /dev/null || { cat "$work/openbox.log" >&2; fail "openbox ended at its start"; }
  [ "$SECONDS" -lt "$deadline" ] || fail "openbox did not take the display within ${wait_limit}s"
  sleep 0.1
done

# --- Helpers --------------------------------------------------------------------------------------
shot() { import -silent -window root "$out/$1.png" || fail "could not take the screenshot $1"; }

# Waits for a visible window whose title matches the regular expression; prints its id.
wait_window() {
  local id
  id=$(timeout "$wait_limit" xdotool search --sync --onlyvisible --name "$1" 2> /dev/null | head -n 1) || true
  [ -n "$id" ] || fail "$2: no window titled \"$1\" appeared within ${wait_limit}s"
  echo "$id"
}

# Waits until no visible window has a title matching the regular expression.
wait_gone() {
  local deadline=$((SECONDS + wait_limit))
  while xdotool search --onlyvisible --name "$1" > /dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: the window \"$1\" is still open after ${wait_limit}s"
    sleep 0.1
  done
}

# Waits until the window has the keyboard focus, so that keys go to it and not to the one below.
wait_active() {
  local start=$SECONDS asked=0
  until [ "$(xdotool getactivewindow 2> /dev/null)" = "$1" ]; do
    [ $((SECONDS - start)) -lt "$wait_limit" ] || fail "$2: the window never got the keyboard focus"
    if [ $asked -eq 0 ] && [ $((SECONDS - start)) -ge 2 ]; then
      xdotool windowactivate "$1" 2> /dev/null || true  # the window manager did not give it the focus
      asked=1
    fi
    sleep 0.1
  done
  sleep 0.2  # Qt hands the focus to the dialog's first field on the focus event
}

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

# Whether a picture appears pixel for pixel somewhere on the screen (screenshot $1, picture $2).
shows_picture() {
  "$python" - "$1" "$2" << 'EOF'
import sys
from PIL import Image
screen = Image.open(sys.argv[1]).convert("RGB")
picture = Image.open(sys.argv[2]).convert("RGB")
W, H = screen.size
w, h = picture.size
rows = [screen.crop((0, y, W, y + 1)).tobytes() for y in range(H)]
wanted = [picture.crop((0, y, w, y + 1)).tobytes() for y in range(h)]
for y in range(H - h + 1):
    start = 0
    while (i := rows[y].find(wanted[0], start)) >= 0:
        start = i + 1
        x = i // 3
        if i % 3 == 0 and all(rows[y + k][3 * x:3 * (x + w)] == wanted[k] for k in range(1, h)):
            sys.exit(0)
sys.exit(1)
EOF
}

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

# Types into the focused field after selecting what it holds.
replace_text() {
  xdotool key ctrl+a
  xdotool type --delay 8 "$1"
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
xdotool key alt+f q
deadline=$((SECONDS + wait_limit))
while kill -0 "$viewer_pid" 2> /dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "File > Quit: the viewer is still running after ${wait_limit}s"
  sleep 0.1
done
status=0
wait "$viewer_pid" || status=$?
viewer_pid=""
[ "$status" -eq 0 ] || fail "the viewer ended with status $status (its output is in $out/wlumo.log)"

echo "drive_viewer.sh: all steps and checks passed in $((SECONDS - started))s; screenshots in $out"
